# Shared by tools/bench/pages/run.sh and tools/bench/sql/run.sh (sourced, not run): starts qorsv
# from a copy of the built program directory and nginx with php-fpm from configs written into a
# temporary directory, each on a free 127.0.0.1 port and each stopped by its PID when the
# benchmark ends; measures a URL with wrk, one new connection per request.
#
# Settings from the environment: BENCH_SECONDS (default 10), BENCH_CONNECTIONS (default 16),
# BENCH_ROUNDS (default 2).

bench_seconds=${BENCH_SECONDS:-10}
bench_connections=${BENCH_CONNECTIONS:-16}
bench_rounds=${BENCH_ROUNDS:-2}
bench_tmp=$(mktemp -d)
bench_pids=()

bench_cleanup() {
  local pid
  for pid in "${bench_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${bench_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$bench_tmp"
}
trap bench_cleanup EXIT

bench_require() {
  local missing="" tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
  done
  if [ -n "$missing" ]; then
    echo "missing:$missing (apt-get install wrk nginx php-fpm php-sqlite3)" >&2
    exit 1
  fi
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for_port PORT PID: waits until PORT accepts connections; fails when PID ends first.
wait_for_port() {
  local port=$1 pid=$2 _
  for _ in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then return 1; fi
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  return 1
}

# start_qorsv BUILD_DIR: copies BUILD_DIR/run to $qorsv_dir and starts qorsv on $qorsv_port.
# With QORSV_BENCH_TEMP set to a directory (say one on /dev/shm), the program's "temp" folder
# is a link to it: the figures of a server whose temporary files live on a RAM disk.
start_qorsv() {
  local build=$1
  qorsv_dir=$bench_tmp/qorsv
  cp -a "$build/run" "$qorsv_dir"
  if [ -n "${QORSV_BENCH_TEMP:-}" ]; then
    mkdir -p "$QORSV_BENCH_TEMP"
    rm -rf "$qorsv_dir/temp"
    ln -s "$QORSV_BENCH_TEMP" "$qorsv_dir/temp"
  fi
  qorsv_port=$(free_port)
  printf '<?xml version="1.0" encoding="iso-8859-1"?>\r\n<Configuration>\r\n  <ListenPort>%s</ListenPort>\r\n  <ConsolePort>%s</ConsolePort>\r\n</Configuration>\r\n' \
    "$qorsv_port" "$(free_port)" >"$qorsv_dir/config/config.xml"
  (cd "$qorsv_dir" && exec ./qorsv) >"$bench_tmp/qorsv.out" 2>&1 </dev/null &
  qorsv_pid=$!
  bench_pids+=("$qorsv_pid")
  if ! wait_for_port "$qorsv_port" "$qorsv_pid"; then
    echo "qorsv did not start:" >&2
    cat "$bench_tmp/qorsv.out" >&2
    exit 1
  fi
}

# start_php DOCROOT: nginx on $php_port serving DOCROOT, .php files through php-fpm.
start_php() {
  local docroot=$1 fpm run_as_root="" fpm_user=""
  fpm=$(command -v php-fpm || ls /usr/sbin/php-fpm* 2>/dev/null | head -n 1)
  if [ -z "$fpm" ]; then
    echo "php-fpm is not installed (apt-get install php-fpm)" >&2
    exit 1
  fi
  if [ "$(id -u)" = 0 ]; then
    run_as_root="user root;"
    fpm_user="user = root"
  fi
  php_port=$(free_port)
  mkdir -p "$bench_tmp/nginx/logs"
  cat >"$bench_tmp/php-fpm.conf" <<EOF
[global]
pid = $bench_tmp/php-fpm.pid
error_log = $bench_tmp/php-fpm.log
daemonize = no

[bench]
$fpm_user
listen = $bench_tmp/php-fpm.sock
pm = static
pm.max_children = 8
EOF
  cat >"$bench_tmp/nginx.conf" <<EOF
daemon off;
master_process on;
worker_processes 2;
$run_as_root
pid $bench_tmp/nginx.pid;
error_log $bench_tmp/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $bench_tmp/nginx/body;
  fastcgi_temp_path $bench_tmp/nginx/fastcgi;
  proxy_temp_path $bench_tmp/nginx/proxy;
  uwsgi_temp_path $bench_tmp/nginx/uwsgi;
  scgi_temp_path $bench_tmp/nginx/scgi;
  server {
    listen 127.0.0.1:$php_port;
    root $docroot;
    location ~ \.php\$ {
      include /etc/nginx/fastcgi_params;
      fastcgi_param SCRIPT_FILENAME \$document_root\$fastcgi_script_name;
      fastcgi_pass unix:$bench_tmp/php-fpm.sock;
    }
  }
}
EOF
  "$fpm" -F -R -y "$bench_tmp/php-fpm.conf" >"$bench_tmp/php-fpm.out" 2>&1 </dev/null &
  bench_pids+=($!)
  nginx -p "$bench_tmp/nginx" -e "$bench_tmp/nginx-error.log" -c "$bench_tmp/nginx.conf" \
    >"$bench_tmp/nginx.out" 2>&1 </dev/null &
  local nginx_pid=$!
  bench_pids+=("$nginx_pid")
  if ! wait_for_port "$php_port" "$nginx_pid"; then
    echo "nginx did not start:" >&2
    cat "$bench_tmp/nginx.out" "$bench_tmp/nginx-error.log" >&2 2>/dev/null
    exit 1
  fi
  local _
  for _ in $(seq 1 100); do
    [ -S "$bench_tmp/php-fpm.sock" ] && return 0
    sleep 0.05
  done
  echo "php-fpm did not start:" >&2
  cat "$bench_tmp/php-fpm.out" "$bench_tmp/php-fpm.log" >&2 2>/dev/null
  exit 1
}

