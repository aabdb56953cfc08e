#!/usr/bin/python3
"""pyodbc_e2e.py -- a Python application on the driver: Debian's pyodbc through the
Driver Manager, against a database of the embedded server made for the run.

Creates a private ODBC configuration and server in a temporary directory, runs
parameterised DML (one row at a time and as parameter arrays), fetches every
Informix type back as Python values and checks that text outside the Basic
Multilingual Plane survives the round trip (the Unicode build; an ANSI driver is
reached through the Driver Manager's UCS-2 conversion, which cannot carry it),
that integrity and data errors raise the exceptions of their class, and that the
connection's timeout ends a statement that runs past it.

Usage: pyodbc_e2e.py --driver LIBRARY --dbsh KESDBSH [--ansi]
"""

import argparse
import datetime
import decimal
import os
import shutil
import subprocess
import sys
import tempfile
import time

FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print("FAIL: " + what, flush=True)


def equal(got, want, what):
    check(got == want, "%s: got %r, want %r" % (what, got, want))


def set_up(args, root):
    """Private configuration, server and database; nothing outside root is touched."""
    with open(os.path.join(root, "odbcinst.ini"), "w") as f:
        f.write("[Kestrane Py]\nDriver=%s\nThreading=0\n" % args.driver)
    with open(os.path.join(root, "odbc.ini"), "w") as f:
        f.write("[ODBC Data Sources]\nkes_py=Kestrane Py\n\n"
                "[kes_py]\nDriver=Kestrane Py\nDatabase=pydb\nInfServer=pysrv\n")
    os.environ["ODBCSYSINI"] = root
    os.environ["ODBCINI"] = os.path.join(root, "odbc.ini")
    os.environ["KES_INFORMIX_SERVERS"] = root
    subprocess.run([args.dbsh, "--create-server", "pysrv"], check=True)
    subprocess.run([args.dbsh, "-s", "pysrv", "-e", "CREATE DATABASE pydb WITH LOG"], check=True)


COLUMNS = ("id INTEGER NOT NULL PRIMARY KEY, sr SERIAL, c CHAR(6), nc NCHAR(16), vc VARCHAR(40), "
           "nvc NVARCHAR(60), lvc LVARCHAR(4000), si SMALLINT, i INTEGER, f FLOAT, sf SMALLFLOAT, "
           "d DECIMAL(12,3), m MONEY(10,2), dt DATE, ts DATETIME YEAR TO FRACTION(5), "
           "iv INTERVAL DAY TO SECOND, tx TEXT, by BYTE")
# Many seconds of work on six copies of the system catalog.
SLOW_QUERY = ("SELECT COUNT(*) FROM systables a, systables b, systables c, systables d, "
              "systables e, systables f WHERE a.tabid + b.tabid + c.tabid + d.tabid + e.tabid "
              "+ f.tabid > 0")
INSERTED = "id, c, nc, vc, nvc, lvc, si, i, f, sf, d, m, dt, ts, iv, tx, by"


def rows(wide):
    """Rows as the application gives them; every column but the key is None once."""
    far = "\U0001F600\U00010348" if wide else "\u00e9\u4e2d"  # outside the BMP only where it can travel
    out = []
    for k in range(6):
        row = [
            k + 1,
            "c%d" % k,
            "N\u00e4he %d" % k,
            "plain %d" % k,
            "\u03a9 %s %d" % (far, k),
            ("long \u00fc " + far + " ") * (40 * k + 1),
            [-32767, 32767, 0, -1, 1, 1234][k],
            [-2147483647, 2147483647, 0, 7, -7, 100000][k],
            [0.0, -0.1, 1.5e300, 3.141592653589793, -2.5e-300, 1e-5][k],
            [0.0, 0.5, -2.25, 1024.0, 0.125, -1.0][k],
            decimal.Decimal(["0.000", "-123456789.123", "999999999.999", "0.001", "-0.500", "42.000"][k]),
            decimal.Decimal(["0.00", "-123456.78", "99999999.99", "0.01", "-0.50", "12345.00"][k]),
            [datetime.date(2024, 2, 29), datetime.date(1, 1, 1), datetime.date(9999, 12, 31),
             datetime.date(1899, 12, 31), datetime.date(1970, 1, 1), datetime.date(2000, 3, 1)][k],
            [datetime.datetime(2024, 2, 29, 23, 59, 58), datetime.datetime(1, 1, 1, 0, 0, 0, 123000),
             datetime.datetime(9999, 12, 31, 23, 59, 59, 999000), datetime.datetime(1970, 1, 1, 0, 0, 0, 1000),
             datetime.datetime(2000, 2, 29, 12, 30), datetime.datetime(1899, 12, 31, 1, 2, 3)][k],
            ["0 00:00:00", "-5 03:04:05", "99 23:59:59", "1 00:00:01", "-1 12:00:00", "42 01:01:01"][k],
            "text \u00df " + far + " " + "x" * (300 * k),
            bytes((n * 7 + k) & 0xFF for n in range(97 * k + 3)),
        ]
        row[1 + k] = None
        row[7 + k] = None
        row[12 + k % 5] = None
        out.append(row)
    return out


