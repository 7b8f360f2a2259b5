"""End-to-end tests of qorscript, the command-line script runner, from a copy of build/run/."""

import os
import subprocess
import unittest

from qorsv_server import Server


class QorscriptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.program = Server()  # only its copy of the program directory is used
        if not os.path.isfile(cls.program.path("qorscript")):
            raise unittest.SkipTest("qorscript is not built")

    @classmethod
    def tearDownClass(cls):
        cls.program.remove()

    def run_script(self, source, *pairs):
        script = self.program.write("work/script.qor", source)
        done = subprocess.run([self.program.path("qorscript"), script, *pairs],
                              capture_output=True, timeout=60)
        return done.returncode, done.stdout, done.stderr.decode("latin-1")

    def assert_no_leftovers(self):
        self.assertEqual([n for n in os.listdir(self.program.path("temp")) if n.endswith(".pfii")],
                         [])

    def test_completed_runs_write_the_slot_to_stdout(self):
        cases = [
            ("begin echo('hi ' + getparam('name')); end.", ["name=Bob"], b"hi Bob"),
            ("begin echo(getparam('a') + '|' + getparam('b')); end.", ["a=x=y", "b="], b"x=y|"),
            ("begin\r\n  echoln('caf' + chr(233));\r\n  echo(myip + ' ' + localdoc);\r\nend.",
             [], b"caf\xe9\r\n127.0.0.1 /"),
            ("var i: integer;\r\n", [], b""),  # declarations only
        ]
        for source, pairs, stdout in cases:
            with self.subTest(source=source):
                status, out, err = self.run_script(source, *pairs)
                self.assertEqual(status, 0, err)
                self.assertEqual(out, stdout)
                self.assertNotIn("[Error]", err)
        self.assert_no_leftovers()

    def test_a_table_built_in_a_string_is_written_whole(self):
        # The way pages build their output: the string grows row by row, each row a chain of
        # literals and function results.
        source = ("var i: integer; s: string;\r\nbegin\r\n  s := '<table>';\r\n"
                  "  for i := 1 to 20000 do\r\n"
                  "    s := s + '<tr><td>' + IntToStr(i) + '</td><td>' + IntToStr(i * 2) + "
                  "'</td></tr>';\r\n  write_html(s + '</table>', uniqueecho);\r\nend.\r\n")
        status, out, err = self.run_script(source)
        self.assertEqual(status, 0, err)
        rows = "".join("<tr><td>%d</td><td>%d</td></tr>" % (i, 2 * i) for i in range(1, 20001))
        self.assertEqual(out, ("<table>" + rows + "</table>").encode())

    def test_message_boxes_go_to_stderr_without_waiting(self):
        status, out, err = self.run_script("begin\r\n  Msg('boxed');\r\n  Showmessage('twice');\r\n  echo('b');\r\nend.")
        self.assertEqual((status, out), (0, b"b"))
        self.assertIn("boxed\ntwice\n", err)

    def test_runtime_error_in_the_main_block_still_completes(self):
        status, out, err = self.run_script(
            "var z: integer;\r\nbegin\r\n  echo('a');\r\n  z := 0;\r\n"
            "  echo(inttostr(1 div z));\r\nend.\r\n")
        self.assertEqual(status, 0)
        self.assertEqual(out, b"a")
        self.assertNotEqual(err.strip(), "")

    def test_failures_go_to_stderr_with_their_exit_status(self):
        cases = [
            ("compile error", "begin\r\n  echo('a');\r\n  nosuchroutine(1);\r\nend.", 1,
             ["[Error] (", "Script error . ["]),
            ("load failure",
             "function Gone(x: integer): integer; external 'Gone@nosuchlib_qorsv.so cdecl';\r\n"
             "begin echo(inttostr(Gone(1))); end.\r\n", 1,
             ["qOr EXEC ERROR! Script could not be loaded !"]),
            ("missing include", "{$i nosuchfile.qor}\r\n", 1, ["Unable to find file '"]),
        ]
        for what, source, expected_status, texts in cases:
            with self.subTest(what):
                status, out, err = self.run_script(source)
                self.assertEqual(status, expected_status, err)
                self.assertEqual(out, b"")
                for text in texts:
                    self.assertIn(text, err)
        self.assert_no_leftovers()

    def test_failing_routine_called_by_name_exits_2(self):
        ext = self.program.read("scripts/ext.qor")
        try:
            self.program.write("scripts/ext.qor", ext.replace(b"procedure setuserip(",
                                                                b"procedure setuserip2("))
            status, out, err = self.run_script("begin echo('a'); end.\r\n")
        finally:
            self.program.write("scripts/ext.qor", ext)
        self.assertEqual(status, 2)
        self.assertEqual(out, b"")
        self.assertIn("Unknown procedure", err)

    def test_usage(self):
        for arguments in [[], [self.program.path("nofile.qor")],
                          [self.program.write("work/x.qor", "begin echo('a'); end."), "novalue"]]:
            with self.subTest(arguments=arguments):
                done = subprocess.run([self.program.path("qorscript"), *arguments],
                                      capture_output=True, timeout=60)
                self.assertEqual(done.returncode, 1)
                self.assertEqual(done.stdout, b"")
                self.assertNotEqual(done.stderr, b"")


if __name__ == "__main__":
    unittest.main()