# expect_body URL TEXT: fails unless a GET of URL answers 200 with TEXT in its body.
expect_body() {
  local url=$1 text=$2 body
  body=$(curl -s -f "$url") || { echo "GET $url failed" >&2; exit 1; }
  if [[ "$body" != *"$text"* ]]; then
    echo "GET $url: the answer lacks '$text':" >&2
    echo "$body" | head -n 20 >&2
    exit 1
  fi
}

# measure URL: a short warm-up, then wrk for $bench_seconds with a new connection per request.
# Sets $rps (requests per second) and $p99 (99th percentile latency in ms); fails on errors.
measure() {
  local url=$1 out
  wrk -t 2 -c "$bench_connections" -d 2s -H "Connection: close" "$url" >/dev/null
  out=$(wrk -t 2 -c "$bench_connections" -d "${bench_seconds}s" -H "Connection: close" \
    --latency "$url")
  rps=$(awk '/^Requests\/sec:/ { printf "%.0f", $2 }' <<<"$out")
  p99=$(awk '$1 == "99%" {
      v = $2; unit = v; sub(/^[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v);
      if (unit == "us") v /= 1000; else if (unit == "s") v *= 1000; else if (unit == "m") v *= 60000;
      printf "%.2f", v }' <<<"$out")
  if grep -q "Non-2xx or 3xx responses" <<<"$out"; then
    echo "$url: some answers were not 2xx:" >&2
    echo "$out" >&2
    return 1
  fi
  if [ -z "$rps" ] || [ -z "$p99" ]; then
    echo "$url: cannot read the wrk output:" >&2
    echo "$out" >&2
    return 1
  fi
}

# measure_pair QORSV_URL PHP_URL: $bench_rounds rounds of both, the order turning each round
# (qorsv first, then PHP first, ...), so that a machine getting busier or quieter during the run
# favours neither. Sets $q_rps $q_p99 $p_rps $p_p99, the means over the rounds.
measure_pair() {
  local qorsv_url=$1 php_url=$2 round q_sum=0 q_p99_sum=0 p_sum=0 p_p99_sum=0
  for round in $(seq 1 "$bench_rounds"); do
    if [ $((round % 2)) = 1 ]; then
      measure "$qorsv_url"; q_sum=$((q_sum + rps)); q_p99_sum=$(awk -v a="$q_p99_sum" -v b="$p99" 'BEGIN { print a + b }')
      measure "$php_url"; p_sum=$((p_sum + rps)); p_p99_sum=$(awk -v a="$p_p99_sum" -v b="$p99" 'BEGIN { print a + b }')
    else
      measure "$php_url"; p_sum=$((p_sum + rps)); p_p99_sum=$(awk -v a="$p_p99_sum" -v b="$p99" 'BEGIN { print a + b }')
      measure "$qorsv_url"; q_sum=$((q_sum + rps)); q_p99_sum=$(awk -v a="$q_p99_sum" -v b="$p99" 'BEGIN { print a + b }')
    fi
  done
  q_rps=$((q_sum / bench_rounds))
  p_rps=$((p_sum / bench_rounds))
  q_p99=$(awk -v s="$q_p99_sum" -v n="$bench_rounds" 'BEGIN { printf "%.2f", s / n }')
  p_p99=$(awk -v s="$p_p99_sum" -v n="$bench_rounds" 'BEGIN { printf "%.2f", s / n }')
}

# report LABEL_QORSV RPS_Q P99_Q LABEL_PHP RPS_P P99_P: the two lines and the ratio qorsv/PHP.
report() {
  printf '%-32s %10s req/s   p99 %8s ms\n' "$1" "$2" "$3"
  printf '%-32s %10s req/s   p99 %8s ms\n' "$4" "$5" "$6"
  awk -v q="$2" -v p="$5" 'BEGIN {
    r = (p > 0) ? q / p : 0;
    printf "ratio qorsv / PHP: %.2f (target >= 1.0: %s)\n", r, (r >= 1.0) ? "met" : "MISSED" }'
}
