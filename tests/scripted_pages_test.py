"""End-to-end tests of scripted pages: the built qorsv running page blocks for real requests."""

import os
import shutil
import subprocess
import unittest

from qorsv_server import Server

BANNER = "..::Torvane !::..0.9.8.1 - qorsv Build 220b - 17 May 2006"
SERVER_COOKIE = f'Set-Cookie: qorserver={BANNER}; Version="1"; Max-Age=10077682\r\n'


def split(response):
    head, _, body = response.partition(b"\r\n\r\n")
    return head.decode("latin-1") + "\r\n", body


def page(*lines):
    return "".join(line + "\r\n" for line in lines)


class ScriptedPagesTest(unittest.TestCase):
    """One server for the whole class; every page lives in the "*" host's root."""

    @classmethod
    def setUpClass(cls):
        cls.server = Server()
        s = cls.server
        root = "webpage/default/"
        s.write(root + "index.html", page(
            "<p>top</p>",
            "<%qor%>INIT",
            "begin echo('init'); end.",
            "</%qor%>",
            "<%qor%>x",
            "begin echo('x'); end.",
            "</%qor%>",
            "<%qor%>onload",
            "begin",
            "// a comment line is left out",
            "  echo('load');",
            "end.",
            "</%qor%>",
            "<p>end</p>"))
        s.write(root + "form.html", page(
            "<%qor%>/form.html",
            "begin",
            "  echo('name=' + htmlencode(getparam('name')) + ';note=' + getparam('note'));",
            "end.",
            "</%qor%>",
            "<%qor%>save",
            "begin echo('saved ' + getparam('name')); end.",
            "</%qor%>"))
        s.write(root + "upload.html", page(
            "<%qor%>onload",
            "begin echo(getparam('file')); end.",
            "</%qor%>"))
        s.write(root + "cookies.html", page(
            "<%qor%>onload",
            "begin",
            "  echo('a=' + getcookie('a'));",
            "  addcookie('visits', '3');",
            "end.",
            "</%qor%>"))
        s.write(root + "bad.html", page(
            "<p>before</p>",
            "<%qor%>onload",
            "begin",
            "  echo('x');",
            "  nosuchroutine(1);",
            "end.",
            "</%qor%>",
            "<p>after</p>"))
        s.write(root + "crash.html", page(
            "<%qor%>onload",
            "var z: integer;",
            "begin",
            "  echo('a');",
            "  z := 0;",
            "  echo(inttostr(1 div z));",
            "end.",
            "</%qor%>",
            "<p>after</p>"))
        s.write(root + "missing.html", page(
            "<%qor%>onload",
            "{$i nosuchfile.qor}",
            "</%qor%>"))
        s.write(root + "fields.html", page(
            "<%qor%>onload",
            "var fields: TStringList; i: Integer;",
            "begin",
            "  fields := TStringList.Create;",
            "  try",
            "    for i := 1 to params.count do",
            "      fields.Add(params.paramname[i] + '=' + params.paramvalue[i]);",
            "    fields.Sort;",
            "    for i := 0 to fields.Count - 1 do",
            "      echo(htmlencode(fields.Names[i]) + ':' + htmlencode(fields.ValueFromIndex[i]) + ';');",
            "  finally",
            "    fields.Free;",
            "  end;",
            "end.",
            "</%qor%>"))
        s.write(root + "plain.html", "<p>one</p>\r\n<p>two</p>")
        s.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.remove()

    def request(self, text):
        return split(self.server.exchange(text))

    def get(self, document, extra=""):
        return self.request(f"GET {document} HTTP/1.1\r\nHost: www.test\r\n{extra}\r\n")

    def test_start_page_runs_init_and_onload_in_page_order(self):
        head, body = self.get("/")
        self.assertTrue(head.startswith("HTTP/1.1 200 OK\r\n"), head)
        self.assertEqual(body, b"<p>top</p>\r\ninit\r\n\r\n\r\nload\r\n\r\n<p>end</p>\r\n")
        self.assertIn("Content-Length: %d\r\n" % len(body), head)
        self.assertIn(SERVER_COOKIE, head)

    def test_pages_without_blocks_get_crlf_line_ends(self):
        _, body = self.get("/plain.html")
        self.assertEqual(body, b"<p>one</p>\r\n<p>two</p>\r\n")

    def test_form_fields_from_query_and_body(self):
        _, body = self.get("/form.html?name=%3Cb%3E+Bob&note=it%27s")
        self.assertEqual(body, b"name=&lt;b&gt; Bob;note=it's\r\n\r\n\r\n")
        form = "name=Ann&qorbutton=SAVE"
        _, body = self.request(
            "POST /form.html HTTP/1.1\r\nHost: www.test\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            f"Content-Length: {len(form)}\r\n\r\n{form}")
        # The button's block becomes the selector; the document's block came first and ran.
        self.assertEqual(body, b"name=Ann;note=\r\n\r\nsaved Ann\r\n\r\n")

    def test_a_page_sorts_its_form_fields_in_a_string_list(self):
        form = "zip=0150&City=Oslo&name=%3CAnn%3E&age=42"
        for _ in range(3):  # compiled, compiled again to keep the program, then kept
            _, body = self.request(
                "POST /fields.html HTTP/1.1\r\nHost: www.test\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\n"
                f"Content-Length: {len(form)}\r\n\r\n{form}")
            self.assertTrue(body.startswith(b"age:42;City:Oslo;name:&lt;Ann&gt;;zip:0150;"), body)

    def test_repeated_requests_each_see_their_own_values(self):
        # From the second request on, the block's program is the one kept from the first.
        for name, note in [("Ann", "one"), ("Bob", "two"), ("Cy", "three four"), ("D", "x")]:
            _, body = self.get(f"/form.html?name={name}&note={note.replace(' ', '+')}")
            self.assertEqual(body, f"name={name};note={note}\r\n\r\n\r\n".encode())

    @unittest.skipUnless(shutil.which("curl"), "curl is not installed")
    def test_uploads_reach_the_script_as_path_name_and_size(self):
        source = self.server.write("upload-source.bin", b"0123456789")
        result = subprocess.run(
            ["curl", "-s", "-F", f"file=@{source};filename=notes.txt",
             f"http://127.0.0.1:{self.server.port}/upload.html"],
            capture_output=True, timeout=30, check=True)
        value = result.stdout.decode("latin-1").split("\r\n")[0]
        stored, _, rest = value.partition("@")
        self.assertEqual(rest, "notes.txt:10")
        self.assertRegex(os.path.basename(stored), r"^qortmpscr[A-X]{24}\.upload$")
        with open(stored, "rb") as upload:
            self.assertEqual(upload.read(), b"0123456789")

    def test_cookies_in_and_out(self):
        head, body = self.get("/cookies.html", "Cookie: a=42; b=7\r\n")
        self.assertEqual(body, b"a=42\r\n\r\n")
        self.assertIn(SERVER_COOKIE, head)
        self.assertIn('Set-Cookie: visits=3; Version="1"\r\n', head)
        self.assertLess(head.index("qorserver="), head.index("visits="))

    def test_compile_error_answers_the_marked_line(self):
        head, body = self.get("/bad.html")
        self.assertTrue(head.startswith("HTTP/1.1 200 OK\r\n"), head)
        self.assertRegex(body.decode("latin-1"),
                         r"^<p>before</p>\r\nScript error \. \[\d+\]    nosuchroutine\(1\);\r\n"
                         r"\r\n<p>after</p>\r\n$")
        self.assertNotIn("qorserver", head)

    def test_runtime_error_ends_the_main_block_only(self):
        head, body = self.get("/crash.html")
        self.assertTrue(head.startswith("HTTP/1.1 200 OK\r\n"), head)
        self.assertEqual(body, b"a\r\n\r\n<p>after</p>\r\n")
        self.assertIn(SERVER_COOKIE, head)

    def test_missing_include_is_a_server_error(self):
        head, body = self.get("/missing.html")
        self.assertTrue(head.startswith("HTTP/1.1 500 "), head)
        self.assertIn(b"Unable to find file '" + self.server.path("scripts/nosuchfile.qor").encode()
                      + b"' used from '", body)

    def test_workbench_run_request_runs_the_current_script(self):
        server = Server()
        try:
            script = server.write("scripts/run.qor", "begin echo('run ' + localdoc); end.\r\n")
            server.write_settings({"ListenPort": server.port, "ConsolePort": server.console_port,
                                   "LastEditorFile": script})
            server.start()
            _, body = split(server.exchange(
                "GET /-qorcompilerscript.qor HTTP/1.1\r\nHost: anything\r\n\r\n"))
            self.assertEqual(body, b"run /-qorcompilerscript.qor\r\n\r\n")
        finally:
            server.remove()

    def test_script_time_limit_ends_an_endless_page(self):
        server = Server({"ScriptTimeLimit": 1})
        try:
            server.write("webpage/default/spin.html", page(
                "<%qor%>onload", "begin echo('a'); while true do ; end.", "</%qor%>",
                "<p>after</p>"))
            server.start()
            head, body = split(server.exchange(
                "GET /spin.html HTTP/1.1\r\nHost: t\r\n\r\n", timeout=30))
            self.assertTrue(head.startswith("HTTP/1.1 200 OK\r\n"), head)
            self.assertEqual(body, b"a\r\n\r\n<p>after</p>\r\n")
            self.assertIn(SERVER_COOKIE, head)
            # The next request finds a free slot and a thread as usual.
            _, body = split(server.exchange("GET /spin.html HTTP/1.1\r\nHost: t\r\n\r\n",
                                            timeout=30))
            self.assertEqual(body, b"a\r\n\r\n<p>after</p>\r\n")
            self.assertEqual(server.stop(), 0)
            logs = os.listdir(server.path("logs/http_server_log"))
            text = server.read("logs/http_server_log/" + logs[0]).decode("latin-1")
            self.assertEqual(text.count(
                "] Script stopped: it ran longer than the ScriptTimeLimit of 1 s ID="), 2)
        finally:
            server.remove()

    def test_page_outputs_and_script_copies_are_deleted(self):
        for document in ["/", "/bad.html", "/crash.html", "/missing.html"]:
            self.get(document)
        leftovers = [name for name in os.listdir(self.server.path("temp"))
                     if name.endswith((".html", ".pfii"))]
        self.assertEqual(leftovers, [])


if __name__ == "__main__":
    unittest.main()
