"""End-to-end tests of the web server: the built qorsv answering real requests on 127.0.0.1."""

import glob
import os
import re
import shutil
import subprocess
import unittest

from qorsv_server import Server

HEADER_END = b"\r\n\r\n"


def split(response):
    head, _, body = response.partition(HEADER_END)
    return head.decode("latin-1") + "\r\n", body


class ServingTest(unittest.TestCase):
    """One server for the whole class: static files, pages, hosts, uploads. Pages (type
    text/html) go through the page processor, which writes each line with CR LF: the pages here
    are written that way, so they come back unchanged."""

    @classmethod
    def setUpClass(cls):
        cls.server = Server()
        s = cls.server
        s.write("webpage/default/hello.txt", "hello")
        s.write("webpage/default/sub/index.html", "<p>sub</p>\r\n")
        s.write("webpage/default/form.html", "<form>form</form>\r\n")
        s.write("webpage/default/fields.html",
                "<%qor%>onload\r\nbegin\r\n  echo(getparam('note') + '|' + getparam('file'));\r\n"
                "end.\r\n</%qor%>\r\n")
        s.write("webpage/default/big.bin", os.urandom(5 * 1024 * 1024 + 17))
        s.write("webpage/alpha/index.html", "<p>alpha</p>\r\n")
        s.write("secret.txt", "outside every root")
        s.write("config/hosts.dat", "*\r\n($root)webpage/default/\r\n"
                "Alpha.Test\r\n($root)webpage/alpha/\r\n")
        s.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.remove()

    def get(self, document, host="www.test", method="GET"):
        return self.server.exchange(f"{method} {document} HTTP/1.1\r\nHost: {host}\r\n\r\n")

    def test_static_file_exact_bytes(self):
        self.assertEqual(
            self.get("/hello.txt"),
            b"HTTP/1.1 200 OK\r\nServer: Indy/8.0.25\r\nContent-Type: text/plain\r\n"
            b"Content-Length: 5\r\n\r\nhello")

    def test_big_file_arrives_whole(self):
        head, body = split(self.get("/big.bin"))
        self.assertIn("Content-Type: application/octet-stream\r\n", head)
        self.assertEqual(body, self.server.read("webpage/default/big.bin"))

    def test_head_has_length_and_no_body(self):
        self.assertEqual(
            self.get("/hello.txt", method="HEAD"),
            b"HTTP/1.1 200 OK\r\nServer: Indy/8.0.25\r\nContent-Type: text/plain\r\n"
            b"Content-Length: 5\r\n\r\n")

    def test_not_found_page(self):
        head, body = split(self.get("/x.html"))
        self.assertTrue(head.startswith("HTTP/1.1 404 Not Found\r\n"))
        local = os.path.join(self.server.dir, "webpage/default/x.html")
        self.assertTrue(body.startswith(b"<html><head><title>Error</title></head><body><h1>[EN]-"))
        self.assertTrue(body.endswith(("<br>  <br> File : ?" + local + "? ").encode()), body)
        self.assertIn("Content-Length: %d\r\n" % len(body), head)

    def test_virtual_hosts(self):
        alpha, sub = b"<p>alpha</p>\r\n", b"<p>sub</p>\r\n"
        cases = [("alpha.test", "/", alpha), ("ALPHA.TEST", "/", alpha),
                 # The port is part of the name: only the "*" root has /sub/.
                 ("alpha.test:8080", "/sub/", sub), ("unknown", "/sub/", sub)]
        for host, document, body in cases:
            with self.subTest(host=host):
                _, got = split(self.get(document, host=host))
                self.assertEqual(got, body)
        # Without a "host" line the "*" entry answers.
        _, got = split(self.server.exchange("GET /hello.txt HTTP/1.0\r\n\r\n"))
        self.assertEqual(got, b"hello")

    def test_nothing_above_the_root_is_served(self):
        for document in ["/../../secret.txt", "/sub/../../../secret.txt", "/..\\..\\secret.txt",
                         "/%2e%2e/%2e%2e/secret.txt", "/../../config/hosts.dat"]:
            with self.subTest(document=document):
                head, body = split(self.get(document))
                self.assertTrue(head.startswith("HTTP/1.1 404 "), head)
                self.assertNotIn(b"outside every root", body)

    def test_page_output_files_are_removed_after_sending(self):
        for _ in range(3):
            self.assertEqual(split(self.get("/sub/"))[1], b"<p>sub</p>\r\n")
        self.assertEqual(glob.glob(self.server.path("temp/qortmpscr*.html")), [])

    @unittest.skipUnless(shutil.which("curl"), "curl is not installed")
    def test_uploads_are_stored_in_temp(self):
        # The large upload is spooled to a nameless file on its way: nothing but the stored
        # upload (and spare and page output files) appears in temp/, and the script sees the
        # same fields.
        small = bytes(range(256)) * 4 + b"\r\n--tail"
        large = os.urandom(5 * 1024 * 1024) + b"\r\n--tail"
        for label, data in [("small", small), ("spooled", large)]:
            with self.subTest(label):
                source = self.server.write("upload-source.bin", data)
                before = set(os.listdir(self.server.path("temp")))
                result = subprocess.run(
                    ["curl", "-s", "-F", "note=hi there", "-F",
                     f"file=@{source};filename=notes.txt",
                     f"http://127.0.0.1:{self.server.port}/fields.html"],
                    capture_output=True, timeout=60, check=True)
                added = {name for name in set(os.listdir(self.server.path("temp"))) - before
                         if not name.startswith(".") and not name.endswith(".html")}
                self.assertEqual(len(added), 1, added)
                name = added.pop()
                self.assertRegex(name, r"^qortmpscr[A-X]{24}\.upload$")
                self.assertTrue(self.server.read("temp/" + name) == data)
                stored = os.path.join(self.server.dir, "temp", name)
                self.assertEqual(result.stdout.decode("latin-1"),
                                 f"hi there|{stored}@notes.txt:{len(data)}\r\n\r\n")

class LogAfterStopTest(unittest.TestCase):
    def test_close_request_writes_the_buffered_log(self):
        server = Server()
        try:
            server.write("webpage/default/a.txt", "a")
            server.start()
            server.exchange("GET /a.txt?q=1 HTTP/1.1\r\nHost: logged.test\r\n\r\n")
            self.assertEqual(server.stop(), 0)
            logs = glob.glob(server.path("logs/http_server_log/*.log"))
            self.assertEqual(len(logs), 1)
            self.assertRegex(os.path.basename(logs[0]), r"^\d\d-\d\d-\d{4}\.log$")
            with open(logs[0], "rb") as log:
                text = log.read().decode("latin-1")
            stamp = r"\[ \d\d/\d\d/\d{4} - \d\d:\d\d:\d\d \] "
            expected = [
                r"HEADER NAME Host=logged\.test  ID=(\d+) - 127\.0\.0\.1",
                r"HEADER NAME =  ID=\d+ - 127\.0\.0\.1",
                r'unparsed PARMS >> "q=1"  ID=\d+',
                r"requestinfo\.command:GET ID=\d+",
                r"requestinfo\.requested:/a\.txt ID=\d+",
                r"Localdoc:" + re.escape(server.path("webpage/default/a.txt")) + r" ID=\d+",
            ]
            pattern = "".join(stamp + line + r"\r\n" for line in expected)
            self.assertRegex(text, pattern)
        finally:
            server.remove()


if __name__ == "__main__":
    unittest.main()
