"""End-to-end test of the demo mail form: the shipped page, with its SMTP port pointed at a local
aiosmtpd sink, delivers the visitor's message to the one fixed address."""

import os
import re
import subprocess
import sys
import tempfile
import shutil
import time
import unittest

from e2e_pages_support import post_form, status_of
from qorsv_server import Server, free_port

SINK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "transport", "tests",
                    "smtp_sink_support.py")
PAGE = "webpage/default/demo/mail.html"


# Debian's interpreter is the one that sees the python3-aiosmtpd package.
PYTHON = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable


class MailFormTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.outdir = tempfile.mkdtemp(prefix="qorsv_mail_sink_")
        cls.sink = subprocess.Popen([PYTHON, SINK, cls.outdir], stdout=subprocess.PIPE,
                                    stdin=subprocess.DEVNULL)
        first_line = cls.sink.stdout.readline()
        if not first_line.strip().isdigit():
            cls.sink.wait(10)
            raise RuntimeError("the mail sink did not start (is python3-aiosmtpd installed?)")
        cls.sink_port = int(first_line)
        cls.server = Server()
        cls.closed_port = free_port()
        shipped = cls.server.read(PAGE).decode("latin-1")
        cls.assert_one_port(shipped)
        cls.server.write(PAGE, shipped.replace("SmtpPort = 25;", f"SmtpPort = {cls.sink_port};"))
        cls.server.write("webpage/default/demo/mail-down.html",
                         shipped.replace("SmtpPort = 25;", f"SmtpPort = {cls.closed_port};"))
        cls.server.start()

    @classmethod
    def assert_one_port(cls, page):
        if page.count("SmtpPort = 25;") != 1:
            raise AssertionError("the mail page must set its port in one constant")

    @classmethod
    def tearDownClass(cls):
        cls.server.remove()
        cls.sink.terminate()
        cls.sink.wait(10)
        cls.sink.stdout.close()
        shutil.rmtree(cls.outdir, ignore_errors=True)

    def send(self, document, fields):
        head, body = post_form(self.server, document, fields)
        self.assertEqual(status_of(head), 200, head)
        return re.search(r'id="result">(.*?)</p>', body.decode("latin-1"), re.S).group(1)

    def delivered(self, number, timeout=10):
        envelope = os.path.join(self.outdir, f"{number}.envelope")
        deadline = time.monotonic() + timeout
        while not os.path.exists(envelope) and time.monotonic() < deadline:
            time.sleep(0.05)
        with open(envelope, encoding="latin-1") as f:
            sender, *recipients = f.read().split()
        with open(os.path.join(self.outdir, f"{number}.data"), "rb") as f:
            return sender, recipients, f.read().decode("latin-1")

    def test_message_is_delivered_and_errors_are_shown(self):
        # Delivery: the fixed sender and recipient, the visitor's text in the body, and a
        # subject whose line break cannot add a header.
        result = self.send("/demo/mail.html", {
            "name": "Ann", "from": "ann@example.org",
            "subject": "Hello\r\nBcc: victim@example.org", "message": "Line one\r\n.\r\nEnd"})
        self.assertIn("has been sent", result)
        sender, recipients, data = self.delivered(1)
        self.assertEqual(sender, "webmaster@localhost")
        self.assertEqual(recipients, ["webmaster@localhost"])
        headers, _, body = data.partition("\r\n\r\n")
        header_lines = headers.split("\r\n")
        self.assertIn("Subject: Hello  Bcc: victim@example.org", header_lines)
        self.assertFalse([line for line in header_lines if line.lower().startswith("bcc:")])
        self.assertIn("To: webmaster@localhost", header_lines)
        self.assertEqual(body, "From: Ann <ann@example.org>\r\n\r\nLine one\r\n.\r\nEnd\r\n")

        # A server that cannot be reached: the page shows the transport's error, and the mail
        # lock is free again for the next sender.
        result = self.send("/demo/mail-down.html", {"message": "x"})
        self.assertIn("could not be sent", result)
        self.assertIn(f"127.0.0.1:{self.closed_port} said: ", result)
        self.assertNotRegex(result, r"said: $")
        result = self.send("/demo/mail.html", {"message": "second"})
        self.assertIn("has been sent", result)
        _, _, data = self.delivered(2)
        self.assertIn("Subject: Message from the mail form\r\n", data)


if __name__ == "__main__":
    unittest.main()
