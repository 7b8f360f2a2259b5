#!/usr/bin/env python3
"""Writes the help pages of runtime/help/html/ from routines.py and classes.py.

One page per routine a script can call (file name: the routine's name in lower case + ".htm"),
each with its declaration as scripts/functions.txt gives it, what it does, its errors and a short
example; one page per host class, with its declaration as scripts/classes.txt gives it, its
members, errors and an example; and an index that links them by family. The workbench opens a page on Ctrl+click on a
word, looking the file up without regard to letter case.

Run it after changing routines_*.py, classes.py, scripts/functions.txt or scripts/classes.txt:
    python3 tools/help_pages/make_help_pages.py
Every routine of functions.txt must have an entry, and every class of classes.txt that scripts
can create (with each of its members); the script stops with an error otherwise.
"""

import html
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import classes  # noqa: E402
import routines  # noqa: E402

FUNCTIONS_TXT = os.path.join(ROOT, "runtime", "scripts", "functions.txt")
CLASSES_TXT = os.path.join(ROOT, "runtime", "scripts", "classes.txt")
OUT_DIR = os.path.join(ROOT, "runtime", "help", "html")

CSS = """body { font-family: Verdana, Arial, sans-serif; font-size: 14px; margin: 24px 32px;
       max-width: 900px; color: #111; background: #fff; }
h1 { font-size: 22px; margin-bottom: 4px; }
h2 { font-size: 16px; margin-top: 22px; border-bottom: 1px solid #ccc; }
pre { background: #f4f4f0; border: 1px solid #ddd; padding: 8px 10px; overflow-x: auto; }
pre.declaration { background: #000; color: #fff; font-weight: bold; border-color: #444; }
code, pre { font-family: "Courier New", Courier, monospace; }
.family { color: #666; margin-top: 0; }
.nav { font-size: 12px; margin-bottom: 18px; }
ul.routines { columns: 3; padding-left: 18px; }
table.constants td, table.members td { padding: 2px 12px 2px 0; vertical-align: top; }
"""

