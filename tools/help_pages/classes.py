# The help text of the host classes that scripts can use. make_help_pages.py turns it, with the
# declarations of scripts/classes.txt, into one page per class (file: the class name in lower case
# + ".htm"). Each entry: the class's name, what it is, a text per member (by the member's name),
# its errors and a short example script. The window classes share one text.

C = []


def cls(name, does, members, errors, example):
    C.append(dict(name=name, does=does, members=members, errors=errors, example=example))


OBJECT_ERRORS = (
    "Calling a method on <code>nil</code> stops the script with &quot;Null Pointer "
    "Exception&quot; (except <code>Free</code>, which does nothing on nil); calling one on an "
    "object that was freed stops it with &quot;Access to an object that was freed&quot;; the "
    "run's message names the call, as in &quot;(TStrings.Add)&quot;. Both can be caught with "
    "<code>try ... except</code>.")

cls("TObject",
    "The ancestor of every class. Objects are made with a constructor "
    "(<code>TStringList.Create</code>) and freed with <code>Free</code>; the objects a script "
    "leaves alive are freed when its run ends. A variable of a class type may hold an object of "
    "that class or of a descendant; <code>obj is TClass</code> tests the class of an object and "
    "<code>obj as TClass</code> converts with a check.",
    {"Create": "Makes a new object of the class it is called on.",
     "Free": "Frees the object; does nothing when the variable is <code>nil</code>.",
     "Destroy": "Frees the object, like <code>Free</code>, but not on <code>nil</code>.",
     "ClassName": "The name of the object's class, such as <code>TStringList</code>.",
     "ClassNameIs": "Whether the object's class has that name, compared without regard to "
                    "case."},
    OBJECT_ERRORS + " <code>as</code> with an object of another class stops the script with "
    "&quot;Invalid class typecast&quot;.",
    """var o: TObject;
begin
  o := TStringList.Create;
  echo(o.ClassName);
  if o is TStrings then echo(' is a TStrings');
  o.Free;
end.""")

cls("TPersistent",
    "An object whose contents another object of a fitting class can take over with "
    "<code>Assign</code>.",
    {"Assign": "Copies <code>Source</code> into this object: a string list takes the strings "
               "and objects of another string list."},
    "An object that cannot take that source stops the script with &quot;Cannot assign a "
    "TSource to a TTarget&quot;.",
    """var a, b: TStringList;
begin
  a := TStringList.Create;
  b := TStringList.Create;
  a.CommaText := 'red,green';
  b.Assign(a);
  echo(b.Text);
  a.Free;
  b.Free;
end.""")

cls("TComponent",
    "An object with a name and a tag that can own other components: freeing the owner frees "
    "the components it owns.",
    {"Create": "Makes a component owned by <code>AOwner</code> (or by none, with nil).",
     "Name": "The component's name: an identifier, unique among the components of its owner.",
     "Tag": "A number for the script's own use.",
     "Owner": "The component that owns this one, or nil.",
     "ComponentCount": "How many components this one owns.",
     "Components": "The owned components, numbered from 0.",
     "FindComponent": "The owned component of that name (compared without regard to case), "
                      "or nil."},
    OBJECT_ERRORS + " A name that is not an identifier, or that another component of the same "
    "owner has, is an error.",
    """var owner, part: TComponent;
begin
  owner := TComponent.Create(nil);
  part := TComponent.Create(owner);
  part.Name := 'Header';
  echo(IntToStr(owner.ComponentCount) + ' ' + owner.FindComponent('header').Name);
  owner.Free;
end.""")

cls("TApplication",
    "The class of the variable <code>Application</code>: the server program itself. A script "
    "cannot make another one.",
    {"Title": "The application's title, &quot;TorvaneServer!&quot;; a script may change it "
              "for its own run.",
     "ExeName": "The path of the program file.",
     "ProcessMessages": "Does nothing: a server script has no window messages to wait for."},
    "<code>TApplication.Create</code> stops the script: there are no windows in a server "
    "script.",
    """begin
  echo(Application.Title + ' runs from ' + Application.ExeName);
end.""")

