# Help texts of the routines for the page, the request and response, text files, files and folders.

from routine_table import NO_ERRORS, routine  # noqa: F401


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