# The start of every page: its title and the way back to the index.
PAGE_HEAD = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="iso-8859-1">
<title>{title} - qOr script help</title>
<link rel="stylesheet" href="help.css">
</head>
<body>
<div class="nav"><a href="index.html">qOr script help</a> &gt; <a href="index.html#{family}">{family_title}</a></div>
<h1>{title}</h1>
"""

CLASS_PAGE = PAGE_HEAD + """<p class="family">{family_title}{ancestry}</p>
<h2>Declaration</h2>
<pre class="declaration">{declaration}</pre>
<h2>What it is</h2>
<p>{does}</p>
<h2>Members</h2>
{members}
<h2>Errors</h2>
<p>{errors}</p>
<h2>Example</h2>
<pre class="example">{example}</pre>
<h2>See also</h2>
<p>{see_also}</p>
</body>
</html>
"""

CONSTANTS = [
    ("uniqueecho", "the number of the block's output slot; pass it to write_html and newline"),
    ("myip", "the client's IPv4 address"),
    ("myhost", "the host name the client asked for"),
    ("myhostdir", "the root folder of that host, with a trailing separator"),
    ("mypath", "the server's program folder, with a trailing separator"),
    ("lastvisit", "when the client last visited, as the server noted it"),
    ("serveruptime", "the server's total uptime in minutes"),
    ("localdoc", "the requested document"),
    ("outgb, outmb, outkb, outbytes", "the bytes the server has sent since the last reset"),
    ("servedfiled", "the number of files the server has served"),
]

PAGE = PAGE_HEAD + """<p class="family">{family_title}</p>
<h2>Declaration</h2>
<pre class="declaration">{declarations}</pre>
<h2>What it does</h2>
<p>{does}</p>
<h2>Errors</h2>
<p>{errors}</p>
<h2>Example</h2>
<pre class="example">{example}</pre>
<h2>See also</h2>
<p>{see_also}</p>
</body>
</html>
"""


def declarations_by_name():
    found = {}
    with open(FUNCTIONS_TXT, encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            m = re.match(r"(procedure|function)\s+(\w+)", line, re.I)
            if m:
                found.setdefault(m.group(2).lower(), []).append(line)
    return found


def read_classes():
    """The classes of classes.txt in order: name, parent, declaration text, member names."""
    found = []
    current = None
    with open(CLASSES_TXT, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\r\n")
            m = re.match(r"type (\w+) = class(?:\((\w+)\))?$", line)
            if m:
                current = dict(name=m.group(1), parent=m.group(2), lines=[line], members=[])
                found.append(current)
            elif current is not None and line.startswith("  "):
                current["lines"].append(line)
                word = re.match(r"\s+\w+\s+(\w+)", line).group(1)
                if word not in current["members"]:
                    current["members"].append(word)
            elif current is not None and line == "end;":
                current["lines"].append(line)
                current = None
    return found


def write_class_pages(entries_by_name):
    """Writes a page per class; answers the index sections of the classes."""
    library = read_classes()
    known = {c["name"] for c in library}
    unknown = sorted(set(entries_by_name) - known)
    if unknown:
        sys.exit("classes.py describes classes not in classes.txt: %s" % unknown)
    for c in library:
        entry = entries_by_name.get(c["name"])
        if entry is None:
            continue
        missing = [m for m in c["members"] if m not in entry["members"]]
        extra = [m for m in entry["members"] if m not in c["members"]]
        if missing or extra:
            sys.exit("%s: members without a text %s, texts of no member %s"
                     % (c["name"], missing, extra))
    children = {}
    for c in library:
        children.setdefault(c["parent"], []).append(c["name"])
    for c in library:
        entry = entries_by_name.get(c["name"])
        family = "classes" if entry is not None else "windows"
        if entry is not None:
            rows = "\n".join("<tr><td><code>%s</code></td><td>%s</td></tr>"
                             % (html.escape(m), entry["members"][m]) for m in c["members"])
            does, errors, example = entry["does"], entry["errors"], entry["example"]
        else:
            rows = "\n".join("<tr><td><code>%s</code></td><td></td></tr>" % html.escape(m)
                             for m in c["members"])
            does = classes.WINDOWS_DOES
            errors = classes.WINDOWS_ERRORS
            example = classes.WINDOWS_EXAMPLE
        members = ('<table class="members">\n%s\n</table>' % rows if c["members"]
                   else "<p>None of its own.</p>")
        ancestry = ""
        if c["parent"]:
            ancestry = "; descends from " + link(c["parent"]) + ", whose members it has too"
        related = ([c["parent"]] if c["parent"] else []) + children.get(c["name"], [])
        write(os.path.join(OUT_DIR, page_name(c["name"])), CLASS_PAGE.format(
            title=html.escape(c["name"]),
            family=family,
            family_title=CLASS_FAMILIES[family],
            ancestry=ancestry,
            declaration=html.escape("\n".join(c["lines"])),
            does=does,
            members=members,
            errors=errors,
            example=html.escape(example),
            see_also=", ".join(link(n) for n in related) or "&nbsp;"))
    sections = []
    for family, title in CLASS_FAMILIES.items():
        names = [c["name"] for c in library
                 if (c["name"] in entries_by_name) == (family == "classes")]
        items = "\n".join("<li>%s</li>" % link(n) for n in names)
        sections.append('<h2 id="%s">%s</h2>\n<ul class="routines">\n%s\n</ul>'
                        % (family, html.escape(title), items))
    return sections


CLASS_FAMILIES = {"classes": "Classes",
                  "windows": "Window classes (declared; a server script cannot create them)"}


def page_name(name):
    return name.lower() + ".htm"


def link(name):
    return '<a href="%s">%s</a>' % (page_name(name), html.escape(name))


def write(path, text):
    with open(path, "w", encoding="latin-1", newline="\r\n") as f:
        f.write(text)


def main():
    declarations = declarations_by_name()
    families = dict(routines.FAMILIES)
    entries = routines.R
    names = [e["name"].lower() for e in entries]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    missing = sorted(set(declarations) - set(names))
    unknown = sorted(set(names) - set(declarations))
    if duplicates or missing or unknown:
        sys.exit("duplicates %s, without a page %s, not in functions.txt %s"
                 % (duplicates, missing, unknown))

    os.makedirs(OUT_DIR, exist_ok=True)
    for old in os.listdir(OUT_DIR):
        if old.endswith(".htm"):
            os.remove(os.path.join(OUT_DIR, old))
    write(os.path.join(OUT_DIR, "help.css"), CSS)

    for entry in entries:
        family = entry["family"]
        siblings = [e["name"] for e in entries if e["family"] == family and e is not entry]
        write(os.path.join(OUT_DIR, page_name(entry["name"])), PAGE.format(
            title=html.escape(entry["name"]),
            family=family,
            family_title=html.escape(families[family]),
            declarations="\n".join(html.escape(d) for d in declarations[entry["name"].lower()]),
            does=entry["does"],
            errors=entry["errors"],
            example=html.escape(entry["example"]),
            see_also=", ".join(link(n) for n in siblings)))

    sections = []
    for family, title in routines.FAMILIES:
        members = sorted((e["name"] for e in entries if e["family"] == family), key=str.lower)
        items = "\n".join("<li>%s</li>" % link(n) for n in members)
        sections.append('<h2 id="%s">%s</h2>\n<ul class="routines">\n%s\n</ul>'
                        % (family, html.escape(title), items))
    sections += write_class_pages({c["name"]: c for c in classes.C})
    constants = "\n".join("<tr><td><code>%s</code></td><td>%s</td></tr>"
                          % (html.escape(n), html.escape(d)) for n, d in CONSTANTS)
    write(os.path.join(OUT_DIR, "index.html"), """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="iso-8859-1">
<title>qOr script help</title>
<link rel="stylesheet" href="help.css">
</head>
<body>
<h1>qOr script help</h1>
<p>Scripts are written in a Pascal dialect. A page holds script blocks between a line
starting <code>&lt;%qor%&gt;</code> followed by the block's name and a line starting
<code>&lt;/%qor%&gt;</code>; what a block writes with <code>echo</code> takes its place in the
page. Files of the folder <code>scripts</code> are pulled in with <code>{$i name.qor}</code>.
Classes such as <code>TStringList</code> are made with <code>Create</code> and freed with
<code>Free</code>. In the workbench, Ctrl+click on a routine's or class's name opens its page, Ctrl+J expands a code
template, Ctrl+Space lists the routines, and F9 runs the document through the server.</p>
<h2 id="constants">Constants of every block</h2>
<table class="constants">
@CONSTANTS@
</table>
@SECTIONS@
</body>
</html>
""".replace("@CONSTANTS@", constants).replace("@SECTIONS@", "\n".join(sections)))
    print("%d routine and %d class pages written to %s"
          % (len(entries), len(read_classes()), OUT_DIR))


if __name__ == "__main__":
    main()
