#!/usr/bin/python3
"""scroll_pyodbc.py -- a Python application asking for a scrollable cursor the only
way pyodbc can: as the connection's cursor type, before the connect
(attrs_before, which the Driver Manager holds and replays after it) or on the
open connection (set_attr). It then reads with fetchmany in several calls while
another session changes the rows:
- keyset-driven: a row updated after the cursor opened comes back with its new
  values, a deleted row is a hole whose data cannot be read (HY109), a row
  inserted later is not in the result;
- static: the result stays as it was when the statement ran.

Usage: scroll_pyodbc.py DSN (run by run_client.py).
"""

import sys

import pyodbc

SQL_ATTR_CURSOR_TYPE = 6
SQL_CURSOR_KEYSET_DRIVEN = 1
SQL_CURSOR_STATIC = 3

FAILURES = []


def equal(got, want, what):
    if got != want:
        FAILURES.append(what)
        print("FAIL: %s: got %r, want %r" % (what, got, want), flush=True)


def rows(batch):
    return [tuple(r) for r in batch]


def fill(cur, table):
    cur.execute("CREATE TABLE %s (id INTEGER PRIMARY KEY, name VARCHAR(20))" % table)
    cur.executemany("INSERT INTO %s VALUES (?, ?)" % table, [(i, "n%d" % i) for i in range(1, 11)])


def keyset(dsn, other):
    db = pyodbc.connect("DSN=" + dsn, autocommit=True,
                        attrs_before={SQL_ATTR_CURSOR_TYPE: SQL_CURSOR_KEYSET_DRIVEN})
    cur = db.cursor()
    fill(cur, "ks_py")
    cur.execute("SELECT id, name FROM ks_py ORDER BY id")
    equal(rows(cur.fetchmany(3)), [(1, "n1"), (2, "n2"), (3, "n3")], "keyset: first fetchmany")
    other.execute("UPDATE ks_py SET name = 'changed' WHERE id = 5")
    other.execute("DELETE FROM ks_py WHERE id = 7")
    other.execute("INSERT INTO ks_py VALUES (11, 'n11')")
    equal(rows(cur.fetchmany(3)), [(4, "n4"), (5, "changed"), (6, "n6")],
          "keyset: the update shows")
    state = None
    try:
        cur.fetchmany(1)
    except pyodbc.Error as e:
        state = e.args[0]
    equal(state, "HY109", "keyset: the deleted row cannot be read")
    equal(rows(cur.fetchmany(3)), [(8, "n8"), (9, "n9"), (10, "n10")], "keyset: after the hole")
    equal(rows(cur.fetchmany(3)), [], "keyset: the insert does not show")
    db.close()


def static(dsn, other):
    db = pyodbc.connect("DSN=" + dsn, autocommit=True)
    db.set_attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC)
    cur = db.cursor()
    fill(cur, "st_py")
    cur.execute("SELECT id, name FROM st_py ORDER BY id")
    equal(rows(cur.fetchmany(4)), [(i, "n%d" % i) for i in range(1, 5)], "static: first fetchmany")
    other.execute("UPDATE st_py SET name = 'changed' WHERE id = 5")
    other.execute("DELETE FROM st_py WHERE id = 6")
    equal(rows(cur.fetchmany(4)), [(i, "n%d" % i) for i in range(5, 9)],
          "static: the result as it was")
    equal(rows(cur.fetchall()), [(9, "n9"), (10, "n10")], "static: the rest")
    db.close()


def main():
    dsn = sys.argv[-1]
    other = pyodbc.connect("DSN=" + dsn, autocommit=True).cursor()
    keyset(dsn, other)
    static(dsn, other)
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("pyodbc scrollable cursors: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
