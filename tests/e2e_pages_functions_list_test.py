"""The shipped library header list scripts/functions.txt: one header line per routine a script
can call (the natives, the routines of ext.qor, the engine's standard routines), each one that
the workbench's line analysis reads as the routine's name and parameter text."""

import os
import re
import unittest

from qorsv_server import run_dir

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def analysed_name(line):
    """The name the workbench's analysis records for a line, or None when it records nothing.

    The keyword is taken to be followed by one separator; the name runs to the next ":", ";",
    "(" or blank after its first character (positions here are 1-based, as in the analysis).
    """
    lower = line.lower()
    for keyword in ("procedure", "function"):
        p = lower.find(keyword) + 1
        if p > 0:
            break
    else:
        return None
    n = len(line)
    at = lambda i: line[i - 1] if 1 <= i <= n else ""
    a = p + len(keyword) + 1
    b = a + 1
    while b <= n and at(b) not in (":", ";", "(", " "):
        b += 1
    for ending in (";", "(", ":", " "):
        if at(b) == ending:
            b -= 1
    return line[a - 1:b] if b >= a else ""


def header_lines(text):
    return [line for line in text.splitlines() if line.strip()]


class FunctionsListTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(os.path.join(run_dir(), "scripts", "functions.txt"), encoding="latin-1") as f:
            cls.lines = header_lines(f.read())
        cls.names = [analysed_name(line) for line in cls.lines]

    def test_every_line_is_one_header_with_a_clean_name(self):
        for line, name in zip(self.lines, self.names):
            with self.subTest(line=line):
                self.assertTrue(name, "the analysis finds no name")
                self.assertRegex(name, r"^[A-Za-z_][A-Za-z0-9_]*$")
                self.assertTrue(line.rstrip().endswith(";"))

    def test_lists_every_native_ext_and_standard_routine(self):
        with open(os.path.join(SOURCE, "scripthost", "script_api.cpp"), encoding="latin-1") as f:
            natives = re.findall(r'^\s*"((?:function|procedure)[^"]*;)",$', f.read(), re.M | re.I)
        with open(os.path.join(SOURCE, "scriptengine", "standard_decls.h"),
                  encoding="latin-1") as f:
            standard = re.findall(r'^\s*"((?:function|procedure)[^"]*;)",$', f.read(),
                                  re.M | re.I)
        with open(os.path.join(run_dir(), "scripts", "ext.qor"), encoding="latin-1") as f:
            ext = re.findall(r"^((?:function|procedure)\b.*;)\s*$", f.read(), re.M | re.I)
        self.assertGreaterEqual(len(natives), 94)
        self.assertGreater(len(ext), 0)
        self.assertGreater(len(standard), 0)
        listed = {name.lower() for name in self.names}
        for group, declarations in [("native", natives), ("ext.qor", ext),
                                    ("standard", standard)]:
            for declaration in declarations:
                with self.subTest(group=group, declaration=declaration):
                    self.assertIn(analysed_name(declaration).strip().lower(), listed)

    def test_hints_show_the_callable_form_first(self):
        # The parameter hint of a name is the first entry of that name: a hidden overload or a
        # standard routine the host replaces must not come first.
        first = {}
        for line, name in zip(self.lines, self.names):
            first.setdefault(name.lower(), line)
        self.assertEqual(first["filecreate"],
                         "function FileCreate(const FileName: string; Rights: Integer): Integer;")
        self.assertEqual(first["strtoint"], "function StrToInt(const S: string): Integer;")


if __name__ == "__main__":
    unittest.main()
