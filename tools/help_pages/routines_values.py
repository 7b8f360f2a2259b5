# Help texts of the routines for number conversions, strings, arithmetic, date and time.

from routine_table import NO_ERRORS, routine  # noqa: F401


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
