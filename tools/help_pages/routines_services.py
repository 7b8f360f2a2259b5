# Help texts of the routines for the network, SQL databases and mail.

from routine_table import NO_ERRORS, routine  # noqa: F401


# ---- Network -----------------------------------------------------------------------------

routine("resolveIPToName", "network",
        "The host name that a reverse name lookup finds for the IPv4 address in dotted "
        "decimal, or an empty text when none is found. A lookup may take a few seconds.",
        "None: an address that is not valid, or has no name, gives an empty text.",
        """var
  host: string;
begin
  host := resolveIPToName(myip);
  if host = '' then
    host := myip;
  echoln('You connect from ' + htmlencode(host));
end.""")

# ---- SQL databases -----------------------------------------------------------------------

SQL_HANDLE_ERRORS = ("A handle number outside 1 to 1000 (such as 65535) stops the script with "
                     "&quot;SQL handle N does not exist (1 to 1000)&quot;, a handle that is "
                     "not open with &quot;SQL handle N is not in use&quot;.")

routine("sql_getnewhandle", "sql",
        "Opens the SQLite database file <code>dbn</code> and returns a handle number from 1 "
        "to 1000, or 65535 when the file does not exist (no file is created). A name is "
        "looked for first in the folder <code>scriptdata</code> beside the server, then as it "
        "is written. Handles are released when the script block ends; "
        "<code>sql_destroy</code> releases one earlier.",
        "None: test the result against 65535.",
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  if db = 65535 then
  begin
    echoln('The database is missing');
    Exit;
  end;
  sql_destroy(db);
end.""")

routine("sql_execute", "sql",
        "Runs one SQL statement that returns no rows (CREATE, INSERT, UPDATE, DELETE). Text "
        "after the first statement is ignored.",
        "Errors that SQLite reports (a syntax error, a constraint, a busy database) are "
        "dropped silently: check the result with a query where it matters. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('guestbook.db');
  sql_execute(db, 'insert into entries (name) values (''' +
    stringreplace(getparam('name'), '''', '''''') + ''')');
  sql_destroy(db);
end.""")

routine("sql_begintransaction", "sql",
        "Starts a transaction (&quot;BEGIN TRANSACTION;&quot;): the following statements "
        "take effect together at <code>sql_commit</code>, or not at all after "
        "<code>sql_rollback</code>. A handle released with a transaction open rolls it back.",
        "A second call before the commit or rollback raises &quot;Transaction already "
        "open&quot;. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('bank.db');
  sql_begintransaction(db);
  try
    sql_execute(db, 'update accounts set amount = amount - 10 where id = 1');
    sql_execute(db, 'update accounts set amount = amount + 10 where id = 2');
    sql_commit(db);
  except
    sql_rollback(db);
  end;
  sql_destroy(db);
end.""")

routine("sql_commit", "sql",
        "Ends the transaction and keeps its changes (&quot;COMMIT;&quot;).",
        "What SQLite reports is dropped. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('log.db');
  sql_begintransaction(db);
  sql_execute(db, 'insert into hits (ip) values (''' + myip + ''')');
  sql_commit(db);
  sql_destroy(db);
end.""")

routine("sql_rollback", "sql",
        "Ends the transaction and drops its changes (&quot;ROLLBACK;&quot;).",
        "What SQLite reports is dropped. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('log.db');
  sql_begintransaction(db);
  sql_execute(db, 'delete from hits');
  sql_rollback(db);  { nothing was deleted }
  sql_destroy(db);
end.""")

routine("sql_TableExists", "sql",
        "True when the database has a table of that name, letter case ignored. The handle's "
        "loaded result is not touched.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('notes.db');
  if not sql_TableExists(db, 'notes') then
    sql_execute(db, 'create table notes (id INTEGER primary key, text TEXT)');
  sql_destroy(db);
end.""")

routine("sql_gettable", "sql",
        "Runs a query and loads its whole result into the handle, replacing the previous one; "
        "the current row is the first. Columns declared INTEGER read as integers, BOOLEAN as "
        "booleans, NUMERIC, FLOAT and DOUBLE as numbers, BLOB as blobs; every other declared "
        "type (TEXT, INT, REAL, VARCHAR) reads as text. A column without a declared type (an "
        "expression such as count(*)) takes the kind of its value in the first row.",
        "A locked database raises &quot;Could not prepare SQL statement&quot; and keeps the "
        "previous result. A query that does not prepare gives an empty result. "
        + SQL_HANDLE_ERRORS,
        """var
  db: longword;
  i: integer;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products order by name');
  for i := 1 to sql_getrowcount(db) do
  begin
    echoln(htmlencode(sql_FieldAsString(db, 'name')) + '<br>');
    sql_Next(db);
  end;
  sql_destroy(db);
end.""")

