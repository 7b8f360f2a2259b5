#!/usr/bin/env bash
# Times the script engine against Lua 5.4 on the same four programs, in the same run, and the
# compilation of a large page prelude.
#
#   QORSV_BUILD=<release build dir> tools/bench/engine/run.sh
#
# Each program runs three times in each language; the best wall time counts. The ratio is
# engine time / Lua time: 1.0 or less is the target, above 2 is a defect. The outputs of the two
# versions of a program must agree. Exit status 1 when a program fails or the outputs differ.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${QORSV_BUILD:?"set QORSV_BUILD to a release build directory"}
bench=$build/bench/engine_bench

if [ ! -x "$bench" ]; then
  cmake --build "$build" --target engine_bench >/dev/null
fi
if ! command -v lua5.4 >/dev/null; then
  echo "lua5.4 is not installed (apt-get install lua5.4)" >&2
  exit 1
fi

# best_time CMD...: sets $best_seconds to the best wall time of three runs and $last_output to
# the output of the last run. Fails when the command fails.
best_time() {
  local best="" start end elapsed
  for _ in 1 2 3; do
    start=$(date +%s%N)
    last_output=$("$@") || return 1
    end=$(date +%s%N)
    elapsed=$(( end - start ))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  best_seconds=$(awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }')
}

status=0
printf '%-34s %9s %9s %7s\n' "program" "engine" "lua5.4" "ratio"
for case in "fib:fib(30), recursive" "loop:20 million iterations" \
            "strings:200000 string appends" "sort:insertion sort 3000 x 5"; do
  name=${case%%:*}
  label=${case#*:}
  if ! best_time "$bench" run "$here/$name.pas"; then
    echo "$label: the engine failed" >&2
    status=1
    continue
  fi
  engine_time=$best_seconds
  engine_output=$last_output
  best_time lua5.4 "$here/$name.lua"
  lua_time=$best_seconds
  lua_output=$last_output
  verdict=$(awk -v e="$engine_time" -v l="$lua_time" 'BEGIN {
    r = (l > 0) ? e / l : 0;
    printf "%7.2f", r;
    if (r > 2) printf "  DEFECT (above 2)"; else if (r > 1) printf "  above target";
  }')
  printf '%-34s %8ss %8ss %s\n' "$label" "$engine_time" "$lua_time" "$verdict"
  if [ "$engine_output" != "$lua_output" ]; then
    echo "  outputs differ: engine '$engine_output', lua '$lua_output'" >&2
    status=1
  fi
done

echo
if prelude_output=$("$bench" prelude 65000 "$here/ext.qor"); then
  echo "$prelude_output"
  awk '{ for (i = 1; i <= NF; i++) { if ($i == "total") t = $(i + 1); if ($i == "memory") m = $(i + 1) } }
       END {
         v = (t + 0 < 0.3 && m + 0 < 200) ? "met" : "MISSED";
         printf "prelude targets (under 0.3 s, under 200 MB): %s\n", v
       }' <<< "$prelude_output"
else
  echo "prelude benchmark failed" >&2
  status=1
fi
exit $status
