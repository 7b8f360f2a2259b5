# The help text of every routine a script can call: the natives of the server, the engine's
# standard routines and the routines of scripts/ext.qor. make_help_pages.py turns it into the
# pages of runtime/help/html/. Each entry: name (as the page title; the file is the name in
# lower case + ".htm"), what it does, its errors, and a short example script.

FAMILIES = [
    ("output", "Writing the page and talking to the operator"),
    ("request", "Request and response"),
    ("textfiles", "Text files"),
    ("files", "Files and folders"),
    ("conversions", "Number conversions"),
    ("strings", "Strings"),
    ("math", "Arithmetic and random numbers"),
    ("time", "Date and time"),
    ("network", "Network"),
    ("sql", "SQL databases"),
    ("mail", "Mail"),
    ("variants", "Variants"),
    ("exceptions", "Exceptions"),
    ("arrays", "Arrays and memory"),
    ("ordinals", "Ordinal values and sets"),
    ("server", "Called by the server"),
]

NO_ERRORS = "None."

R = []


def routine(name, family, does, errors, example):
    R.append(dict(name=name, family=family, does=does, errors=errors, example=example))


# ---- Writing the page and talking to the operator ----------------------------------------

routine("write_html", "output",
        "Appends <code>Data</code> to the output of the script block, up to its first NUL "
        "character. <code>ue</code> is the number of the block's output slot: pass the "
        "constant <code>uniqueecho</code>, which the server puts in front of every block. What "
        "a block writes takes the block's place in the page. <code>echo</code> does the same "
        "with less typing.",
        "A slot number outside 1 to 1000 stops the script with the run-time error "
        "&quot;Output slot N does not exist (1 to 1000)&quot;. Writing into another block's "
        "slot mixes the outputs of two requests: always pass <code>uniqueecho</code>.",
        """begin
  write_html('<p>Hello</p>', uniqueecho);
  newline(uniqueecho);
end.""")

routine("newline", "output",
        "Appends a line break (CR LF) to the output of the slot <code>ue</code>; pass "
        "<code>uniqueecho</code>.",
        "A slot number outside 1 to 1000 stops the script with a run-time error.",
        """begin
  write_html('first line', uniqueecho);
  newline(uniqueecho);
  write_html('second line', uniqueecho);
end.""")

routine("echo", "output",
        "Writes <code>s</code> into the page, in place of the block (it calls "
        "<code>write_html(s, uniqueecho)</code>). Defined in <code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """begin
  echo('<b>');
  echo('bold');
  echo('</b>');
end.""")

routine("echoln", "output",
        "Writes <code>s</code> into the page followed by a line break (CR LF). Defined in "
        "<code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """begin
  echoln('<ul>');
  echoln('<li>one</li>');
  echoln('</ul>');
end.""")

routine("htmlencode", "output",
        "Returns <code>s</code> made safe to place inside HTML: <code>&amp;</code>, "
        "<code>&lt;</code>, <code>&gt;</code> and <code>&quot;</code> become the entities "
        "&amp;amp;, &amp;lt;, &amp;gt; and &amp;quot;. Use it for every text that comes from a "
        "visitor. Defined in <code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """begin
  echoln('<p>You wrote: ' + htmlencode(getparam('comment')) + '</p>');
end.""")

routine("Msg", "output",
        "Shows <code>Data</code> to the operator in a message box of the server and waits "
        "until the operator closes it: the request that runs the script waits too, so use it "
        "for debugging only. The box appears on the operator's pages (console and workbench).",
        NO_ERRORS,
        """begin
  Msg('The script reached this point');
end.""")

routine("Showmessage", "output",
        "The same as <code>Msg</code>: shows <code>Data</code> to the operator and waits until "
        "the box is closed.",
        NO_ERRORS,
        """begin
  Showmessage('Visitor from ' + myip);
end.""")

# ---- Request and response ----------------------------------------------------------------

routine("getparam", "request",
        "Returns the value of the form field or query parameter called <code>name</code> "
        "(letter case ignored), or an empty text when the request has none. Fields come from "
        "the query string and from posted forms; an uploaded file gives its saved path, "
        "&quot;@&quot;, its original name, &quot;:&quot; and its size. Defined in "
        "<code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """var
  name: string;
begin
  name := getparam('name');
  if name = '' then
    name := 'visitor';
  echoln('Hello, ' + htmlencode(name));
end.""")

routine("getheader", "request",
        "Returns the value of the request header line called <code>name</code> (letter case "
        "ignored), or an empty text. Defined in <code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """begin
  echoln('Your browser: ' + htmlencode(getheader('User-Agent')));
end.""")

routine("getcookie", "request",
        "Returns the value of the cookie called <code>name</code> that the browser sent "
        "(letter case significant), or an empty text. Defined in <code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """begin
  if getcookie('visits') = '' then
    echoln('Welcome, first-time visitor');
end.""")

routine("addcookie", "request",
        "Queues a cookie for the response: the browser receives a &quot;Set-Cookie&quot; "
        "header <code>name=value</code>. At most 255 cookies per block; further ones are "
        "ignored. Defined in <code>scripts/ext.qor</code>.",
        NO_ERRORS,
        """var
  visits: integer;
begin
  visits := strtointdef(getcookie('visits'), 0) + 1;
  addcookie('visits', inttostr(visits));
  echoln('Visit number ' + inttostr(visits));
end.""")

# ---- Text files --------------------------------------------------------------------------

TEXTFILE_ERRORS = ("Failures of the file system are not reported: opening a file that cannot "
                   "be opened has no effect, a read then gives an empty text and "
                   "<code>is_eof</code> gives true. A handle number outside 1 to 1000 stops the "
                   "script with the run-time error &quot;Text file handle N does not exist (1 "
                   "to 1000)&quot;.")

routine("assign_textfile", "textfiles",
        "Takes a free text-file handle (the lowest free number from 1), associates "
        "<code>FileName</code> with it and returns the number; no file is opened yet (use "
        "<code>reset_textfile</code>, <code>rewrite_textfile</code> or "
        "<code>append_textfile</code>). While one of the handles 1 to 20 already holds the "
        "same file name (letter case ignored), it waits until that handle is closed, so two "
        "requests never write one file at the same time. Handles belong to the whole server: "
        "close every handle you take with <code>closefile_textfile</code>. A relative name is "
        "taken from the server's current folder; build full paths from <code>myhostdir</code> "
        "or <code>ExtractFilePath</code>.",
        "None; the wait for a file that another script never closes does not end.",
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'visits.log');
  append_textfile(h);
  writelntotextfile(h, myip);
  closefile_textfile(h);
end.""")

routine("reset_textfile", "textfiles",
        "Opens the handle's file for reading from its start; a file already open on the "
        "handle is closed first.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'news.txt');
  reset_textfile(h);
  while not is_eof(h) do
    echoln(htmlencode(readln_textfile(h)) + '<br>');
  closefile_textfile(h);
end.""")

routine("readln_textfile", "textfiles",
        "Returns the next line of the file open for reading, without its line end (CR LF or "
        "LF); at the end of the file, or when the file is not open for reading, an empty "
        "text. Test <code>is_eof</code> to tell an empty line from the end.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
  first: string;
begin
  h := assign_textfile(myhostdir + 'title.txt');
  reset_textfile(h);
  first := readln_textfile(h);
  closefile_textfile(h);
  echoln('<h1>' + htmlencode(first) + '</h1>');
end.""")