routine("sql_droptable", "sql",
        "Drops the table when <code>sql_TableExists</code> finds it; nothing otherwise.",
        "What SQLite reports is dropped. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('cache.db');
  sql_droptable(db, 'pages');
  sql_destroy(db);
end.""")

for name in ("sql_getrowcount", "sql_getcount", "sql_Count"):
    routine(name, "sql",
            "The number of rows of the result loaded by <code>sql_gettable</code>. "
            "<code>sql_getrowcount</code>, <code>sql_getcount</code> and <code>sql_Count</code> "
            "are the same.",
            SQL_HANDLE_ERRORS,
            """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select * from orders');
  echoln(inttostr(%s(db)) + ' orders');
  sql_destroy(db);
end.""" % name)

routine("sql_ColCount", "sql",
        "The number of columns of the loaded result; 0 for a result without rows.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select * from products');
  echoln(inttostr(sql_ColCount(db)) + ' columns');
  sql_destroy(db);
end.""")

routine("sql_destroy", "sql",
        "Releases the handle: an open transaction is rolled back and the database closed. "
        "Handles left open are released when the script block ends.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_destroy(db);
end.""")

routine("sql_getfieldindex", "sql",
        "The 0-based index of the column of that name in the loaded result, letter case "
        "ignored.",
        "A result without rows raises &quot;Field NAME Not found. Empty dataset&quot;; a "
        "name that is no column raises &quot;Field not found in dataset: NAME&quot;. "
        + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select id, name from products');
  echoln(inttostr(sql_getfieldindex(db, 'NAME')));  { 1 }
  sql_destroy(db);
end.""")

FIELD_ERRORS = ("When the current row is past the last one: &quot;Table is at End of "
                "File&quot;; the errors of <code>sql_getfieldindex</code> for the name; and ")

routine("sql_FieldAsString", "sql",
        "The field of the current row in the named column, as text: the text of a text "
        "column, &quot;1&quot; or &quot;0&quot; for a boolean column, an empty text for "
        "NULL.",
        FIELD_ERRORS + "for an integer, numeric or blob column &quot;Use the specific methods "
        "for integer, numeric or blob fields&quot;. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products where id = 1');
  if sql_getrowcount(db) > 0 then
    echoln(htmlencode(sql_FieldAsString(db, 'name')));
  sql_destroy(db);
end.""")

routine("sql_FieldAsInteger", "sql",
        "The field of the current row in the named column, as an integer: the value of an "
        "integer column, a numeric value truncated towards zero, 0 for NULL.",
        FIELD_ERRORS + "for a text, boolean or blob column &quot;Not an integer or numeric "
        "field&quot;. " + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select count(*) as n from products');
  echoln(inttostr(sql_FieldAsInteger(db, 'n')) + ' products');
  sql_destroy(db);
end.""")

routine("sql_FieldAsBoolean", "sql",
        "The field of the current row in a column declared BOOLEAN: true for any value other "
        "than 0, false for 0 and NULL.",
        FIELD_ERRORS + "for any other column &quot;Not a boolean field&quot;. "
        + SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('users.db');
  sql_gettable(db, 'select active from users where id = 1');
  if (sql_getrowcount(db) > 0) and sql_FieldAsBoolean(db, 'active') then
    echoln('active');
  sql_destroy(db);
end.""")

routine("sql_Next", "sql",
        "Moves to the next row and returns true; false, without moving, when the current row "
        "is already past the last one. The call that leaves the last row still returns true, "
        "so loop over <code>sql_getrowcount</code> rows rather than while "
        "<code>sql_Next</code> is true.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
  i: integer;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products');
  for i := 1 to sql_getrowcount(db) do
  begin
    echoln(sql_FieldAsString(db, 'name'));
    sql_Next(db);
  end;
  sql_destroy(db);
end.""")

routine("sql_Previous", "sql",
        "Moves to the previous row and returns true; false on the first row.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products');
  sql_Next(db);
  if sql_Previous(db) then
    echoln('back on the first row');
  sql_destroy(db);
end.""")

routine("sql_MoveFirst", "sql",
        "Makes the first row the current one; nothing for a result without rows.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('shop.db');
  sql_gettable(db, 'select name from products');
  sql_MoveLast(db);
  sql_MoveFirst(db);
  sql_destroy(db);
end.""")

