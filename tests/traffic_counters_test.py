"""End-to-end test of the traffic counters: they come back from the settings an earlier run
saved, count what the server sends, and are saved again by the minute tick."""

import time
import unittest

from qorsv_server import Server


class CountersTest(unittest.TestCase):
    """Counters come back from the settings of an earlier run and are saved every minute."""

    def test_counters_carry_over_and_grow(self):
        # As an earlier run saved them (written keys "OutKB", read as "OutKb").
        server = Server({"ServedFiles": 5, "OutBytes": 1000, "OutKB": 1023, "OutMB": 2,
                         "OutGB": 0, "TotalServerUptime": 10})
        try:
            server.write("webpage/default/k.bin", b"k" * 100)
            server.start()
            for _ in range(2):
                self.assertTrue(server.exchange(
                    "GET /k.bin HTTP/1.1\r\nHost: c\r\n\r\n").endswith(b"k" * 100))
            deadline = time.monotonic() + 100
            settings = ""
            while time.monotonic() < deadline:
                settings = server.read("config/config.xml").decode("latin-1")
                if "<ServedFiles>7<" in settings:
                    break
                time.sleep(1)
            # 2 MB 1023 KB 1000 bytes + 200 bytes = 3 MB 0 KB 176 bytes.
            for key, value in [("ServedFiles", 7), ("OutBytes", 176), ("OutKB", 0),
                               ("OutMB", 3), ("OutGB", 0), ("TotalServerUptime", 11)]:
                self.assertRegex(settings, "(?i)<%s>%d</%s>" % (key, value, key))
        finally:
            server.remove()


if __name__ == "__main__":
    unittest.main()
