var
  s: string;
  i: Integer;
begin
  s := '';
  for i := 1 to 200000 do
    s := s + 'x';
  print(IntToStr(Length(s)));
end.