routine("sql_MoveLast", "sql",
        "Makes the last row the current one; nothing for a result without rows.",
        SQL_HANDLE_ERRORS,
        """var
  db: longword;
begin
  db := sql_getnewhandle('news.db');
  sql_gettable(db, 'select title from news order by id');
  if sql_getrowcount(db) > 0 then
  begin
    sql_MoveLast(db);
    echoln('Latest: ' + htmlencode(sql_FieldAsString(db, 'title')));
  end;
  sql_destroy(db);
end.""")

routine("sql_freehandles", "sql",
        "The number of SQL handles in use in the whole server at this moment (despite its "
        "name, not the number of free ones).",
        NO_ERRORS,
        """begin
  echoln(inttostr(sql_freehandles) + ' database handles open');
end.""")

# ---- Mail --------------------------------------------------------------------------------

MAIL_SHARED = (" The mail settings belong to the whole server: what one script sets stays set "
               "for the next one, so set every field before sending, and use "
               "<code>mail_lock</code> to take turns.")

MAIL_EXAMPLE = """begin
  while mail_islocked do
    ;
  mail_lock;
  try
    mail_host('127.0.0.1');
    mail_port(25);
    mail_sender('Web shop <shop@example.com>');
    mail_sendername('Web shop');
    mail_recipients('Anna <anna@example.com>');
    mail_subject('Your order');
    mail_body('Thank you for your order.');
    mail_connect;
    try
      mail_send;
    finally
      mail_disconnect;
    end;
  finally
    mail_unlock;
  end;
end."""

for name, what in [
        ("mail_host", "Sets the name or address of the SMTP server that <code>mail_connect</code> "
                      "connects to."),
        ("mail_port", "Sets the SMTP server's port (25 at first)."),
        ("mail_userid", "Stores a user name for the SMTP server. The client never "
                        "authenticates, so it is not sent."),
        ("mail_password", "Stores a password for the SMTP server. The client never "
                          "authenticates, so it is not sent."),
        ("mail_subject", "Sets the message's subject."),
        ("mail_body", "Sets the message's text; it is split into lines at CR LF, CR or LF (a "
                      "final line break adds no empty line)."),
        ("mail_recipients", "Sets the recipients from a comma-separated list of addresses, each "
                            "an address, <code>Name &lt;address&gt;</code> or <code>address "
                            "(Name)</code>; a name in double quotes may contain commas."),
        ("mail_sender", "Sets the sender (the &quot;From&quot;, &quot;Sender&quot; and "
                        "&quot;Reply-To&quot; headers and the envelope address) from one "
                        "address, for example <code>Shop &lt;shop@example.com&gt;</code>."),
        ("mail_sendername", "Sets the display name of the &quot;Sender&quot; header, and the "
                            "server's mail agent (the &quot;X-Mailer&quot; header)."),
]:
    routine(name, "mail", what + MAIL_SHARED, "None: the setters never fail.", MAIL_EXAMPLE)

routine("mail_connect", "mail",
        "Connects to the SMTP server set by <code>mail_host</code> and <code>mail_port</code> "
        "and greets it." + MAIL_SHARED,
        "A server that cannot be reached, or that does not answer as expected, raises an error "
        "with the reason (for example &quot;Could not connect to 127.0.0.1:25: Connection "
        "refused&quot;); the client is then not connected.",
        MAIL_EXAMPLE)

routine("mail_send", "mail",
        "Sends the message to every recipient over the open connection." + MAIL_SHARED,
        "Without a connection it raises &quot;Not connected&quot;; a refused sender or "
        "recipient raises the server's reply; the connection stays open.",
        MAIL_EXAMPLE)

routine("mail_disconnect", "mail",
        "Ends the connection to the SMTP server (&quot;QUIT&quot;)." + MAIL_SHARED,
        "A network error is raised; the connection is closed all the same.",
        MAIL_EXAMPLE)

routine("mail_lock", "mail",
        "Marks the mail settings as taken, so that other scripts that test "
        "<code>mail_islocked</code> wait their turn. It blocks nobody by itself; showing the "
        "server's console window clears it.",
        NO_ERRORS, MAIL_EXAMPLE)

routine("mail_unlock", "mail",
        "Marks the mail settings as free again.",
        NO_ERRORS, MAIL_EXAMPLE)

routine("mail_islocked", "mail",
        "True while some script holds the mail settings (<code>mail_lock</code> without "
        "<code>mail_unlock</code> yet).",
        NO_ERRORS, MAIL_EXAMPLE)