def expected(row):
    """What the application reads back: the row with its SERIAL value after the key."""
    want = list(row)
    want.insert(1, row[0])  # the SERIAL column numbers the rows in insertion order
    return want


def fast_typed(cn):
    """An array insert that binds by the described types: fast_executemany sends
    each value as what SQLDescribeParam says its column is, so numbers and dates
    must be described as numbers and dates, not as text."""
    cur = cn.cursor()
    cur.execute("CREATE TABLE fx (n INTEGER, amount DECIMAL(10,2), born DATE, name VARCHAR(30))")
    data = [(k, decimal.Decimal(k * 7 % 100000) / 100, datetime.date(1990, 1, 1) +
             datetime.timedelta(days=k % 9000), "name %d" % k) for k in range(10000)]
    cur.fast_executemany = True
    cur.executemany("INSERT INTO fx VALUES (?, ?, ?, ?)", data)
    cur.fast_executemany = False
    cur.execute("SELECT n, amount, born, name FROM fx ORDER BY n")
    got = [tuple(r) for r in cur.fetchall()]
    equal(len(got), len(data), "rows of the typed array insert")
    bad = [(g, d) for g, d in zip(got, data) if g != d]
    equal(bad[:3], [], "typed array insert read back")
    cur.execute("SELECT n FROM fx WHERE amount = ? AND born = ?", data[123][1], data[123][2])
    equal([r[0] for r in cur.fetchall()], [123], "row found by decimal and date parameters")


def fast_update_with_literal(cn):
    """fast_executemany over an UPDATE that holds a TEXT literal: the driver sends the
    literal as a parameter of its own, which must not shift the descriptions pyodbc
    sizes and binds the application's values by."""
    cur = cn.cursor()
    cur.execute("CREATE TABLE fu (id INTEGER, tx TEXT, sm SMALLINT, name VARCHAR(40), born DATE)")
    for k in range(1, 4):
        cur.execute("INSERT INTO fu (id) VALUES (?)", k)
    data = [(10 * k, "a rather long name %d" % k, datetime.date(2000 + k, k, k), k)
            for k in range(1, 4)]
    cur.fast_executemany = True
    cur.executemany("UPDATE fu SET tx = 'note', sm = ?, name = ?, born = ? WHERE id = ?", data)
    cur.fast_executemany = False
    cur.execute("SELECT tx, sm, name, born, id FROM fu ORDER BY id")
    equal([tuple(r) for r in cur.fetchall()], [("note",) + d for d in data],
          "rows of the array update with a TEXT literal")


def like_pattern_piece(cn):
    """A LIKE pattern built around a bound piece matches by the whole piece, however
    short the literals beside its marker."""
    cur = cn.cursor()
    cur.execute("CREATE TABLE lk (t VARCHAR(20))")
    for t in ("foobar", "boat", "obama", "xyz"):
        cur.execute("INSERT INTO lk VALUES (?)", t)
    cur.execute("SELECT t FROM lk WHERE t LIKE '%' || ? || '%' ORDER BY t", "oba")
    equal([r[0] for r in cur.fetchall()], ["foobar", "obama"], "rows matching a bound LIKE piece")
    cur.execute("SELECT 'a' || ? FROM lk WHERE t = 'xyz'", "xyz")
    equal(cur.fetchone()[0], "axyz", "a literal joined to a bound value")


