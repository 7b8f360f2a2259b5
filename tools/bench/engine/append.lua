-- Lua's own way of building a long string: a buffer table joined once (s = s .. x would copy
-- the whole string on every append).
local parts = {}
for i = 1, 200000 do
  parts[#parts + 1] = tostring(i)
end
local s = table.concat(parts)
io.write(#s)
