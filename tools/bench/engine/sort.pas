var
  a: array of Integer;
  i, j, r, v, seed: Integer;
  check: Int64;
begin
  SetLength(a, 3000);
  check := 0;
  for r := 1 to 5 do
  begin
    seed := r;
    for i := 0 to 2999 do
    begin
      seed := (seed * 75 + 74) mod 65537;
      a[i] := seed;
    end;
    for i := 1 to 2999 do
    begin
      v := a[i];
      j := i - 1;
      while (j >= 0) and (a[j] > v) do
      begin
        a[j + 1] := a[j];
        j := j - 1;
      end;
      a[j + 1] := v;
    end;
    check := check + a[0] + a[1500] + a[2999];
  end;
  print(Int64ToStr(check));
end.