def run(args):
    import pyodbc

    cn = pyodbc.connect("DSN=kes_py", autocommit=True)
    cur = cn.cursor()
    cur.execute("CREATE TABLE t (%s)" % COLUMNS)
    data = rows(not args.ansi)
    marks = ", ".join("?" * len(data[0]))
    insert = "INSERT INTO t (%s) VALUES (%s)" % (INSERTED, marks)

    # One row at a time, then the rest as one parameter array.
    cur.execute(insert, *data[0])
    equal(cur.rowcount, 1, "rowcount of one insert")
    cur.fast_executemany = True
    # An array holds each value at the size declared for it; TEXT and BYTE are
    # described as up to 2 GB, so the application names what it needs.
    sizes = [None] * len(data[0])
    sizes[15] = (pyodbc.SQL_WLONGVARCHAR, 8000, 0)
    sizes[16] = (pyodbc.SQL_LONGVARBINARY, 1000, 0)
    cur.setinputsizes(sizes)
    cur.executemany(insert, data[1:])
    cur.fast_executemany = False

    cur.execute("SELECT * FROM t ORDER BY id")
    names = [d[0] for d in cur.description]
    got = [list(r) for r in cur.fetchall()]
    equal(len(got), len(data), "rows read back")
    for k, (g, row) in enumerate(zip(got, data)):
        for name, a, b in zip(names, g, expected(row)):
            if name in ("c", "nc") and isinstance(a, str):
                a = a.rstrip()  # fixed-width text may come back padded to its width
            equal(a, b, "row %d column %s" % (k, name))

    # Parameters in a WHERE clause, text outside the BMP among them.
    target = data[2][4]
    cur.execute("SELECT id FROM t WHERE nvc = ?", target)
    equal([r[0] for r in cur.fetchall()], [3], "row found by its wide text")
    cur.execute("UPDATE t SET vc = ?, f = ? WHERE id > ?", "changed", 2.5, 3)
    equal(cur.rowcount, 3, "rowcount of an update")
    cur.execute("SELECT vc, f FROM t WHERE id > ? ORDER BY id", 3)
    equal([tuple(r) for r in cur.fetchall()], [("changed", 2.5)] * 3, "updated values")
    cur.execute("DELETE FROM t WHERE id IN (?, ?)", 1, 2)
    equal(cur.rowcount, 2, "rowcount of a delete")
    cur.execute("SELECT COUNT(*) FROM t")
    equal(cur.fetchone()[0], 4, "rows left")

    # Transactions: a rolled back insert leaves nothing behind.
    cn.autocommit = False
    cur.execute(insert, *([99] + [None] * (len(data[0]) - 1)))
    cn.rollback()
    cn.autocommit = True
    cur.execute("SELECT COUNT(*) FROM t WHERE id = 99")
    equal(cur.fetchone()[0], 0, "rolled back row")

    # A refused statement is an exception carrying the server's code.
    try:
        cur.execute("SELECT * FROM no_such_table")
        check(False, "a missing table raises")
    except pyodbc.Error as e:
        equal(e.args[0], "42S02", "SQLSTATE of a missing table")
        check("(-206)" in e.args[1], "message names the server code: " + e.args[1])
    # Integrity and data errors raise the exceptions of their class.
    for sql, params, kind, state in (
            ("INSERT INTO t (id) VALUES (?)", (3,), pyodbc.IntegrityError, "23000"),
            ("INSERT INTO t (id) VALUES (NULL)", (), pyodbc.IntegrityError, "23000"),
            ("INSERT INTO t (id, si) VALUES (100, 'many')", (), pyodbc.DataError, "22018"),
            # pyodbc sends '' as text: the INTEGER marker refuses it instead of storing NULL.
            ("INSERT INTO t (id, i) VALUES (101, ?)", ('',), pyodbc.DataError, "22018"),
            ("UPDATE t SET d = 1 / 0 WHERE id = ?", (3,), pyodbc.DataError, "22012")):
        try:
            cur.execute(sql, *params)
            check(False, "%s raises" % sql)
        except pyodbc.Error as e:
            check(isinstance(e, kind), "%s raises %s, not %s" % (sql, kind.__name__, type(e).__name__))
            equal(e.args[0], state, "SQLSTATE of " + sql)
    cur.execute("SELECT COUNT(*) FROM t WHERE id = 101")
    equal(cur.fetchone()[0], 0, "no row stored for a refused ''")
    # An UPDATE that finds no row is no error: its count is 0.
    cur.execute("UPDATE t SET vc = 'none' WHERE id < 0")
    equal(cur.rowcount, 0, "rowcount of an update that found nothing")
    # The connection timeout is kept (the embedded server has no network).
    cn.timeout = 5
    equal(cn.timeout, 5, "connection timeout")
    # pyodbc gives the cursors it makes from now on the connection's timeout as their
    # query timeout: a statement that would run for many seconds ends after one.
    cn.timeout = 1
    slow = cn.cursor()
    started = time.monotonic()
    try:
        slow.execute(SLOW_QUERY)
        slow.fetchone()
        check(False, "a statement past its query timeout raises")
    except pyodbc.Error as e:
        equal(e.args[0], "HYT00", "SQLSTATE of a statement past its query timeout")
    elapsed = time.monotonic() - started
    check(elapsed < 8, "the query timeout ended the statement (%.1f s)" % elapsed)
    slow.close()
    cn.timeout = 0
    fast_typed(cn)
    fast_update_with_literal(cn)
    like_pattern_piece(cn)
    cn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--dbsh", required=True)
    parser.add_argument("--ansi", action="store_true")
    args = parser.parse_args()
    root = tempfile.mkdtemp(prefix="kes_pyodbc_")
    try:
        set_up(args, root)
        run(args)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("pyodbc end-to-end: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
