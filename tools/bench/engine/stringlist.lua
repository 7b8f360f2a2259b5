-- The TStringList benchmark's work in Lua: a table of strings, table.sort, a binary search.
local list = {}
for i = 1, 100000 do
  list[#list + 1] = tostring(i)
end
table.sort(list)

local function index_of(s)
  local low, high = 1, #list
  while low <= high do
    local middle = (low + high) // 2
    local item = list[middle]
    if item < s then
      low = middle + 1
    elseif item > s then
      high = middle - 1
    else
      return middle - 1
    end
  end
  return -1
end

local found = 0
for i = 1, 100000 do
  if index_of(tostring(i)) >= 0 then
    found = found + 1
  end
end
io.write(#list .. " " .. found .. " " .. list[1] .. " " .. list[#list])
