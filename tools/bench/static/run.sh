#!/usr/bin/env bash
# Static files, qorsv against nginx in the same run: wrk with a new connection per request
# ("Connection: close"; nginx with keepalive_timeout 0) for 1 KiB, 100 KiB and 10 MiB files, on
# 127.0.0.1 free ports. Prints requests per second and p99 latency of both and their ratio
# (target: qorsv at least 0.8x nginx on every size), then qorsv's resident memory with 500 idle
# open connections (target: under 100 MB): each has sent the start of a request and stalls, so
# each holds a connection thread.
#
# QORSV_BUILD: a Release build directory holding run/ (make bench sets it).
# BENCH_SECONDS (default 10), BENCH_CONNECTIONS (default 32), BENCH_THREADS (default 2).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${QORSV_BUILD:?set QORSV_BUILD to a Release build directory}"
build="$(cd "$build" && pwd)"
seconds="${BENCH_SECONDS:-10}"
connections="${BENCH_CONNECTIONS:-32}"
threads="${BENCH_THREADS:-2}"
for tool in wrk nginx python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (make bench installs it)"; exit 1; }
done
[ -x "$build/run/qorsv" ] || { echo "no $build/run/qorsv: build it first"; exit 1; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_for_port() {
  for _ in $(seq 1 200); do
    python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$1),timeout=1)" \
      2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1"; exit 1
}

# The program directory copy and the files both servers serve.
cp -r "$build/run" "$work/qorsv"
site="$work/qorsv/webpage/default"
head -c 1024 /dev/urandom >"$site/1k.bin"
head -c $((100 * 1024)) /dev/urandom >"$site/100k.bin"
head -c $((10 * 1024 * 1024)) /dev/urandom >"$site/10m.bin"
# nginx's workers run as an unprivileged user: they must be able to read the files.
chmod -R a+rX "$work"

start_qorsv() {
  local port console
  port="$(free_port)"; console="$(free_port)"
  printf '<?xml version="1.0" encoding="iso-8859-1"?>\r\n<Configuration>\r\n  <ListenPort>%s</ListenPort>\r\n  <ConsolePort>%s</ConsolePort>\r\n</Configuration>\r\n' \
    "$port" "$console" >"$work/qorsv/config/config.xml"
  (cd "$work/qorsv" && exec ./qorsv >"$work/qorsv.out" 2>&1) &
  qorsv_pid=$!
  pids+=("$qorsv_pid")
  wait_for_port "$port"
  qorsv_port="$port"
}

stop_pid() {
  kill -TERM "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

start_qorsv
nginx_port="$(free_port)"
mkdir -p "$work/nginx"
sed -e "s|@WORK@|$work/nginx|g" -e "s|@PORT@|$nginx_port|g" -e "s|@ROOT@|$site|g" \
  "$here/nginx.conf.in" >"$work/nginx/nginx.conf"
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
pids+=("$nginx_pid")
wait_for_port "$nginx_port"

# Prints "<requests/s> <p99 in ms>" for one URL.
measure() {
  local out rps p99
  out="$(wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency -H "Connection: close" "$1")"
  if echo "$out" | grep -q "Non-2xx"; then echo "error answers from $1" >&2; echo "$out" >&2; exit 1; fi
  rps="$(echo "$out" | awk '/^Requests\/sec:/ {print $2}')"
  p99="$(echo "$out" | awk '$1 == "99%" {print $2}')"
  # wrk writes latencies as 812.00us, 3.20ms or 1.10s; convert to milliseconds.
  p99="$(echo "$p99" | awk '/us$/ {sub("us",""); print $1/1000; next} /ms$/ {sub("ms",""); print $1; next} /s$/ {sub("s",""); print $1*1000}')"
  echo "$rps $p99"
}

echo "static files, ${seconds}s per run, $connections connections, new connection per request"
printf '%-8s %14s %12s %14s %12s %9s\n' size "qorsv req/s" "qorsv p99" "nginx req/s" "nginx p99" ratio
worst=""
for file in 1k.bin 100k.bin 10m.bin; do
  wrk -t1 -c4 -d1s -H "Connection: close" "http://127.0.0.1:$qorsv_port/$file" >/dev/null
  wrk -t1 -c4 -d1s -H "Connection: close" "http://127.0.0.1:$nginx_port/$file" >/dev/null
  q="$(measure "http://127.0.0.1:$qorsv_port/$file")"
  n="$(measure "http://127.0.0.1:$nginx_port/$file")"
  read -r q_rps q_p99 <<<"$q"
  read -r n_rps n_p99 <<<"$n"
  ratio="$(awk -v q="$q_rps" -v n="$n_rps" 'BEGIN {printf "%.2f", q / n}')"
  printf '%-8s %14s %10sms %14s %10sms %8sx\n' "${file%.bin}" "$q_rps" "$q_p99" "$n_rps" "$n_p99" "$ratio"
  worst="$(awk -v w="${worst:-99}" -v r="$ratio" 'BEGIN {print (r < w) ? r : w}')"
done
echo "lowest ratio: ${worst}x (target 0.80x)"

# Memory: a fresh qorsv (the log buffer of the runs above would count otherwise) with 500 idle
# connections held open.
stop_pid "$qorsv_pid"
start_qorsv
rss_before="$(awk '/^VmRSS:/ {print $2}' "/proc/$qorsv_pid/status")"
python3 "$here/idle_connections.py" "$qorsv_port" 500 "$work/idle.ready" &
idle_pid=$!
pids+=("$idle_pid")
for _ in $(seq 1 200); do [ -e "$work/idle.ready" ] && break; sleep 0.05; done
[ -e "$work/idle.ready" ] || { echo "could not open 500 connections"; exit 1; }
sleep 1
rss_idle="$(awk '/^VmRSS:/ {print $2}' "/proc/$qorsv_pid/status")"
threads_idle="$(awk '/^Threads:/ {print $2}' "/proc/$qorsv_pid/status")"
stop_pid "$idle_pid"
printf 'qorsv VmRSS: %d KiB at rest, %d KiB (%.1f MB) with 500 idle connections (%s threads); target under 100 MB\n' \
  "$rss_before" "$rss_idle" "$(awk -v k="$rss_idle" 'BEGIN {print k / 1024}')" "$threads_idle"
