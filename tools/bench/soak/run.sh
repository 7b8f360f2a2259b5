#!/usr/bin/env bash
# The full soak: one million mixed requests at 50 connections against one qorsv, every answer
# checked, resident memory, threads and descriptors sampled every 5 s, printed as a table and
# plotted to $QORSV_BUILD/bench/soak.png (see soak.py for what it checks); then bounds.py, the
# bounds of large uploads and of the console's views at full load.
#
#   QORSV_BUILD=<release build dir> tools/bench/soak/run.sh
#
# SOAK_REQUESTS (default 1000000) and SOAK_CONNECTIONS (default 50) change the load. Exit status
# 1 when the soak fails.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${QORSV_BUILD:?"set QORSV_BUILD to a release build directory"}
build=$(cd "$build" && pwd)
cmake --build "$build" --target qorsv runtime_files soak_load >/dev/null
python3 "$here/soak.py" --build "$build" --requests "${SOAK_REQUESTS:-1000000}" \
  --connections "${SOAK_CONNECTIONS:-50}"
# What the mix does not reach: ten 50 MB uploads at once, showlog at full load with slow pages.
exec python3 "$here/bounds.py" --build "$build" --connections "${SOAK_CONNECTIONS:-50}"
