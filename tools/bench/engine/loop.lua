local s = 0
for i = 1, 20000000 do
  s = (s + i * 7) % 1000003
end
io.write(s)
