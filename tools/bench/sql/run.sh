#!/usr/bin/env bash
# A page that reads 100 rows from SQLite and prints them, on qorsv against the same page in PHP
# with PDO SQLite on nginx with php-fpm, in the same run.
#
#   QORSV_BUILD=<release build dir> tools/bench/sql/run.sh
#
# Both pages read the same database file. wrk sends a new connection per request
# ("Connection: close") in rounds whose order alternates; the script prints the mean requests per
# second, the mean 99th percentile latency and
# the ratio qorsv / PHP (target: 1.0 or more). Exit status 1 when a server fails to start or
# answers wrongly; a missed target is reported, not failed. Then page_bench splits one run of
# the block into the script runner's stages.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${QORSV_BUILD:?"set QORSV_BUILD to a release build directory"}
build=$(cd "$build" && pwd)
source "$here/../pages/web_bench_lib.sh"
bench_require wrk nginx curl python3
if ! php -r 'exit(in_array("sqlite", PDO::getAvailableDrivers()) ? 0 : 1);' 2>/dev/null; then
  echo "PDO SQLite is missing (apt-get install php-sqlite3)" >&2
  exit 1
fi

cmake --build "$build" --target qorsv runtime_files page_bench >/dev/null

start_qorsv "$build"
database=$qorsv_dir/scriptdata/bench.db
python3 - "$database" <<'EOF'
import sqlite3, sys
with sqlite3.connect(sys.argv[1]) as db:
    db.execute("create table items (id integer primary key, name text, price text)")
    db.executemany("insert into items values (?, ?, ?)",
                   [(i, "item %03d" % i, "%d.%02d" % (i, i % 100)) for i in range(1, 101)])
EOF

cat >"$qorsv_dir/webpage/default/rows.html" <<'EOF'
<!DOCTYPE html>
<html>
<head><title>Items</title></head>
<body>
<table>
<%qor%>onload
var
  db: LongWord;
  i: Integer;
begin
  db := sql_getnewhandle('bench.db');
  try
    sql_gettable(db, 'select id, name, price from items order by id limit 100');
    for i := 1 to sql_getrowcount(db) do
    begin
      echoln('<tr><td>' + inttostr(sql_FieldAsInteger(db, 'id')) + '</td><td>' +
        htmlencode(sql_FieldAsString(db, 'name')) + '</td><td>' +
        sql_FieldAsString(db, 'price') + '</td></tr>');
      sql_Next(db);
    end;
  finally
    sql_destroy(db);
  end;
end.
</%qor%>
</table>
</body>
</html>
EOF
sed -i 's/$/\r/' "$qorsv_dir/webpage/default/rows.html"

mkdir -p "$bench_tmp/php"
cat >"$bench_tmp/php/rows.php" <<EOF
<!DOCTYPE html>
<html>
<head><title>Items</title></head>
<body>
<table>
<?php
\$db = new PDO('sqlite:$database');
foreach (\$db->query('select id, name, price from items order by id limit 100') as \$row) {
  echo '<tr><td>', \$row['id'], '</td><td>', htmlspecialchars(\$row['name']), '</td><td>',
    \$row['price'], "</td></tr>\r\n";
}
?>
</table>
</body>
</html>
EOF
start_php "$bench_tmp/php"

qorsv_url="http://127.0.0.1:$qorsv_port/rows.html"
php_url="http://127.0.0.1:$php_port/rows.php"
expect_body "$qorsv_url" "<tr><td>100</td><td>item 100</td><td>100.00</td></tr>"
expect_body "$php_url" "<tr><td>100</td><td>item 100</td><td>100.00</td></tr>"

echo "100 SQLite rows per page, new connection per request, $bench_connections connections, $bench_rounds rounds of ${bench_seconds} s each"
measure_pair "$qorsv_url" "$php_url"
report "qorsv (sql_ natives)" "$q_rps" "$q_p99" "PHP (PDO SQLite)" "$p_rps" "$p_p99"

echo
sed -n '/^<%qor%>/,/^<\/%qor%>/p' "$qorsv_dir/webpage/default/rows.html" | sed '1d;$d' \
  >"$bench_tmp/block.qor"
# Databases are found beside the executable: the driver runs from the program directory copy.
cp "$build/bench/page_bench" "$qorsv_dir/"
"$qorsv_dir/page_bench" "$qorsv_dir" "$bench_tmp/block.qor" 200
