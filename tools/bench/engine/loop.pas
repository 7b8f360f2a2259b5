var
  i, s: Integer;
begin
  s := 0;
  for i := 1 to 20000000 do
    s := (s + i * 7) mod 1000003;
  print(IntToStr(s));
end.