routine("closefile_textfile", "textfiles",
        "Writes out pending output, closes the file and frees the handle for other scripts.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'out.txt');
  rewrite_textfile(h);
  writelntotextfile(h, 'done');
  closefile_textfile(h);
end.""")

routine("writelntotextfile", "textfiles",
        "Writes <code>s</code> and a line end (CR LF) to the file open for writing; nothing "
        "when the file is not open for writing. Output is buffered and reaches the disk at the "
        "latest when the file is closed or flushed.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'guests.txt');
  append_textfile(h);
  writelntotextfile(h, getparam('name'));
  closefile_textfile(h);
end.""")

routine("writetotextfile", "textfiles",
        "Writes <code>s</code> to the file open for writing, with no line end.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'row.csv');
  rewrite_textfile(h);
  writetotextfile(h, 'a;');
  writetotextfile(h, 'b;');
  writelntotextfile(h, 'c');
  closefile_textfile(h);
end.""")

routine("rewrite_textfile", "textfiles",
        "Creates the handle's file, or empties an existing one, and opens it for writing.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'counter.txt');
  rewrite_textfile(h);
  writelntotextfile(h, '0');
  closefile_textfile(h);
end.""")

routine("append_textfile", "textfiles",
        "Opens the existing file for writing at its end. A file that does not exist is not "
        "created: create it with <code>rewrite_textfile</code> first.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'log.txt');
  if FileExists(myhostdir + 'log.txt') then
    append_textfile(h)
  else
    rewrite_textfile(h);
  writelntotextfile(h, 'visit from ' + myip);
  closefile_textfile(h);
end.""")

routine("flush_textfile", "textfiles",
        "Brings pending output to the disk: the file is closed and opened again for writing at "
        "its end (also when it was open for reading), so writing goes on after what was "
        "written.",
        TEXTFILE_ERRORS,
        """var
  h: integer;
begin
  h := assign_textfile(myhostdir + 'progress.txt');
  rewrite_textfile(h);
  writelntotextfile(h, 'step 1 done');
  flush_textfile(h);
  writelntotextfile(h, 'step 2 done');
  closefile_textfile(h);
end.""")

routine("is_eof", "textfiles",
        "True when the file open for reading has no characters left; true as well when the "
        "handle's file is not open for reading (for example when it could not be opened).",
        TEXTFILE_ERRORS,
        """var
  h, count: integer;
begin
  count := 0;
  h := assign_textfile(myhostdir + 'list.txt');
  reset_textfile(h);
  while not is_eof(h) do
  begin
    readln_textfile(h);
    count := count + 1;
  end;
  closefile_textfile(h);
  echoln(inttostr(count) + ' lines');
end.""")

# ---- Files and folders -------------------------------------------------------------------

routine("FileExists", "files",
        "True when a file (not a folder) of that name exists.",
        NO_ERRORS,
        """begin
  if not FileExists(myhostdir + 'data.txt') then
    echoln('No data yet');
end.""")

routine("FileOpen", "files",
        "Opens an existing file and returns its operating-system handle, or -1. "
        "<code>Mode</code> is the access (0 read, 1 write, 2 read and write) plus the sharing "
        "(0 or 16: nobody else may open the file, 32: others may read, 48: others may write, "
        "64: others may read and write); the sharing rules hold between the scripts of this "
        "server. Close the handle with <code>FileClose</code>.",
        "None: a file that cannot be opened gives -1.",
        """var
  f: integer;
begin
  f := FileOpen(myhostdir + 'index.html', 0 + 32);
  if f <> -1 then
  begin
    echoln('size: ' + inttostr(FileSeek(f, 0, 2)) + ' bytes');
    FileClose(f);
  end;
end.""")

routine("FileIsOpen", "files",
        "Tries to open the file for reading with no sharing: true when that works (the file "
        "exists and no script holds it open), false otherwise.",
        "None: any failure gives false.",
        """begin
  if FileIsOpen(myhostdir + 'report.txt') then
    echoln('The report is ready');
end.""")

routine("FileCreate", "files",
        "Creates the file (an existing one is emptied), opened for reading and writing with "
        "no sharing, and returns its operating-system handle, or -1. <code>Rights</code> is "
        "ignored but must be given: the one-parameter form does not compile.",
        "None: a file that cannot be created gives -1.",
        """var
  f: integer;
begin
  f := FileCreate(myhostdir + 'empty.dat', 0);
  if f <> -1 then
    FileClose(f);
end.""")

routine("FileSeek", "files",
        "Moves the position of an operating-system handle (from <code>FileOpen</code> or "
        "<code>FileCreate</code>) by <code>Offset</code> from the start (<code>Origin</code> 0), "
        "the current position (1) or the end (2); returns the new position, or -1. "
        "<code>FileSeek(f, 0, 2)</code> gives the file's size.",
        "None: a failure gives -1.",
        """var
  f: integer;
begin
  f := FileOpen(myhostdir + 'index.html', 0);
  if f <> -1 then
  begin
    echoln(inttostr(FileSeek(f, 0, 2)));
    FileClose(f);
  end;
end.""")

routine("FileClose", "files",
        "Closes an operating-system handle from <code>FileOpen</code> or "
        "<code>FileCreate</code>.",
        NO_ERRORS,
        """var
  f: integer;
begin
  f := FileCreate(myhostdir + 'x.tmp', 0);
  FileClose(f);
  DeleteFile(myhostdir + 'x.tmp');
end.""")

routine("FileAge", "files",
        "The time of the file's last change as a DOS date and time in local time (the date in "
        "the upper 16 bits, the time in the lower 16 bits), or -1 when there is no such file. "
        "Compare two ages to tell which file is newer.",
        "None: a missing file gives -1.",
        """begin
  if FileAge(myhostdir + 'a.txt') > FileAge(myhostdir + 'b.txt') then
    echoln('a.txt is newer');
end.""")

routine("DirectoryExists", "files",
        "True when a folder of that name exists.",
        NO_ERRORS,
        """begin
  if not DirectoryExists(myhostdir + 'uploads') then
    ForceDirectories(myhostdir + 'uploads');
end.""")

routine("ForceDirectories", "files",
        "Creates the folder and every missing folder above it; true when the folder exists "
        "afterwards.",
        "An empty <code>Dir</code> raises &quot;Unable to create directory&quot;.",
        """begin
  if ForceDirectories(myhostdir + 'archive/2006/05') then
    echoln('ready');
end.""")

routine("DeleteFile", "files",
        "Deletes the file; true on success.",
        "None: a failure gives false.",
        """begin
  if DeleteFile(myhostdir + 'old.txt') then
    echoln('deleted');
end.""")

routine("RenameFile", "files",
        "Renames or moves the file; true on success.",
        "None: a failure gives false.",
        """begin
  RenameFile(myhostdir + 'draft.txt', myhostdir + 'final.txt');
end.""")

routine("filemove", "files",
        "Copies the contents of <code>source</code> into <code>destination</code> (created, "
        "or emptied when it exists), then deletes <code>source</code>. Unlike "
        "<code>RenameFile</code> it works across file systems, for example for an uploaded "
        "file in the server's temporary folder.",
        "None are reported. When <code>source</code> cannot be opened, "
        "<code>destination</code> is still created empty and <code>source</code> is kept.",
        """var
  upload, path: string;
begin
  upload := getparam('picture');
  path := copy(upload, 1, pos('@', upload) - 1);
  if path <> '' then
    filemove(path, myhostdir + 'pictures/latest.jpg');
end.""")

routine("ExtractFilePath", "files",
        "The file name up to and including its last &quot;/&quot; or &quot;\\&quot;; empty "
        "when it has none.",
        NO_ERRORS,
        """begin
  echoln(ExtractFilePath('/srv/site/index.html'));  { /srv/site/ }
end.""")

routine("ExtractFileDir", "files",
        "Like <code>ExtractFilePath</code> without the final separator, except for a root "
        "(a separator that follows another one).",
        NO_ERRORS,
        """begin
  echoln(ExtractFileDir('/srv/site/index.html'));  { /srv/site }
end.""")

routine("ExtractFileDrive", "files",
        "The drive part of a file name: the first two characters when the second is "
        "&quot;:&quot;, or the share of a name that begins with two backslashes. This server "
        "names files without drives, so ordinary paths give an empty text.",
        NO_ERRORS,
        """begin
  echoln('[' + ExtractFileDrive('/srv/site/index.html') + ']');  { [] }
end.""")

routine("ExtractFileName", "files",
        "The part of the file name after its last separator.",
        NO_ERRORS,
        """begin
  echoln(ExtractFileName('/srv/site/index.html'));  { index.html }
end.""")

routine("ExtractFileExt", "files",
        "The extension: the part from the last &quot;.&quot; of the name, dot included; empty "
        "when the name has none.",
        NO_ERRORS,
        """begin
  echoln(ExtractFileExt('/srv/site/archive.tar.gz'));  { .gz }
end.""")

routine("ExpandFileName", "files",
        "The absolute form of the file name against the server's current folder, with "
        "&quot;.&quot; and &quot;..&quot; resolved.",
        NO_ERRORS,
        """begin
  echoln(ExpandFileName('logs/../temp/x.txt'));
end.""")

routine("GetCurrentDir", "files",
        "The server's current folder. Paths of your site are better built from "
        "<code>myhostdir</code>, the root folder of the requested host.",
        NO_ERRORS,
        """begin
  echoln(GetCurrentDir);
end.""")

# ---- Number conversions ------------------------------------------------------------------

routine("IntToStr", "conversions",
        "The value in decimal, with a leading &quot;-&quot; for negative numbers.",
        NO_ERRORS,
        """begin
  echoln('Users online: ' + IntToStr(usersonline));
end.""")

routine("IntToHex", "conversions",
        "The value in hexadecimal with upper-case letters and at least <code>Digits</code> "
        "digits (leading zeros); a negative value is written as its 32-bit two's complement.",
        NO_ERRORS,
        """begin
  echoln(IntToHex(255, 4));  { 00FF }
  echoln(IntToHex(-1, 2));   { FFFFFFFF }
end.""")

routine("StrToInt", "conversions",
        "The integer that the text holds: leading blanks, an optional sign, then decimal "
        "digits, or hexadecimal digits after &quot;$&quot;, &quot;x&quot; or &quot;0x&quot;.",
        "Any other text, or a value beyond 32 bits, raises &quot;'TEXT' is not a valid integer "
        "value&quot;. Use <code>strtointdef</code> for input from visitors.",
        """var
  n: integer;
begin
  try
    n := StrToInt(getparam('count'));
  except
    n := 10;
  end;
  echoln(inttostr(n * 2));
end.""")

routine("strtointdef", "conversions",
        "Like <code>StrToInt</code>, but a text that is not a valid 32-bit integer gives "
        "<code>def</code> instead of an error.",
        NO_ERRORS,
        """var
  page: integer;
begin
  page := strtointdef(getparam('page'), 1);
  echoln('Page ' + inttostr(page));
end.""")

routine("StrToInt64", "conversions",
        "Like <code>StrToInt</code> for 64-bit integers.",
        "A text that is not a valid 64-bit integer raises &quot;'TEXT' is not a valid integer "
        "value&quot;.",
        """var
  big: int64;
begin
  big := StrToInt64('9000000000');
  echoln(Int64ToStr(big * 2));
end.""")

routine("Int64ToStr", "conversions",
        "A 64-bit integer in decimal.",
        NO_ERRORS,
        """begin
  echoln(Int64ToStr(StrToInt64('4294967296') + 1));
end.""")

routine("FloatToStr", "conversions",
        "The number in the general format with up to 15 significant digits and &quot;.&quot; "
        "as the decimal separator: 2.5, 0.333333333333333, 1E20, 1E-5.",
        NO_ERRORS,
        """begin
  echoln(FloatToStr(1 / 3));
  echoln(FloatToStr(Sqrt(2)));
end.""")

routine("StrToFloat", "conversions",
        "The number that the text holds: optional blanks around it, an optional sign, digits "
        "with &quot;.&quot; as the decimal separator, an optional exponent (1.5e3).",
        "Any other text raises &quot;'TEXT' is not a valid floating point value&quot;.",
        """var
  price: extended;
begin
  try
    price := StrToFloat(getparam('price'));
    echoln('With tax: ' + FloatToStr(price * 1.2));
  except
    echoln('Please enter a number such as 12.50');
  end;
end.""")

# ---- Strings -----------------------------------------------------------------------------

routine("copy", "strings",
        "At most <code>icount</code> characters of <code>s</code> from the 1-based position "
        "<code>ifrom</code>. A start below 1 counts as 1; a start past the end or a count "
        "below 1 gives an empty text.",
        NO_ERRORS,
        """begin
  echoln(copy('abcdef', 2, 3));  { bcd }
end.""")

routine("pos", "strings",
        "The 1-based position of the first occurrence of <code>substr</code> in <code>s</code>, "
        "or 0 (also for an empty <code>substr</code>).",
        NO_ERRORS,
        """var
  mail: string;
begin
  mail := getparam('email');
  if pos('@', mail) = 0 then
    echoln('That is not a mail address');
end.""")

routine("AnsiPos", "strings",
        "The 1-based position of the first occurrence of <code>Substr</code> in "
        "<code>S</code>, or 0.",
        NO_ERRORS,
        """begin
  echoln(inttostr(AnsiPos('lo', 'hello')));  { 4 }
end.""")

routine("delete", "strings",
        "Removes <code>icount</code> characters from the variable <code>s</code>, starting at "
        "the 1-based position <code>ifrom</code>; nothing when the start is outside the text.",
        NO_ERRORS,
        """var
  s: string;
begin
  s := 'abcdef';
  delete(s, 2, 3);
  echoln(s);  { aef }
end.""")

routine("insert", "strings",
        "Inserts <code>s</code> into the variable <code>s2</code> before the 1-based position "
        "<code>ipos</code> (kept within the text: past the end appends).",
        NO_ERRORS,
        """var
  s: string;
begin
  s := 'Hello world';
  insert(',', s, 6);
  echoln(s);  { Hello, world }
end.""")

routine("StrGet", "strings",
        "The character at the 1-based position <code>I</code> of the string variable "
        "<code>S</code>; the same as <code>S[I]</code>.",
        "A position outside the text raises &quot;Out Of Range&quot;.",
        """var
  s: string;
begin
  s := 'hello';
  echoln(StrGet(s, 1));  { h }
end.""")

routine("StrGet2", "strings",
        "The character at the 1-based position <code>I</code> of <code>S</code>, which may be "
        "any string expression.",
        "A position outside the text raises &quot;Out Of Range&quot;.",
        """begin
  echoln(StrGet2(getparam('name') + '?', 1));
end.""")

routine("StrSet", "strings",
        "Sets the character at the 1-based position <code>I</code> of the string variable "
        "<code>s</code> to <code>c</code>; the same as <code>s[I] := c</code>.",
        "A position outside the text raises &quot;Out Of Range&quot;.",
        """var
  s: string;
begin
  s := 'hello';
  StrSet('J', 1, s);
  echoln(s);  { Jello }
end.""")

routine("Length", "strings",
        "The number of characters of a string, or of elements of an array.",
        NO_ERRORS,
        """begin
  if Length(getparam('password')) < 8 then
    echoln('The password is too short');
end.""")

routine("SetLength", "strings",
        "Makes the string variable <code>S</code> <code>L</code> characters long: a longer "
        "string is cut, a shorter one gets new characters at its end.",
        "A length the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """var
  s: string;
begin
  s := 'abcdef';
  SetLength(s, 3);
  echoln(s);  { abc }
end.""")

routine("Trim", "strings",
        "<code>s</code> without blanks and control characters at either end.",
        NO_ERRORS,
        """var
  name: string;
begin
  name := Trim(getparam('name'));
  if name = '' then
    echoln('Please enter your name');
end.""")

routine("Uppercase", "strings",
        "<code>s</code> with the letters a to z in upper case; other characters unchanged.",
        NO_ERRORS,
        """begin
  echoln(Uppercase('qorsv'));  { QORSV }
end.""")

routine("Lowercase", "strings",
        "<code>s</code> with the letters A to Z in lower case; other characters unchanged.",
        NO_ERRORS,
        """begin
  if Lowercase(getparam('answer')) = 'yes' then
    echoln('Thank you');
end.""")

routine("AnsiUpperCase", "strings",
        "<code>S</code> in upper case, accented letters of the Western European character set "
        "(Windows-1252) included.",
        NO_ERRORS,
        """begin
  echoln(AnsiUpperCase('caf' + chr(233)));
end.""")

routine("AnsiLowerCase", "strings",
        "<code>S</code> in lower case, accented letters of the Western European character set "
        "(Windows-1252) included.",
        NO_ERRORS,
        """begin
  echoln(AnsiLowerCase('Stra' + chr(223) + 'E'));
end.""")

routine("AnsiSameText", "strings",
        "True when the two texts are equal when letter case is ignored, accented letters "
        "included.",
        NO_ERRORS,
        """begin
  if AnsiSameText(getparam('city'), 'paris') then
    echoln('Bonjour');
end.""")

routine("MidStr", "strings",
        "At most <code>ACount</code> characters of <code>AText</code> from the 1-based "
        "position <code>AStart</code>; a start below 1 counts as 1, a start past the end or a "
        "count below 1 gives an empty text.",
        NO_ERRORS,
        """begin
  echoln(MidStr('abc', 2, 5));  { bc }
end.""")

routine("stringreplace", "strings",
        "<code>S</code> with every occurrence of <code>OldPattern</code> replaced by "
        "<code>NewPattern</code>, letter case significant, scanning from the left without "
        "rescanning replaced text.",
        NO_ERRORS,
        """begin
  echoln(stringreplace(getparam('text'), #13#10, '<br>'));
  echoln(stringreplace('aaa', 'aa', 'b'));  { ba }
end.""")

routine("StrLen", "strings",
        "The number of characters before the first NUL character of <code>Str</code>.",
        NO_ERRORS,
        """begin
  echoln(inttostr(StrLen('abc')));  { 3 }
end.""")

routine("Padl", "strings",
        "<code>s</code> with blanks added on the left up to <code>I</code> characters; a "
        "longer text is returned unchanged.",
        "A width the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """begin
  echoln('<pre>' + Padl('42', 6) + '</pre>');  { '    42' }
end.""")

routine("Padr", "strings",
        "<code>s</code> with blanks added on the right up to <code>I</code> characters; a "
        "longer text is returned unchanged.",
        "A width the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """begin
  echoln('<pre>' + Padr('Name', 10) + '|</pre>');
end.""")

routine("Padz", "strings",
        "<code>s</code> with zeros added on the left up to <code>I</code> characters.",
        "A width the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """begin
  echoln('Order ' + Padz(inttostr(42), 6));  { Order 000042 }
end.""")

routine("Replicate", "strings",
        "The character <code>c</code> repeated <code>I</code> times; empty for a count below 1.",
        "A count the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """begin
  echoln(Replicate('*', 10));
end.""")

routine("StringOfChar", "strings",
        "The character <code>c</code> repeated <code>I</code> times; the same as "
        "<code>Replicate</code>.",
        "A count the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """begin
  echoln(StringOfChar('-', 20));
end.""")

# ---- Arithmetic and random numbers -------------------------------------------------------

routine("Sin", "math", "The sine of <code>e</code> (in radians).",
        "Infinity or a value that is no number raises &quot;Math error&quot;.",
        """begin
  echoln(FloatToStr(Sin(Pi / 2)));  { 1 }
end.""")

routine("Cos", "math", "The cosine of <code>e</code> (in radians).",
        "Infinity or a value that is no number raises &quot;Math error&quot;.",
        """begin
  echoln(FloatToStr(Cos(0)));  { 1 }
end.""")

routine("Sqrt", "math", "The square root of <code>e</code>.",
        "A negative value raises &quot;Math error&quot;.",
        """begin
  echoln(FloatToStr(Sqrt(16)));  { 4 }
end.""")

routine("Sqr", "math",
        "The square of <code>e</code>: an integer for an integer argument, else an "
        "<code>Extended</code>. Translated by the compiler.",
        NO_ERRORS,
        """begin
  echoln(inttostr(Sqr(7)));  { 49 }
  echoln(FloatToStr(Sqr(1.5)));  { 2.25 }
end.""")

routine("Round", "math",
        "<code>e</code> rounded to the nearest integer; a value exactly halfway goes to the "
        "even neighbour (2.5 gives 2, 3.5 gives 4).",
        "A value beyond the integer range raises &quot;Math error&quot;.",
        """begin
  echoln(inttostr(Round(2.7)));  { 3 }
end.""")

routine("Trunc", "math",
        "<code>e</code> with its fraction cut off, towards zero (-2.7 gives -2).",
        "A value beyond the integer range raises &quot;Math error&quot;.",
        """var
  pages: integer;
begin
  pages := Trunc(105 / 10);
  echoln(inttostr(pages));  { 10 }
end.""")

routine("Int", "math",
        "The whole-number part of <code>e</code>, as a floating-point number (-2.7 gives -2).",
        NO_ERRORS,
        """begin
  echoln(FloatToStr(Int(3.99)));  { 3 }
end.""")

routine("Pi", "math", "The number pi, 3.14159265358979.", NO_ERRORS,
        """var
  r: extended;
begin
  r := 2;
  echoln('Area: ' + FloatToStr(Pi * r * r));
end.""")

routine("Abs", "math",
        "The absolute value of <code>e</code>; for an integer argument an integer.",
        NO_ERRORS,
        """begin
  echoln(FloatToStr(Abs(-3.5)));  { 3.5 }
end.""")

routine("randomize", "math",
        "Seeds the server's pseudo-random generator from the clock. The server already "
        "reseeds it before every script block, so scripts seldom need it.",
        NO_ERRORS,
        """begin
  randomize;
  echoln(inttostr(random(6) + 1));
end.""")

routine("random", "math",
        "A pseudo-random integer from 0 to <code>x</code> - 1; 0 when <code>x</code> is 0 or "
        "less. Not suitable for passwords or tokens.",
        NO_ERRORS,
        """var
  tips: array[0..2] of string;
begin
  tips[0] := 'Drink water';
  tips[1] := 'Take a walk';
  tips[2] := 'Call a friend';
  echoln(tips[random(3)]);
end.""")

# ---- Date and time -----------------------------------------------------------------------

for name, what, example in [
        ("gethour", "The hour of the current local time, 0 to 23.",
         """begin
  if gethour < 12 then
    echoln('Good morning')
  else
    echoln('Good afternoon');
end."""),
        ("getmin", "The minute of the current local time, 0 to 59.",
         """begin
  echoln(Padz(inttostr(gethour), 2) + ':' + Padz(inttostr(getmin), 2));
end."""),
        ("getsec", "The second of the current local time, 0 to 59.",
         """begin
  echoln('Seconds: ' + inttostr(getsec));
end."""),
        ("getmsec", "The millisecond of the current local time, 0 to 999.",
         """begin
  echoln('ms: ' + Padz(inttostr(getmsec), 3));
end."""),
        ("getyear", "The year of the current local date.",
         """begin
  echoln('&copy; ' + inttostr(getyear));
end."""),
        ("getmonth", "The month of the current local date, 1 to 12.",
         """begin
  if getmonth = 12 then
    echoln('Happy holidays');
end."""),
        ("getday", "The day of the month of the current local date, 1 to 31.",
         """begin
  echoln(Padz(inttostr(getday), 2) + '/' + Padz(inttostr(getmonth), 2) + '/' +
    inttostr(getyear));
end."""),
]:
    routine(name, "time", what, NO_ERRORS, example)

# ---- Network -----------------------------------------------------------------------------

routine("resolveIPToName", "network",
        "The host name that a reverse name lookup finds for the IPv4 address in dotted "
        "decimal, or an empty text when none is found. A lookup may take a few seconds.",
        "None: an address that is not valid, or has no name, gives an empty text.",
        """var
  host: string;
begin
  host := resolveIPToName(myip);
  if host = '' then
    host := myip;
  echoln('You connect from ' + htmlencode(host));
end.""")

# ---- SQL databases -----------------------------------------------------------------------

SQL_HANDLE_ERRORS = ("A handle number outside 1 to 1000 (such as 65535) stops the script with "
                     "&quot;SQL handle N does not exist (1 to 1000)&quot;, a handle that is "
                     "not open with &quot;SQL handle N is not in use&quot;.")

routine("sql_getnewhandle", "sql",
        "Opens the SQLite database file <code>dbn</code> and returns a handle number from 1 "
        "to 1000, or 65535 when the file does not exist (no file is created). A name is "
        "looked for first in the folder <code>scriptdata</code> beside the server, then as it "
        "is written. Handles are released when the script block ends; "
        "<code>sql_destroy</code> releases one earlier.",
        "None: test the result against 65535.",
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  if db = 65535 then
  begin
    echoln('The database is missing');
    Exit;
  end;
  sql_destroy(db);
end.""")

routine("sql_execute", "sql",
        "Runs one SQL statement that returns no rows (CREATE, INSERT, UPDATE, DELETE). Text "
        "after the first statement is ignored.",
        "Errors that SQLite reports (a syntax error, a constraint, a busy database) are "
        "dropped silently: check the result with a query where it matters. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('guestbook.db');
  sql_execute(db, 'insert into entries (name) values (''' +
    stringreplace(getparam('name'), '''', '''''') + ''')');
  sql_destroy(db);
end.""")

routine("sql_begintransaction", "sql",
        "Starts a transaction (&quot;BEGIN TRANSACTION;&quot;): the following statements "
        "take effect together at <code>sql_commit</code>, or not at all after "
        "<code>sql_rollback</code>. A handle released with a transaction open rolls it back.",
        "A second call before the commit or rollback raises &quot;Transaction already "
        "open&quot;. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('bank.db');
  sql_begintransaction(db);
  try
    sql_execute(db, 'update accounts set amount = amount - 10 where id = 1');
    sql_execute(db, 'update accounts set amount = amount + 10 where id = 2');
    sql_commit(db);
  except
    sql_rollback(db);
  end;
  sql_destroy(db);
end.""")

routine("sql_commit", "sql",
        "Ends the transaction and keeps its changes (&quot;COMMIT;&quot;).",
        "What SQLite reports is dropped. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('log.db');
  sql_begintransaction(db);
  sql_execute(db, 'insert into hits (ip) values (''' + myip + ''')');
  sql_commit(db);
  sql_destroy(db);
end.""")

routine("sql_rollback", "sql",
        "Ends the transaction and drops its changes (&quot;ROLLBACK;&quot;).",
        "What SQLite reports is dropped. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('log.db');
  sql_begintransaction(db);
  sql_execute(db, 'delete from hits');
  sql_rollback(db);  { nothing was deleted }
  sql_destroy(db);
end.""")

routine("sql_TableExists", "sql",
        "True when the database has a table of that name, letter case ignored. The handle's "
        "loaded result is not touched.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('notes.db');
  if not sql_TableExists(db, 'notes') then
    sql_execute(db, 'create table notes (id INTEGER primary key, text TEXT)');
  sql_destroy(db);
end.""")

routine("sql_gettable", "sql",
        "Runs a query and loads its whole result into the handle, replacing the previous one; "
        "the current row is the first. Columns declared INTEGER read as integers, BOOLEAN as "
        "booleans, NUMERIC, FLOAT and DOUBLE as numbers, BLOB as blobs; every other declared "
        "type (TEXT, INT, REAL, VARCHAR) reads as text. A column without a declared type (an "
        "expression such as count(*)) takes the kind of its value in the first row.",
        "A locked database raises &quot;Could not prepare SQL statement&quot; and keeps the "
        "previous result. A query that does not prepare gives an empty result. "
        + SQL_HANDLE_ERRORS,
        """var
  db: longword;
  i: integer;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products order by name');
  for i := 1 to sql_getrowcount(db) do
  begin
    echoln(htmlencode(sql_FieldAsString(db, 'name')) + '<br>');
    sql_Next(db);
  end;
  sql_destroy(db);
end.""")

routine("sql_droptable", "sql",
        "Drops the table when <code>sql_TableExists</code> finds it; nothing otherwise.",
        "What SQLite reports is dropped. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('cache.db');
  sql_droptable(db, 'pages');
  sql_destroy(db);
end.""")

for name in ("sql_getrowcount", "sql_getcount", "sql_Count"):
    routine(name, "sql",
            "The number of rows of the result loaded by <code>sql_gettable</code>. "
            "<code>sql_getrowcount</code>, <code>sql_getcount</code> and <code>sql_Count</code> "
            "are the same.",
            SQL_HANDLE_ERRORS,
            """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select * from orders');
  echoln(inttostr(%s(db)) + ' orders');
  sql_destroy(db);
end.""" % name)

routine("sql_ColCount", "sql",
        "The number of columns of the loaded result; 0 for a result without rows.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select * from products');
  echoln(inttostr(sql_ColCount(db)) + ' columns');
  sql_destroy(db);
end.""")

routine("sql_destroy", "sql",
        "Releases the handle: an open transaction is rolled back and the database closed. "
        "Handles left open are released when the script block ends.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_destroy(db);
end.""")

routine("sql_getfieldindex", "sql",
        "The 0-based index of the column of that name in the loaded result, letter case "
        "ignored.",
        "A result without rows raises &quot;Field NAME Not found. Empty dataset&quot;; a "
        "name that is no column raises &quot;Field not found in dataset: NAME&quot;. "
        + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select id, name from products');
  echoln(inttostr(sql_getfieldindex(db, 'NAME')));  { 1 }
  sql_destroy(db);
end.""")

FIELD_ERRORS = ("When the current row is past the last one: &quot;Table is at End of "
                "File&quot;; the errors of <code>sql_getfieldindex</code> for the name; and ")

routine("sql_FieldAsString", "sql",
        "The field of the current row in the named column, as text: the text of a text "
        "column, &quot;1&quot; or &quot;0&quot; for a boolean column, an empty text for "
        "NULL.",
        FIELD_ERRORS + "for an integer, numeric or blob column &quot;Use the specific methods "
        "for integer, numeric or blob fields&quot;. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products where id = 1');
  if sql_getrowcount(db) > 0 then
    echoln(htmlencode(sql_FieldAsString(db, 'name')));
  sql_destroy(db);
end.""")

routine("sql_FieldAsInteger", "sql",
        "The field of the current row in the named column, as an integer: the value of an "
        "integer column, a numeric value truncated towards zero, 0 for NULL.",
        FIELD_ERRORS + "for a text, boolean or blob column &quot;Not an integer or numeric "
        "field&quot;. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select count(*) as n from products');
  echoln(inttostr(sql_FieldAsInteger(db, 'n')) + ' products');
  sql_destroy(db);
end.""")

routine("sql_FieldAsBoolean", "sql",
        "The field of the current row in a column declared BOOLEAN: true for any value other "
        "than 0, false for 0 and NULL.",
        FIELD_ERRORS + "for any other column &quot;Not a boolean field&quot;. "
        + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('users.db');
  sql_gettable(db, 'select active from users where id = 1');
  if (sql_getrowcount(db) > 0) and sql_FieldAsBoolean(db, 'active') then
    echoln('active');
  sql_destroy(db);
end.""")

routine("sql_Next", "sql",
        "Moves to the next row and returns true; false, without moving, when the current row "
        "is already past the last one. The call that leaves the last row still returns true, "
        "so loop over <code>sql_getrowcount</code> rows rather than while "
        "<code>sql_Next</code> is true.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
  i: integer;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products');
  for i := 1 to sql_getrowcount(db) do
  begin
    echoln(sql_FieldAsString(db, 'name'));
    sql_Next(db);
  end;
  sql_destroy(db);
end.""")

routine("sql_Previous", "sql",
        "Moves to the previous row and returns true; false on the first row.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products');
  sql_Next(db);
  if sql_Previous(db) then
    echoln('back on the first row');
  sql_destroy(db);
end.""")

routine("sql_MoveFirst", "sql",
        "Makes the first row the current one; nothing for a result without rows.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products');
  sql_MoveLast(db);
  sql_MoveFirst(db);
  sql_destroy(db);
end.""")

routine("sql_MoveLast", "sql",
        "Makes the last row the current one; nothing for a result without rows.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('news.db');
  sql_gettable(db, 'select title from news order by id');
  if sql_getrowcount(db) > 0 then
  begin
    sql_MoveLast(db);
    echoln('Latest: ' + htmlencode(sql_FieldAsString(db, 'title')));
  end;
  sql_destroy(db);
end.""")

routine("sql_freehandles", "sql",
        "The number of SQL handles in use in the whole server at this moment (despite its "
        "name, not the number of free ones).",
        NO_ERRORS,
        """begin
  echoln(inttostr(sql_freehandles) + ' database handles open');
end.""")

# ---- Mail --------------------------------------------------------------------------------

MAIL_SHARED = (" The mail settings belong to the whole server: what one script sets stays set "
               "for the next one, so set every field before sending, and use "
               "<code>mail_lock</code> to take turns.")

MAIL_EXAMPLE = """begin
  while mail_islocked do
    ;
  mail_lock;
  try
    mail_host('127.0.0.1');
    mail_port(25);
    mail_sender('Web shop <shop@example.com>');
    mail_sendername('Web shop');
    mail_recipients('Anna <anna@example.com>');
    mail_subject('Your order');
    mail_body('Thank you for your order.');
    mail_connect;
    try
      mail_send;
    finally
      mail_disconnect;
    end;
  finally
    mail_unlock;
  end;
end."""

for name, what in [
        ("mail_host", "Sets the name or address of the SMTP server that <code>mail_connect</code> "
                      "connects to."),
        ("mail_port", "Sets the SMTP server's port (25 at first)."),
        ("mail_userid", "Stores a user name for the SMTP server. The client never "
                        "authenticates, so it is not sent."),
        ("mail_password", "Stores a password for the SMTP server. The client never "
                          "authenticates, so it is not sent."),
        ("mail_subject", "Sets the message's subject."),
        ("mail_body", "Sets the message's text; it is split into lines at CR LF, CR or LF (a "
                      "final line break adds no empty line)."),
        ("mail_recipients", "Sets the recipients from a comma-separated list of addresses, each "
                            "an address, <code>Name &lt;address&gt;</code> or <code>address "
                            "(Name)</code>; a name in double quotes may contain commas."),
        ("mail_sender", "Sets the sender (the &quot;From&quot;, &quot;Sender&quot; and "
                        "&quot;Reply-To&quot; headers and the envelope address) from one "
                        "address, for example <code>Shop &lt;shop@example.com&gt;</code>."),
        ("mail_sendername", "Sets the display name of the &quot;Sender&quot; header, and the "
                            "server's mail agent (the &quot;X-Mailer&quot; header)."),
]:
    routine(name, "mail", what + MAIL_SHARED, "None: the setters never fail.", MAIL_EXAMPLE)

routine("mail_connect", "mail",
        "Connects to the SMTP server set by <code>mail_host</code> and <code>mail_port</code> "
        "and greets it." + MAIL_SHARED,
        "A server that cannot be reached, or that does not answer as expected, raises an error "
        "with the reason (for example &quot;Could not connect to 127.0.0.1:25: Connection "
        "refused&quot;); the client is then not connected.",
        MAIL_EXAMPLE)

routine("mail_send", "mail",
        "Sends the message to every recipient over the open connection." + MAIL_SHARED,
        "Without a connection it raises &quot;Not connected&quot;; a refused sender or "
        "recipient raises the server's reply; the connection stays open.",
        MAIL_EXAMPLE)

routine("mail_disconnect", "mail",
        "Ends the connection to the SMTP server (&quot;QUIT&quot;)." + MAIL_SHARED,
        "A network error is raised; the connection is closed all the same.",
        MAIL_EXAMPLE)

routine("mail_lock", "mail",
        "Marks the mail settings as taken, so that other scripts that test "
        "<code>mail_islocked</code> wait their turn. It blocks nobody by itself; showing the "
        "server's console window clears it.",
        NO_ERRORS, MAIL_EXAMPLE)

routine("mail_unlock", "mail",
        "Marks the mail settings as free again.",
        NO_ERRORS, MAIL_EXAMPLE)

routine("mail_islocked", "mail",
        "True while some script holds the mail settings (<code>mail_lock</code> without "
        "<code>mail_unlock</code> yet).",
        NO_ERRORS, MAIL_EXAMPLE)

# ---- Variants ----------------------------------------------------------------------------

routine("Unassigned", "variants", "A variant that holds nothing (<code>VarIsEmpty</code> is "
        "true, <code>VarType</code> is 0).", NO_ERRORS,
        """var
  v: Variant;
begin
  v := Unassigned;
  if VarIsEmpty(v) then
    echoln('empty');
end.""")

routine("VarIsEmpty", "variants", "True when the variant holds nothing.", NO_ERRORS,
        """var
  v: Variant;
begin
  v := Unassigned;
  echoln(inttostr(ord(VarIsEmpty(v))));  { 1 }
end.""")

routine("Null", "variants", "A variant that holds the Null value (<code>VarType</code> 1).",
        NO_ERRORS,
        """var
  v: Variant;
begin
  v := Null;
  if VarIsNull(v) then
    echoln('null');
end.""")

routine("VarIsNull", "variants", "True when the variant holds Null.", NO_ERRORS,
        """var
  v: Variant;
begin
  v := 5;
  echoln(inttostr(ord(VarIsNull(v))));  { 0 }
end.""")

routine("VarType", "variants",
        "The type code of the variant's value: 0 empty, 1 Null, 3 integer, 5 floating point, "
        "11 boolean, 256 string.", NO_ERRORS,
        """var
  v: Variant;
begin
  v := 'text';
  echoln(inttostr(VarType(v)));  { 256 }
end.""")

routine("IDispatchInvoke", "variants",
        "Calls a method or property of an automation object. This server offers no automation "
        "objects, so every call fails.",
        "&quot;Null Pointer Exception&quot; for an empty object, otherwise &quot;Interface not "
        "supported&quot;.",
        """begin
  echoln('Automation objects are not available on this server');
end.""")

# ---- Exceptions --------------------------------------------------------------------------

routine("RaiseException", "exceptions",
        "Raises a run-time error of the kind <code>Ex</code> with the parameter "
        "<code>Param</code>; <code>erCustomError</code> makes <code>Param</code> the whole "
        "message. An unhandled error ends the block; its output so far is kept.",
        NO_ERRORS,
        """begin
  try
    if getparam('id') = '' then
      RaiseException(erCustomError, 'No id given');
    echoln('ok');
  except
    echoln('Error: ' + ExceptionParam);
  end;
end.""")

routine("RaiseLastException", "exceptions",
        "Inside an <code>except</code> block: raises the error being handled again, for an "
        "outer handler.", NO_ERRORS,
        """begin
  try
    try
      RaiseException(erCustomError, 'disk full');
    except
      echoln('cleaning up');
      RaiseLastException;
    end;
  except
    echoln('outer handler: ' + ExceptionParam);
  end;
end.""")

routine("ExceptionType", "exceptions",
        "Inside an <code>except</code> block: the kind of the error being handled, such as "
        "<code>ErDivideByZero</code>, <code>erException</code> (an error of a server function) "
        "or <code>erCustomError</code>.", NO_ERRORS,
        """var
  a, b: integer;
begin
  a := 1;
  b := 0;
  try
    a := a div b;
  except
    if ExceptionType = ErDivideByZero then
      echoln('division by zero');
  end;
end.""")

routine("ExceptionParam", "exceptions",
        "Inside an <code>except</code> block: the parameter of the error being handled; for "
        "an error of a server function, its message.", NO_ERRORS,
        """var
  n: integer;
begin
  try
    n := StrToInt('12a');
  except
    echoln(ExceptionParam);  { '12a' is not a valid integer value }
  end;
end.""")

routine("ExceptionProc", "exceptions",
        "Inside an <code>except</code> block: the number of the routine in which the error was "
        "raised, for debugging.", NO_ERRORS,
        """begin
  try
    RaiseException(erCustomError, 'x');
  except
    echoln('in routine ' + inttostr(ExceptionProc) + ' at ' + inttostr(ExceptionPos));
  end;
end.""")

routine("ExceptionPos", "exceptions",
        "Inside an <code>except</code> block: the position in the compiled program at which "
        "the error was raised, for debugging.", NO_ERRORS,
        """begin
  try
    RaiseException(erCustomError, 'x');
  except
    echoln('position ' + inttostr(ExceptionPos));
  end;
end.""")

routine("ExceptionToString", "exceptions",
        "The message of an error kind with its parameter, as the server reports it: "
        "&quot;divide by Zero&quot;, &quot;Exception: &quot; + the parameter for "
        "<code>erException</code>, the parameter itself for <code>erCustomError</code>.",
        NO_ERRORS,
        """begin
  try
    RaiseException(erOutOfRange, '');
  except
    echoln(ExceptionToString(ExceptionType, ExceptionParam));  { Out Of Range }
  end;
end.""")

# ---- Arrays and memory -------------------------------------------------------------------

routine("getarraylength", "arrays",
        "Written <code>GetArrayLength(a)</code>: the number of elements of the array "
        "<code>a</code>; the same as <code>Length(a)</code>.", NO_ERRORS,
        """var
  a: array of string;
begin
  SetArrayLength(a, 3);
  echoln(inttostr(GetArrayLength(a)));  { 3 }
end.""")

routine("setarraylength", "arrays",
        "Written <code>SetArrayLength(a, n)</code>: gives the dynamic array <code>a</code> "
        "<code>n</code> elements, numbered from 0; existing elements are kept.",
        "A length the memory cannot hold raises &quot;Out Of Memory&quot;.",
        """var
  names: array of string;
begin
  SetArrayLength(names, 2);
  names[0] := 'Ann';
  names[1] := 'Bob';
  echoln(names[1]);
end.""")

routine("SizeOf", "arrays",
        "Written <code>SizeOf(x)</code>: the size in bytes of a variable or type (4 for an "
        "integer).", NO_ERRORS,
        """var
  i: integer;
begin
  echoln(inttostr(SizeOf(i)));  { 4 }
end.""")

routine("Assigned", "arrays",
        "True when the value is not nil or 0.", NO_ERRORS,
        """begin
  echoln(inttostr(ord(Assigned(0))));  { 0 }
end.""")

# ---- Ordinal values and sets --------------------------------------------------------------

ORDINAL = ("An ordinal value is an integer, a character, a boolean or a value of an enumerated "
           "type. Translated by the compiler, which accepts any ordinal type here.")

routine("Inc", "ordinals",
        "Adds 1, or <code>N</code>, to the ordinal variable <code>X</code>: "
        "<code>Inc(i)</code> is <code>i := i + 1</code>. " + ORDINAL,
        "A boolean variable, or anything but a variable, is a compile error (type mismatch).",
        """var
  i: integer;
begin
  i := 10;
  Inc(i);
  Inc(i, 5);
  echoln(inttostr(i));  { 16 }
end.""")

routine("Dec", "ordinals",
        "Subtracts 1, or <code>N</code>, from the ordinal variable <code>X</code>. " + ORDINAL,
        "A boolean variable, or anything but a variable, is a compile error (type mismatch).",
        """var
  i: integer;
begin
  i := 10;
  Dec(i);
  Dec(i, 2);
  echoln(inttostr(i));  { 7 }
end.""")

routine("Succ", "ordinals",
        "The value after <code>X</code>, of the same type: <code>Succ(4)</code> is 5. " + ORDINAL,
        "A value that is not ordinal is a compile error (type mismatch).",
        """begin
  echoln(inttostr(Succ(4)));  { 5 }
  echoln(Chr(Succ(Ord('a'))));  { b }
end.""")

routine("Pred", "ordinals",
        "The value before <code>X</code>, of the same type: <code>Pred(4)</code> is 3. " + ORDINAL,
        "A value that is not ordinal is a compile error (type mismatch).",
        """begin
  echoln(inttostr(Pred(4)));  { 3 }
end.""")

routine("Ord", "ordinals",
        "The number of an ordinal value: a character's code (<code>Ord('A')</code> is 65), "
        "0 or 1 for a boolean, the position of an enumerated value counting from 0. " + ORDINAL,
        "A value that is not ordinal (a string, a real number) is a compile error.",
        """type
  TDay = (Mon, Tue, Wed);
begin
  echoln(inttostr(Ord('A')));  { 65 }
  echoln(inttostr(Ord(Wed)));  { 2 }
end.""")

routine("Chr", "ordinals",
        "The character with the code <code>I</code> (0 to 255): <code>Chr(13) + Chr(10)</code> "
        "is a line break. Translated by the compiler.",
        "An argument that is not an integer is a compile error.",
        """begin
  echoln('A' + Chr(66) + 'C');  { ABC }
end.""")

routine("Odd", "ordinals",
        "True when the integer <code>I</code> is odd. Translated by the compiler.",
        "An argument that is not an integer is a compile error.",
        """var
  i: integer;
begin
  for i := 1 to 4 do
    if Odd(i) then
      echoln(inttostr(i) + ' is odd');
end.""")

routine("High", "ordinals",
        "The last index of an array (<code>Length(a) - 1</code> for a dynamic array), the "
        "length of a string, or the largest value of an ordinal type "
        "(<code>High(integer)</code>). Translated by the compiler.",
        "A value that has no highest index or value is a compile error.",
        """var
  a: array of string;
  i: integer;
begin
  SetLength(a, 3);
  for i := Low(a) to High(a) do
    a[i] := inttostr(i * i);
  echoln(a[High(a)]);  { 4 }
end.""")

routine("Low", "ordinals",
        "The first index of an array (0 for a dynamic array), 1 for a string, or the smallest "
        "value of an ordinal type. Translated by the compiler.",
        "A value that has no lowest index or value is a compile error.",
        """var
  n: array[1..5] of integer;
begin
  echoln(inttostr(Low(n)) + '..' + inttostr(High(n)));  { 1..5 }
end.""")

routine("Include", "ordinals",
        "Adds the element <code>E</code> to the set variable <code>S</code>; the same as "
        "<code>S := S + [E]</code>. Translated by the compiler.",
        "A variable that is not a set, or an element of another type, is a compile error.",
        """type
  TDay = (Mon, Tue, Wed);
var
  days: set of TDay;
begin
  days := [];
  Include(days, Tue);
  if Tue in days then
    echoln('Tuesday is in');
end.""")

routine("Exclude", "ordinals",
        "Removes the element <code>E</code> from the set variable <code>S</code>; the same as "
        "<code>S := S - [E]</code>. Translated by the compiler.",
        "A variable that is not a set, or an element of another type, is a compile error.",
        """type
  TDay = (Mon, Tue, Wed);
var
  days: set of TDay;
begin
  days := [Mon, Tue];
  Exclude(days, Mon);
  if not (Mon in days) then
    echoln('Monday is out');
end.""")

# ---- Called by the server ----------------------------------------------------------------

SERVER_CALLED = ("The server calls it by name before or after every script block; scripts do "
                 "not call it themselves. Keep it in <code>scripts/ext.qor</code>.")

for name, what, example in [
        ("qOrScriptInitialization", "Resets the variables of ext.qor (the queued response "
         "cookies, <code>usersonline</code>, <code>userip</code>) before the block runs.",
         "begin\n  { the server has already called qOrScriptInitialization }\n  echoln(inttostr(ndxaddcookies));  { 0 }\nend."),
        ("setusersonline", "Receives the number of client connections open when the block "
         "started, into the variable <code>usersonline</code>.",
         "begin\n  echoln(inttostr(usersonline) + ' visitors right now');\nend."),
        ("settrafic", "Receives the bytes the server has sent (GB, MB, KB and bytes) into "
         "<code>trafficgb</code>, <code>trafficmb</code>, <code>traffickb</code> and "
         "<code>trafficbytes</code>.",
         "begin\n  echoln(inttostr(trafficmb) + ' MB served');\nend."),
        ("setuserip", "Receives the client's IPv4 address into the variable "
         "<code>userip</code>.",
         "begin\n  echoln('Your address: ' + userip);\nend."),
        ("ndxaddcookies", "Returns how many response cookies the block queued with "
         "<code>addcookie</code>.",
         "begin\n  addcookie('a', '1');\n  echoln(inttostr(ndxaddcookies));  { 1 }\nend."),
        ("getaddcookiesname", "Returns the name of queued response cookie <code>i</code> "
         "(from 1), or an empty text.",
         "begin\n  addcookie('theme', 'dark');\n  echoln(getaddcookiesname(1));  { theme }\nend."),
        ("getaddcookiesvalue", "Returns the value of queued response cookie <code>i</code> "
         "(from 1), or an empty text.",
         "begin\n  addcookie('theme', 'dark');\n  echoln(getaddcookiesvalue(1));  { dark }\nend."),
]:
    routine(name, "server", what + " " + SERVER_CALLED, NO_ERRORS, example)