cls("TStrings",
    "A list of strings, each with an object, and the text views of the list. Scripts make "
    "string lists with <code>TStringList.Create</code>; a <code>TStrings</code> variable or "
    "parameter takes any of them. The default property is <code>Strings</code>, so "
    "<code>list[i]</code> is the string number <code>i</code> (from 0).",
    {"Add": "Adds a string and answers its index (in a sorted list, where it was placed).",
     "AddObject": "Adds a string with an object.",
     "Append": "Adds a string.",
     "AddStrings": "Adds the strings and objects of another list.",
     "Insert": "Inserts a string at an index.",
     "InsertObject": "Inserts a string with an object at an index.",
     "Delete": "Removes the string at an index.",
     "Clear": "Removes every string.",
     "Exchange": "Swaps two strings.",
     "Move": "Moves a string to another index.",
     "IndexOf": "The index of a string, or -1.",
     "IndexOfName": "The index of the first <code>name=value</code> string of that name, or -1.",
     "IndexOfObject": "The index of the first string with that object, or -1.",
     "Equals": "Whether another list holds the same strings in the same order.",
     "BeginUpdate": "Does nothing here; kept for scripts that call it.",
     "EndUpdate": "Does nothing here; kept for scripts that call it.",
     "LoadFromFile": "Reads a text file into the list, a string per line (lines may end in "
                     "CR LF, LF or CR). Relative names start in the server's current folder.",
     "SaveToFile": "Writes the list to a file, each string followed by CR LF.",
     "LoadFromStream": "Reads the lines from a stream's position to its end.",
     "SaveToStream": "Writes the text of the list into a stream.",
     "Count": "How many strings the list holds.",
     "Strings": "The string at an index (the default property).",
     "Objects": "The object at an index.",
     "Names": "The name part of a <code>name=value</code> string.",
     "Values": "The value of the first string <code>name=value</code> of that name; setting "
               "it adds or replaces that string, setting it to '' removes it.",
     "ValueFromIndex": "The value part of the string at an index.",
     "Text": "All strings, each followed by CR LF; setting it splits a text into lines.",
     "CommaText": "The strings separated by commas; strings with blanks, commas or quotes are "
                  "quoted with double quotes.",
     "DelimitedText": "Like CommaText with <code>Delimiter</code> and <code>QuoteChar</code>.",
     "Delimiter": "The separator of DelimitedText, a comma at first.",
     "QuoteChar": "The quote of DelimitedText, a double quote at first.",
     "NameValueSeparator": "The separator of names and values, &quot;=&quot; at first.",
     "StrictDelimiter": "When true, only the delimiter separates strings, not blanks.",
     "Capacity": "How many strings the list has room for before it grows."},
    OBJECT_ERRORS + " An index outside the list stops the script with &quot;List index out "
    "of bounds (N)&quot;; a file that cannot be read or written with &quot;Cannot open file"
    "&quot; or &quot;Cannot create file&quot; and the reason.",
    """var list: TStringList;
begin
  list := TStringList.Create;
  list.Values['name'] := getparam('name');
  list.Add('city=Oslo');
  echo(list.Values['city'] + ', ' + list.CommaText);
  list.Free;
end.""")

cls("TStringList",
    "The string list scripts make: a <code>TStrings</code> that can keep itself sorted. "
    "Strings are compared without regard to case unless <code>CaseSensitive</code> is true.",
    {"Find": "In a sorted list, whether a string is there; <code>Index</code> receives its "
             "index, or where it would go.",
     "Sort": "Sorts the strings.",
     "Sorted": "When true the list stays sorted: Add puts each string in its place.",
     "Duplicates": "What Add does in a sorted list with a string it already holds: "
                   "<code>dupIgnore</code> (nothing, the default), <code>dupAccept</code> (adds "
                   "it) or <code>dupError</code> (an error).",
     "CaseSensitive": "Whether comparisons tell upper and lower case apart."},
    OBJECT_ERRORS + " Insert, Move and writing <code>Strings</code> in a sorted list stop the "
    "script with &quot;Operation not allowed on sorted list&quot;; a duplicate with "
    "<code>dupError</code> with &quot;String list does not allow duplicates&quot;.",
    """var list: TStringList; i: Integer;
begin
  list := TStringList.Create;
  try
    list.CommaText := 'pear,apple,fig';
    list.Sort;
    for i := 0 to list.Count - 1 do
      echoln(list[i]);
  finally
    list.Free;
  end;
end.""")

cls("TList",
    "A list of objects (nil may stand in it), numbered from 0. The default property is "
    "<code>Items</code>. Freeing a list does not free the objects in it.",
    {"Add": "Adds an object and answers its index.",
     "Insert": "Inserts an object at an index.",
     "Delete": "Removes the object at an index.",
     "Clear": "Removes every object.",
     "Exchange": "Swaps two objects.",
     "Move": "Moves an object to another index.",
     "IndexOf": "The index of an object, or -1.",
     "Remove": "Removes an object and answers the index it had, or -1.",
     "Extract": "Removes an object and answers it, or nil.",
     "Pack": "Removes every nil.",
     "First": "The first object.",
     "Last": "The last object.",
     "Count": "How many objects the list holds; setting it adds nils or drops the last ones.",
     "Capacity": "How many objects the list has room for before it grows.",
     "Items": "The object at an index (the default property)."},
    OBJECT_ERRORS + " An index outside the list stops the script with &quot;List index out "
    "of bounds (N)&quot;.",
    """var items: TList; a, b: TStringList;
begin
  items := TList.Create;
  a := TStringList.Create;
  b := TStringList.Create;
  items.Add(a);
  items.Add(b);
  echo(IntToStr(items.Count) + ' ' + IntToStr(items.IndexOf(b)));
  items.Free;
  a.Free;
  b.Free;
end.""")

