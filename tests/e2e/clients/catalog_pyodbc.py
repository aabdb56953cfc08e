#!/usr/bin/python3
"""catalog_pyodbc.py -- the catalog of a database as a Python application reads it:
Debian's pyodbc through the Driver Manager on one driver library, against a
database of the embedded server made for the run.

Checks tables(), columns(), primaryKeys(), foreignKeys(), statistics(),
getTypeInfo(), procedures() and procedureColumns(), that a datetime with
microseconds inserted into a DATETIME YEAR TO FRACTION(5) column keeps its five
fraction digits (pyodbc sizes datetime parameters from SQLGetTypeInfo), and that
stored procedures called through {call} take their arguments and return their rows,
or their raised exception with its SQLSTATE and native code.

Usage: catalog_pyodbc.py --driver LIBRARY --dbsh KESDBSH
"""

import argparse
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

FAILURES = []


def equal(got, want, what):
    if got != want:
        FAILURES.append(what)
        print("FAIL: %s: got %r, want %r" % (what, got, want), flush=True)


SCHEMA = [
    "CREATE TABLE cat_parent (k1 INTEGER NOT NULL, k2 CHAR(4) NOT NULL, note VARCHAR(30), "
    "PRIMARY KEY (k1, k2))",
    "CREATE TABLE cat_child (id SERIAL, pk1 INTEGER, pk2 CHAR(4), at DATETIME YEAR TO FRACTION(5), "
    "FOREIGN KEY (pk1, pk2) REFERENCES cat_parent CONSTRAINT cat_child_fk)",
    "CREATE UNIQUE INDEX cat_child_at ON cat_child (at)",
    "CREATE PROCEDURE cat_twice(n INTEGER) RETURNING INTEGER; RETURN n * 2; END PROCEDURE",
    # Labels the parent keys against a range: one row per RETURN WITH RESUME.
    "CREATE PROCEDURE cat_sized(lo INTEGER, hi INTEGER) RETURNING INTEGER, VARCHAR(10);\n"
    "  DEFINE n INTEGER; DEFINE label VARCHAR(10);\n"
    "  FOREACH SELECT k1 INTO n FROM cat_parent ORDER BY k1\n"
    "    IF n < lo THEN LET label = 'small'; ELIF n > hi THEN LET label = 'big';\n"
    "    ELSE LET label = 'mid'; END IF;\n"
    "    RETURN n, label WITH RESUME;\n"
    "  END FOREACH;\n"
    "END PROCEDURE",
    # Names beyond ASCII: UTF-8 in the catalog, UTF-16 or UTF-8 in the results.
    "CREATE TABLE cat_café (nœud VARCHAR(10))",
    "CREATE PROCEDURE cat_père(âge INTEGER) RETURNING INTEGER; RETURN âge; END PROCEDURE",
    "CREATE PROCEDURE cat_refuse(n INTEGER) IF n > 0 THEN RAISE EXCEPTION -746, 0, 'refused'; "
    "END IF; END PROCEDURE",
]


def set_up(args, root):
    """Private configuration, server and database; nothing outside root is touched."""
    with open(os.path.join(root, "odbcinst.ini"), "w") as f:
        f.write("[Kestrane Cat]\nDriver=%s\nThreading=0\n" % args.driver)
    with open(os.path.join(root, "odbc.ini"), "w") as f:
        f.write("[ODBC Data Sources]\nkes_cat=Kestrane Cat\n\n"
                "[kes_cat]\nDriver=Kestrane Cat\nDatabase=catdb\nInfServer=catsrv\n")
    os.environ["ODBCSYSINI"] = root
    os.environ["ODBCINI"] = os.path.join(root, "odbc.ini")
    os.environ["KES_INFORMIX_SERVERS"] = root
    subprocess.run([args.dbsh, "--create-server", "catsrv"], check=True)
    subprocess.run([args.dbsh, "-s", "catsrv", "-e", "CREATE DATABASE catdb WITH LOG"], check=True)
    subprocess.run([args.dbsh, "-s", "catsrv", "-d", "catdb"] + sum((["-e", s] for s in SCHEMA), []),
                   check=True)


