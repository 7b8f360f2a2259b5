#!/usr/bin/env bash
# Times the script engine against Lua 5.4 on the same programs, in the same run, as whole
# processes: qorscript (which runs a file as the server runs a page block: prelude, compilation
# and all) against lua5.4, start-up included. Then the compilation of a large page prelude.
#
#   QORSV_BUILD=<release build dir> tools/bench/engine/run.sh
#
# Settings from the environment: BENCH_ROUNDS (default 3) rounds, each timing both programs with
# hyperfine, BENCH_RUNS (default 10) runs each; the order of the two turns every round, so that
# a machine getting busier or quieter favours neither. The table shows the median times and the
# median of the rounds' ratios (engine time / Lua time), and the geometric mean of the ratios.
# Targets: every ratio at or below 0.8, the geometric mean at or below 0.6; the TStringList case
# (the class library against a Lua table) at or below 1.0. The outputs of the
# two versions of a program must agree. Exit status 1 when a program fails or the outputs
# differ; a missed target is reported, not failed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${QORSV_BUILD:?"set QORSV_BUILD to a release build directory"}
build=$(cd "$build" && pwd)
rounds=${BENCH_ROUNDS:-3}
runs=${BENCH_RUNS:-10}
qorscript=$build/run/qorscript
bench=$build/bench/engine_bench

for tool in hyperfine lua5.4 python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed (apt-get install hyperfine lua5.4 python3)" >&2
    exit 1
  fi
done
cmake --build "$build" --target qorscript runtime_files engine_bench >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The median of a hyperfine JSON result's runs, in seconds: median_of FILE INDEX.
median_of() {
  python3 -c 'import json, statistics, sys
print(statistics.median(json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]["times"]))' "$1" "$2"
}

# measure NAME: sets $engine_s, $lua_s (median seconds) and $ratio (median of the rounds'
# ratios) for NAME.qor against NAME.lua. Fails when a program fails.
measure() {
  local name=$1 round engine lua ratios="" engine_all="" lua_all=""
  for round in $(seq 1 "$rounds"); do
    local first="$qorscript $here/$name.qor" second="lua5.4 $here/$name.lua" e=0 l=1
    if [ $((round % 2)) = 0 ]; then
      first="lua5.4 $here/$name.lua" second="$qorscript $here/$name.qor" e=1 l=0
    fi
    hyperfine -N -w 2 -r "$runs" --export-json "$tmp/$name.json" "$first" "$second" \
      >/dev/null 2>"$tmp/$name.err" || { cat "$tmp/$name.err" >&2; return 1; }
    engine=$(median_of "$tmp/$name.json" "$e")
    lua=$(median_of "$tmp/$name.json" "$l")
    engine_all="$engine_all $engine"
    lua_all="$lua_all $lua"
    ratios="$ratios $(awk -v a="$engine" -v b="$lua" 'BEGIN { print a / b }')"
  done
  read -r engine_s lua_s ratio < <(python3 -c 'import statistics, sys
med = lambda s: statistics.median(float(x) for x in s.split())
print(med(sys.argv[1]), med(sys.argv[2]), med(sys.argv[3]))' "$engine_all" "$lua_all" "$ratios")
}

status=0
check_outputs() {
  local name=$1 engine_output lua_output
  engine_output=$("$qorscript" "$here/$name.qor" | md5sum) || return 1
  lua_output=$(lua5.4 "$here/$name.lua" | md5sum) || return 1
  [ "$engine_output" = "$lua_output" ]
}

echo "qorscript against lua5.4, whole processes, $rounds rounds of $runs runs"
printf '%-40s %10s %10s %7s\n' "program" "engine" "lua5.4" "ratio"
log_sum=0
count=0
# Each case: name, target ratio, label. The geometric mean covers the language cases (target
# 0.8); the TStringList case measures the class library against Lua's table, target 1.0.
for case in "fib:0.8:fib(30), recursive" "loop:0.8:20 million iterations" \
            "append:0.8:200000 appends of IntToStr(i)" "sort:0.8:insertion sort 3000 x 5" \
            "table:0.8:HTML table, 20000 rows" \
            "stringlist:1.0:TStringList: 100000 Add, Sort, IndexOf"; do
  name=${case%%:*}
  rest=${case#*:}
  target=${rest%%:*}
  label=${rest#*:}
  if ! check_outputs "$name"; then
    echo "$label: the engine failed or the outputs differ" >&2
    status=1
    continue
  fi
  measure "$name" || { status=1; continue; }
  awk -v n="$label" -v e="$engine_s" -v l="$lua_s" -v r="$ratio" -v t="$target" 'BEGIN {
    printf "%-40s %8.1fms %8.1fms %7.2f%s\n", n, e * 1000, l * 1000, r, (r > t) ? "  above target" : "" }'
  [ "$target" = 0.8 ] || continue
  log_sum=$(awk -v s="$log_sum" -v r="$ratio" 'BEGIN { print s + log(r) }')
  count=$((count + 1))
done
if [ "$count" -gt 0 ]; then
  awk -v s="$log_sum" -v n="$count" 'BEGIN {
    g = exp(s / n); printf "%-40s %29.2f%s\n", "geometric mean (the first five)", g, (g > 0.6) ? "  above target" : "" }'
fi
if check_outputs startup && measure startup; then
  awk -v e="$engine_s" -v l="$lua_s" -v r="$ratio" 'BEGIN {
    printf "%-40s %8.2fms %8.2fms %7.2f\n", "start-up (a script writing one character)", e * 1000, l * 1000, r }'
else
  echo "start-up: the engine failed" >&2
  status=1
fi

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
