local a = {}
local check = 0
for r = 1, 5 do
  local seed = r
  for i = 1, 3000 do
    seed = (seed * 75 + 74) % 65537
    a[i] = seed
  end
  for i = 2, 3000 do
    local v = a[i]
    local j = i - 1
    while j >= 1 and a[j] > v do
      a[j + 1] = a[j]
      j = j - 1
    end
    a[j + 1] = v
  end
  check = check + a[1] + a[1501] + a[3000]
end
io.write(check)
