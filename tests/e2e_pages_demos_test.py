"""End-to-end tests of the demo pages of the default site and of the script templates, served by
the built qorsv exactly as shipped in the program directory."""

import os
import re
import shutil
import subprocess
import unittest
import urllib.parse

from e2e_pages_support import cookie_values, crlf_page, get, post_form, status_of
from qorsv_server import Server

DEMO = "/demo/"


def encoded(text):
    """Text as ext.qor's htmlencode writes it."""
    for raw, entity in [("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;")]:
        text = text.replace(raw, entity)
    return text


class DemoPagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server()
        # The guestbook test starts without a database, whatever the built program directory
        # holds from earlier use of the demo.
        for leftover in ["scriptdata/guestbook.db", "scriptdata/guestbook.db-journal"]:
            if os.path.exists(cls.server.path(leftover)):
                os.remove(cls.server.path(leftover))
        templates = cls.server.path("scripts/templates/")
        shutil.copy(templates + "index.html", cls.server.path("webpage/default/template.html"))
        cls.server.write("webpage/default/newscript.html", crlf_page(
            "<%qor%>onload", "{$i templates/new.qor}", "</%qor%>"))
        cls.server.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.remove()

    def body_text(self, document, **kwargs):
        head, body = get(self.server, document, **kwargs)
        self.assertEqual(status_of(head), 200, head)
        text = body.decode("latin-1")
        self.assertNotIn("Script error", text)
        self.assertNotIn("qOr EXEC ERROR", text)
        return head, text

    def test_start_page_links_every_demo(self):
        _, text = self.body_text("/")
        links = re.findall(r'href="(demo/[^"]+)"', text)
        self.assertEqual(len(links), 6, links)
        for link in links:
            with self.subTest(link=link):
                self.body_text("/" + link)

    def test_form_echo_lists_get_and_post_fields_encoded(self):
        _, empty = self.body_text(DEMO + "form.html")
        self.assertIn("No fields yet", empty)
        cases = [
            ("GET", {"name": "Ann", "colour": "red & <blue>"}),
            ("POST", {"name": "O'Brien", "colour": "green"}),
        ]
        for method, fields in cases:
            with self.subTest(method=method):
                if method == "GET":
                    _, text = self.body_text(DEMO + "form.html?" + urllib.parse.urlencode(fields))
                else:
                    head, body = post_form(self.server, DEMO + "form.html", fields)
                    self.assertEqual(status_of(head), 200, head)
                    text = body.decode("latin-1")
                self.assertIn("2 field(s) received", text)
                for name, value in fields.items():
                    self.assertIn(f"<tr><td>{name}</td><td>{encoded(value)}</td></tr>", text)
                self.assertIn(f"Hello, {encoded(fields['name'])}!", text)

    def test_cookie_counter_counts_and_resets(self):
        cases = [("", "1"), ("Cookie: democount=4\r\n", "5"), ("Cookie: democount=x\r\n", "1")]
        for cookie, expected in cases:
            with self.subTest(cookie=cookie):
                head, text = self.body_text(DEMO + "cookies.html", extra_headers=cookie)
                self.assertIn(f'<strong id="visits">{expected}</strong>', text)
                self.assertEqual(cookie_values(head, "democount"), [expected])
        head, text = self.body_text(DEMO + "cookies.html?reset=1",
                                    extra_headers="Cookie: democount=9\r\n")
        self.assertEqual(cookie_values(head, "democount"), ["0"])

    @unittest.skipUnless(shutil.which("curl"), "curl is not installed")
    def test_upload_shows_stored_file_reads_it_back_and_deletes_it(self):
        content = b"first line\r\nsecond <line>\r\nthird"
        source = self.server.write("upload-source.txt", content)
        result = subprocess.run(
            ["curl", "-s", "-F", f"file=@{source};filename=notes.txt",
             f"http://127.0.0.1:{self.server.port}{DEMO}upload.html"],
            capture_output=True, timeout=30, check=True)
        text = result.stdout.decode("latin-1")
        value = re.search(r'<code id="value">([^<]*)</code>', text).group(1)
        stored, _, rest = value.partition("@")
        self.assertEqual(rest, f"notes.txt:{len(content)}")
        self.assertEqual(os.path.dirname(stored), self.server.path("temp"))
        self.assertRegex(os.path.basename(stored), r"^qortmpscr[A-X]{24}\.upload$")
        self.assertIn("Received <code>notes.txt</code>, %d bytes" % len(content), text)
        self.assertIn('<pre id="content">first line\r\nsecond &lt;line&gt;\r\nthird\r\n</pre>',
                      text)
        self.assertFalse(os.path.exists(stored), "the demo deletes the upload it has shown")

    def test_upload_page_reads_and_deletes_only_the_servers_own_uploads(self):
        # A plain form can name any path in the field: such files are neither shown nor deleted.
        decoys = [self.server.write("secret.upload", "secret"),
                  self.server.write("temp/other.upload", "secret"),
                  self.server.write("temp/../qortmpscrAAAA.upload", "secret")]
        for decoy in decoys:
            with self.subTest(decoy=decoy):
                head, body = post_form(self.server, DEMO + "upload.html",
                                       {"file": decoy + "@a.txt:6"})
                self.assertEqual(status_of(head), 200, head)
                text = body.decode("latin-1")
                self.assertIn("That is not a file this server has stored.", text)
                self.assertNotIn("secret", text)
                self.assertTrue(os.path.exists(decoy))

    def test_guestbook_creates_database_adds_and_lists_entries(self):
        database = self.server.path("scriptdata/guestbook.db")
        self.assertFalse(os.path.exists(database))
        _, text = self.body_text(DEMO + "guestbook.html")
        self.assertIn("Nobody has signed yet", text)
        self.assertTrue(os.path.exists(database))
        entries = [
            ("Ann", "Hello there"),
            ("O'Brien", "It's <b>nice</b> here"),
            ("Mallory", "x'); drop table guestbook; --"),
        ]
        for name, message in entries:
            head, body = post_form(self.server, DEMO + "guestbook.html",
                                   {"name": name, "message": message})
            self.assertEqual(status_of(head), 200, head)
            self.assertIn("Thank you for signing", body.decode("latin-1"))
        _, text = self.body_text(DEMO + "guestbook.html")
        rows = re.findall(r"<tr><td>(.*?)</td><td>(.*?)</td><td>\d{4}-\d\d-\d\d \d\d:\d\d</td>",
                          text)
        expected = [(encoded(n), encoded(m)) for n, m in reversed(entries)]
        self.assertEqual(rows, expected)
        # A form without both fields adds nothing.
        post_form(self.server, DEMO + "guestbook.html", {"name": "Nobody", "message": "  "})
        _, text = self.body_text(DEMO + "guestbook.html")
        self.assertEqual(text.count("<tr><td>"), len(entries))

    def test_ping_page_says_loopback_answers(self):
        library = self.server.path("libnetprobe.so")
        self.assertTrue(os.path.exists(library), "build the netprobe target first")
        for document in [DEMO + "ping.html", DEMO + "ping.html?host=127.0.0.1"]:
            with self.subTest(document=document):
                _, text = self.body_text(document)
                self.assertIn('<p class="ok" id="result">127.0.0.1 answers.</p>', text)

    def test_templates_run_as_shipped(self):
        _, text = self.body_text("/template.html?name=%3CAnn%3E")
        self.assertIn("<p>Hello, &lt;Ann&gt;. This part of the page comes from a script.</p>",
                      text)
        self.assertIn("<p>Your address is 127.0.0.1.</p>", text)
        _, text = self.body_text("/newscript.html")
        self.assertIn("<p>Hello, world!</p>", text)
        _, text = self.body_text("/newscript.html?name=Bo")
        self.assertIn("<p>Hello, Bo!</p>", text)


if __name__ == "__main__":
    unittest.main()