cls("TStream",
    "A sequence of bytes with a position: the ancestor of the memory, string and file "
    "streams. Scripts read and write streams through strings.",
    {"Read": "Reads up to <code>Count</code> bytes at the position into <code>Buffer</code> and "
             "answers how many it read.",
     "Write": "Writes the first <code>Count</code> bytes of <code>Buffer</code> at the "
              "position and answers how many it wrote.",
     "ReadBuffer": "Reads exactly <code>Count</code> bytes into <code>Buffer</code>.",
     "WriteBuffer": "Writes exactly <code>Count</code> bytes of <code>Buffer</code>.",
     "Seek": "Moves the position: <code>Origin</code> is <code>soFromBeginning</code>, "
             "<code>soFromCurrent</code> or <code>soFromEnd</code>. Answers the new position.",
     "CopyFrom": "Copies <code>Count</code> bytes from another stream's position, or with "
                 "<code>Count</code> 0 the whole other stream from its start.",
     "Position": "The position, in bytes from the start.",
     "Size": "The length in bytes; setting it cuts or lengthens the stream."},
    OBJECT_ERRORS + " <code>TStream.Create</code> is an error: make a TMemoryStream, "
    "TStringStream or TFileStream. ReadBuffer and CopyFrom that find too few bytes stop the "
    "script with &quot;Stream read error&quot;, WriteBuffer that cannot write them with "
    "&quot;Stream write error&quot;.",
    """var stream: TStream; text: string;
begin
  stream := TMemoryStream.Create;
  stream.Write('hello', 5);
  stream.Position := 0;
  stream.Read(text, 5);
  echo(text + ' ' + IntToStr(stream.Size));
  stream.Free;
end.""")

cls("TMemoryStream",
    "A stream kept in memory. Its bytes count against the memory a script may hold.",
    {"Clear": "Empties the stream.",
     "SetSize": "Sets the length in bytes.",
     "LoadFromFile": "Replaces the contents with a file's bytes.",
     "SaveToFile": "Writes the contents to a file.",
     "LoadFromStream": "Replaces the contents with the whole of another stream.",
     "SaveToStream": "Writes the contents into another stream at its position."},
    OBJECT_ERRORS + " A file that cannot be read or written stops the script with &quot;Cannot "
    "open file&quot; or &quot;Cannot create file&quot; and the reason.",
    """var stream: TMemoryStream;
begin
  stream := TMemoryStream.Create;
  stream.Write('abc', 3);
  stream.SaveToFile('example.bin');
  stream.Clear;
  stream.LoadFromFile('example.bin');
  echo(IntToStr(stream.Size));
  stream.Free;
end.""")

cls("TStringStream",
    "A stream over a string: made from a string, read and written in strings.",
    {"Create": "Makes a stream holding <code>AString</code>, positioned at its start.",
     "DataString": "The whole contents as a string.",
     "ReadString": "Reads up to <code>Count</code> bytes at the position.",
     "WriteString": "Writes a string at the position."},
    OBJECT_ERRORS,
    """var stream: TStringStream;
begin
  stream := TStringStream.Create('Hello');
  stream.Position := stream.Size;
  stream.WriteString(' world');
  echo(stream.DataString);
  stream.Free;
end.""")

cls("TFileStream",
    "A stream over a file. <code>Mode</code> is <code>fmCreate</code> (create or empty the "
    "file) or <code>fmOpenRead</code>, <code>fmOpenWrite</code>, <code>fmOpenReadWrite</code>; "
    "the sharing flags (<code>fmShareDenyWrite</code>...) may be added with <code>or</code> and "
    "are not enforced. Relative names start in the server's current folder. The file is closed "
    "when the stream is freed.",
    {"Create": "Opens or creates the file <code>FileName</code> in the mode "
               "<code>Mode</code>.",
     "FileName": "The name the stream was opened with."},
    OBJECT_ERRORS + " A file that cannot be opened or created stops the script with "
    "&quot;Cannot open file&quot; or &quot;Cannot create file&quot; and the reason.",
    """var f: TFileStream; line: string;
begin
  f := TFileStream.Create('example.txt', fmCreate);
  f.WriteBuffer('first line', 10);
  f.Free;
  f := TFileStream.Create('example.txt', fmOpenRead);
  f.Read(line, f.Size);
  echo(line);
  f.Free;
end.""")

WINDOWS_DOES = (
    "A class of desktop programs, declared so that scripts written for them compile. A server "
    "script has no windows: creating an object of this class stops the script with &quot;There "
    "are no windows in a server script&quot;.")

WINDOWS_ERRORS = "Every constructor of the class is a run-time error."

WINDOWS_EXAMPLE = """begin
  try
    TForm.Create(nil).Show;
  except
    echo(ExceptionParam);
  end;
end."""
