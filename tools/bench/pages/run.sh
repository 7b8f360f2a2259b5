#!/usr/bin/env bash
# Scripted pages on qorsv against the same pages in PHP on nginx with php-fpm, in the same run,
# and where the time of one page block goes.
#
#   QORSV_BUILD=<release build dir> tools/bench/pages/run.sh
#
# Two pages: about ten lines of HTML around one script block that echoes a query parameter, and
# a page whose block builds a 1,000-row HTML table in a string and writes it. wrk sends a new
# connection per request ("Connection: close") to each server in turn, in rounds whose order
# alternates; the script prints the mean requests per second, the mean 99th percentile latency
# and the ratio qorsv / PHP (target: 1.0 or more). Then page_bench splits one run of each block
# into the runner's stages.
# Exit status 1 when a server fails to start or answers wrongly; a missed target is reported,
# not failed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${QORSV_BUILD:?"set QORSV_BUILD to a release build directory"}
build=$(cd "$build" && pwd)
source "$here/web_bench_lib.sh"
bench_require wrk nginx curl python3

cmake --build "$build" --target qorsv runtime_files page_bench >/dev/null

start_qorsv "$build"
cat >"$qorsv_dir/webpage/default/bench.html" <<'EOF'
<!DOCTYPE html>
<html>
<head><title>Greeting</title></head>
<body>
<h1>Greeting</h1>
<p>
<%qor%>onload
begin
  echo('Hello, ' + htmlencode(getparam('name')) + '!');
end.
</%qor%>
</p>
<p>Served by a script.</p>
</body>
</html>
EOF
sed -i 's/$/\r/' "$qorsv_dir/webpage/default/bench.html"

cat >"$qorsv_dir/webpage/default/table.html" <<'EOF'
<!DOCTYPE html>
<html>
<head><title>Table</title></head>
<body>
<%qor%>onload
var
  i: Integer;
  s: string;
begin
  s := '<table>';
  for i := 1 to 1000 do
    s := s + '<tr><td>' + IntToStr(i) + '</td><td>item ' + IntToStr(i * 7 mod 1000) +
      '</td><td>' + IntToStr(i * 3) + '</td></tr>';
  write_html(s + '</table>', uniqueecho);
end.
</%qor%>
</body>
</html>
EOF
sed -i 's/$/\r/' "$qorsv_dir/webpage/default/table.html"

mkdir -p "$bench_tmp/php"
cat >"$bench_tmp/php/bench.php" <<'EOF'
<!DOCTYPE html>
<html>
<head><title>Greeting</title></head>
<body>
<h1>Greeting</h1>
<p>
<?php echo 'Hello, ' . htmlspecialchars($_GET['name'] ?? '') . '!'; ?>

</p>
<p>Served by a script.</p>
</body>
</html>
EOF
cat >"$bench_tmp/php/table.php" <<'EOF'
<!DOCTYPE html>
<html>
<head><title>Table</title></head>
<body>
<?php
$s = '<table>';
for ($i = 1; $i <= 1000; $i++) {
  $s .= '<tr><td>' . $i . '</td><td>item ' . ($i * 7 % 1000) . '</td><td>' . ($i * 3) . '</td></tr>';
}
echo $s . '</table>';
?>

</body>
</html>
EOF
start_php "$bench_tmp/php"

qorsv_url="http://127.0.0.1:$qorsv_port/bench.html?name=bench%3Cmark%3E"
php_url="http://127.0.0.1:$php_port/bench.php?name=bench%3Cmark%3E"
expect_body "$qorsv_url" "Hello, bench&lt;mark&gt;!"
expect_body "$php_url" "Hello, bench&lt;mark&gt;!"

qorsv_table_url="http://127.0.0.1:$qorsv_port/table.html"
php_table_url="http://127.0.0.1:$php_port/table.php"
last_row="<tr><td>1000</td><td>item 0</td><td>3000</td></tr></table>"
expect_body "$qorsv_table_url" "$last_row"
expect_body "$php_table_url" "$last_row"

echo "scripted page, new connection per request, $bench_connections connections, $bench_rounds rounds of ${bench_seconds} s each"
measure_pair "$qorsv_url" "$php_url"
report "qorsv (page block)" "$q_rps" "$q_p99" "PHP (nginx + php-fpm)" "$p_rps" "$p_p99"

echo
echo "page building a 1,000-row table in a string, same settings"
measure_pair "$qorsv_table_url" "$php_table_url"
report "qorsv (table block)" "$q_rps" "$q_p99" "PHP (nginx + php-fpm)" "$p_rps" "$p_p99"

for page in bench table; do
  echo
  echo "stages of the $page.html block:"
  sed -n '/^<%qor%>/,/^<\/%qor%>/p' "$qorsv_dir/webpage/default/$page.html" | sed '1d;$d' \
    >"$bench_tmp/$page.qor"
  "$build/bench/page_bench" "$build/run" "$bench_tmp/$page.qor" 200 "name=bench<mark>"
done
