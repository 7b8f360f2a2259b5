"""End-to-end tests of SQLite through scripted pages: a page that creates, fills and lists a
table; SQL handles released at the end of every block run; many requests on one database file
at the same time."""

import os
import sqlite3
import threading
import unittest

from e2e_pages_support import crlf_page, get, post_form, status_of
from qorsv_server import Server

OPEN_DATABASE = [
    "  if not FileExists(mypath + 'scriptdata/' + getparam('db')) then",
    "    FileClose(FileCreate(mypath + 'scriptdata/' + getparam('db'), 0));",
    "  db := sql_getnewhandle(getparam('db'));",
]

ROWS_PAGE = crlf_page(
    "<%qor%>onload",
    "var",
    "  db: LongWord;",
    "  i: Integer;",
    "begin",
    *OPEN_DATABASE,
    "  if not sql_TableExists(db, 'Items') then",
    "    sql_execute(db, 'create table items (id integer, label text, price numeric)');",
    "  for i := 1 to 3 do",
    "    sql_execute(db, 'insert into items values (' + inttostr(i) + ', ''it''''s ' +",
    "      inttostr(i) + ''', ' + inttostr(i) + '.5)');",
    "  sql_gettable(db, 'select id, label, price from items order by id');",
    "  echoln('rows=' + inttostr(sql_getrowcount(db)) + ' cols=' + inttostr(sql_ColCount(db)));",
    "  for i := 1 to sql_getrowcount(db) do",
    "  begin",
    "    echoln(inttostr(sql_FieldAsInteger(db, 'ID')) + ':' + sql_FieldAsString(db, 'label') +",
    "      ':' + inttostr(sql_FieldAsInteger(db, 'price')));",
    "    sql_Next(db);",
    "  end;",
    "  try",
    "    sql_FieldAsString(db, 'label');",
    "  except",
    "    echoln('after the end: ' + ExceptionParam);",
    "  end;",
    "  echoln('open=' + inttostr(sql_freehandles));",
    "end.",
    "</%qor%>")

# Block one leaves two handles open; each block is its own run, so block two finds none.
HANDLES_PAGE = crlf_page(
    "<%qor%>onload",
    "var",
    "  db, second: LongWord;",
    "begin",
    *OPEN_DATABASE,
    "  second := sql_getnewhandle(getparam('db'));",
    "  echoln('first block open=' + inttostr(sql_freehandles));",
    "  if sql_getnewhandle('no-such-database.db') = 65535 then",
    "    echoln('missing=65535');",
    "end.",
    "</%qor%>",
    "<%qor%>onload",
    "begin",
    "  echoln('second block open=' + inttostr(sql_freehandles));",
    "end.",
    "</%qor%>")

COUNT_PAGE = crlf_page(
    "<%qor%>onload",
    "begin",
    "  echoln('open=' + inttostr(sql_freehandles));",
    "end.",
    "</%qor%>")

INSERT_PAGE = crlf_page(
    "<%qor%>onload",
    "var",
    "  db: LongWord;",
    "  n: string;",
    "begin",
    "  n := inttostr(strtoint(getparam('n')));",
    "  db := sql_getnewhandle('shared.db');",
    "  try",
    "    sql_execute(db, 'insert into entries (n, who) values (' + n + ', ''request ' + n + ''')');",
    "    sql_gettable(db, 'select count(*) as c from entries where n = ' + n);",
    "    echoln('stored ' + n + ' count=' + inttostr(sql_FieldAsInteger(db, 'c')));",
    "  finally",
    "    sql_destroy(db);",
    "  end;",
    "end.",
    "</%qor%>")


class SqlPagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server()
        for name, content in [("rows.html", ROWS_PAGE), ("handles.html", HANDLES_PAGE),
                              ("count.html", COUNT_PAGE), ("insert.html", INSERT_PAGE)]:
            cls.server.write("webpage/default/" + name, content)
        with sqlite3.connect(cls.server.path("scriptdata/shared.db")) as db:
            db.execute("create table entries (n integer, who text)")
        cls.server.start()

    @classmethod
    def tearDownClass(cls):
        cls.server.remove()

    def lines(self, document):
        head, body = get(self.server, document)
        self.assertEqual(status_of(head), 200, head)
        return body.decode("latin-1").split("\r\n")

    def test_page_creates_table_inserts_and_lists_rows(self):
        self.assertEqual(self.lines("/rows.html?db=items.db")[:7], [
            "rows=3 cols=3",
            "1:it's 1:1",
            "2:it's 2:2",
            "3:it's 3:3",
            "after the end: Table is at End of File",
            "open=1",
            "",
        ])
        # The table exists now: a second run only adds rows.
        self.assertEqual(self.lines("/rows.html?db=items.db")[0], "rows=6 cols=3")
        with sqlite3.connect(self.server.path("scriptdata/items.db")) as db:
            self.assertEqual(db.execute("select count(*) from items").fetchone()[0], 6)

    def test_handles_are_released_at_the_end_of_every_run(self):
        body = self.lines("/handles.html?db=handles.db")
        self.assertEqual(body[:3], ["first block open=2", "missing=65535", ""])
        self.assertIn("second block open=0", body)
        self.assertFalse(os.path.exists(self.server.path("no-such-database.db")))
        self.assertFalse(os.path.exists(self.server.path("scriptdata/no-such-database.db")))
        self.lines("/rows.html?db=released.db")
        self.assertEqual(self.lines("/count.html")[0], "open=0")

    def test_concurrent_requests_on_one_database_all_store_their_rows(self):
        requests = 20
        answers = {}

        def insert(n):
            head, body = post_form(self.server, "/insert.html", {"n": str(n)})
            answers[n] = (status_of(head), body.decode("latin-1"))

        threads = [threading.Thread(target=insert, args=(n,)) for n in range(1, requests + 1)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(60)
        for n in range(1, requests + 1):
            with self.subTest(n=n):
                status, body = answers.get(n, (None, ""))
                self.assertEqual(status, 200)
                self.assertEqual(body.split("\r\n")[0], f"stored {n} count=1")
        with sqlite3.connect(self.server.path("scriptdata/shared.db")) as db:
            stored = sorted(row[0] for row in db.execute("select n from entries"))
        self.assertEqual(stored, list(range(1, requests + 1)))
        self.assertEqual(self.lines("/count.html")[0], "open=0")


if __name__ == "__main__":
    unittest.main()
