"""The shipped help pages: every example compiles and runs with the server's own runner."""

import glob
import html
import os
import re
import subprocess
import unittest

from qorsv_server import Server


class HelpPagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.program = Server()  # only its copy of the program directory is used
        if not os.path.isfile(cls.program.path("qorscript")):
            raise unittest.SkipTest("qorscript is not built")

    @classmethod
    def tearDownClass(cls):
        cls.program.remove()

    def test_every_example_compiles(self):
        pages = sorted(glob.glob(self.program.path("help/html/*.htm")))
        self.assertGreater(len(pages), 140)
        work = self.program.path("work")
        os.makedirs(work, exist_ok=True)
        for page in pages:
            with self.subTest(page=os.path.basename(page)):
                with open(page, encoding="latin-1") as f:
                    text = f.read()
                found = re.search(r'<pre class="example">(.*?)</pre>', text, re.S)
                self.assertIsNotNone(found)
                # The mail examples must not reach a mail server that may listen on port 25.
                source = html.unescape(found.group(1)).replace("mail_port(25)", "mail_port(1)")
                script = os.path.join(work, "example.qor")
                with open(script, "w", encoding="latin-1", newline="\r\n") as f:
                    f.write(source)
                done = subprocess.run([self.program.path("qorscript"), script, "name=Ann"],
                                      capture_output=True, timeout=60, cwd=work)
                errors = done.stderr.decode("latin-1")
                # 0: the run completed (a run-time error such as a missing database included).
                self.assertEqual(done.returncode, 0, errors)
                self.assertNotIn("[Error]", errors)


if __name__ == "__main__":
    unittest.main()
