-- The rows are built by chained concatenation and collected in a buffer table, joined once.
local parts = {"<table>\r\n"}
for i = 1, 20000 do
  parts[#parts + 1] = "<tr><td>" .. i .. "</td><td>item " .. (i * 7 % 1000) ..
    '</td><td class="c' .. (i % 3) .. '">' .. (i * 3) .. "</td></tr>\r\n"
end
parts[#parts + 1] = "</table>\r\n"
io.write(table.concat(parts))
