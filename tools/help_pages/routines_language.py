# Help texts of the routines for variants, exceptions, arrays, ordinal values and sets, and the routines the server calls.

from routine_table import NO_ERRORS, routine  # noqa: F401


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