def run():
    import pyodbc

    cn = pyodbc.connect("DSN=kes_cat", autocommit=True)
    cur = cn.cursor()

    equal([r.table_name for r in cur.tables(table="cat%", tableType="TABLE")],
          ["cat_café", "cat_child", "cat_parent"], "tables()")
    equal([r.table_type for r in cur.tables(table="systables")], ["SYSTEM TABLE"],
          "tables() of a system table")
    cols = list(cur.columns(table="cat_parent"))
    equal([(c.column_name, c.type_name, c.column_size, c.nullable) for c in cols],
          [("k1", "INTEGER", 10, 0), ("k2", "CHAR", 4, 0), ("note", "VARCHAR", 30, 1)],
          "columns()")
    equal([(r.column_name, r.key_seq) for r in cur.primaryKeys("cat_parent")],
          [("k1", 1), ("k2", 2)], "primaryKeys()")
    equal([(r.pkcolumn_name, r.fkcolumn_name, r.key_seq, r.fk_name)
           for r in cur.foreignKeys(table="cat_parent")],
          [("k1", "pk1", 1, "cat_child_fk"), ("k2", "pk2", 2, "cat_child_fk")], "foreignKeys()")
    equal([(r.index_name, r.column_name, r.non_unique)
           for r in cur.statistics("cat_child", unique=True)],
          [("cat_child_at", "at", 0)], "statistics()")
    info = {r.type_name: r.column_size for r in cur.getTypeInfo(pyodbc.SQL_TYPE_TIMESTAMP)}
    equal(info, {"DATETIME YEAR TO FRACTION(5)": 25}, "getTypeInfo(SQL_TYPE_TIMESTAMP)")
    equal(len(list(cur.getTypeInfo())) >= 15, True, "getTypeInfo() lists the types")
    equal([(r.procedure_name, r.num_input_params) for r in cur.procedures("cat%")],
          [("cat_père", 1), ("cat_refuse", 1), ("cat_sized", 2), ("cat_twice", 1)],
          "procedures()")
    equal([(r.column_name, r.column_type, r.data_type)
           for r in cur.procedureColumns(procedure="cat_twice")],
          [("n", pyodbc.SQL_PARAM_INPUT, pyodbc.SQL_INTEGER),
           ("RETURN VALUE", pyodbc.SQL_RETURN_VALUE, pyodbc.SQL_INTEGER)], "procedureColumns()")

    equal([(c.table_name, c.column_name) for c in cur.columns(table="cat_caf_")],
          [("cat_café", "nœud")], "columns() of names beyond ASCII")
    equal([r.column_name for r in cur.procedureColumns(procedure="cat_père")],
          ["âge", "RETURN VALUE"], "procedureColumns() of names beyond ASCII")

    # The fraction survives to its fifth digit, in a lone execute and in an array.
    stamp = datetime.datetime(2024, 2, 29, 23, 59, 58, 123456)
    cur.execute("INSERT INTO cat_parent VALUES (1, 'a', 'x')")
    cur.execute("INSERT INTO cat_child (pk1, pk2, at) VALUES (?, ?, ?)", 1, "a", stamp)
    cur.fast_executemany = True
    cur.executemany("INSERT INTO cat_child (pk1, pk2, at) VALUES (?, ?, ?)",
                    [(1, "a", stamp + datetime.timedelta(seconds=1))])
    cur.execute("SELECT at FROM cat_child ORDER BY id")
    equal([r.at for r in cur.fetchall()],
          [stamp.replace(microsecond=123450), (stamp + datetime.timedelta(seconds=1)).replace(
              microsecond=123450)], "datetime with microseconds read back")

    calls(cur)
    cn.close()


def calls(cur):
    """Stored procedures through the call escape, with their arguments as parameters."""
    import pyodbc

    cur.execute("INSERT INTO cat_parent VALUES (5, 'b', 'y')")
    cur.execute("INSERT INTO cat_parent VALUES (12, 'c', 'z')")
    cur.execute("{call cat_sized(?, ?)}", 2, 10)
    equal([tuple(r) for r in cur.fetchall()], [(1, "small"), (5, "mid"), (12, "big")],
          "{call} rows of RETURN WITH RESUME")
    equal(cur.execute("{call cat_twice(?)}", 21).fetchval(), 42, "{call} of a function")
    try:
        cur.execute("{call cat_refuse(?)}", 1)
        equal("no error", "an error", "{call} of a procedure raising an exception")
    except pyodbc.Error as e:
        equal((e.args[0], "(-746)" in e.args[1], "refused" in e.args[1]), ("HY000", True, True),
              "raised exception: SQLSTATE, native code and text")
    cur.execute("{call cat_refuse(?)}", 0)
    equal(cur.description, None, "a procedure without RETURNING has no result")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--dbsh", required=True)
    args = parser.parse_args()
    root = tempfile.mkdtemp(prefix="kes_catpy_")
    try:
        set_up(args, root)
        run()
    finally:
        shutil.rmtree(root, ignore_errors=True)
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("pyodbc catalog: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
