#!/usr/bin/python3
"""run_client.py -- runs an application of another language on the driver, as a
user would: through the Driver Manager, against a database of the embedded server
made for the run.

Creates a private ODBC configuration in a temporary directory (the data source
kes_client on the driver library given, nothing outside that directory touched),
an embedded server with a logged database, then runs the program with the data
source's name as its last argument and the environment pointing at the
configuration (KES_CLIENT_BUILD names the build: w or a). The program's exit
status is the check's.

Usage: run_client.py --driver LIBRARY --dbsh KESDBSH [--ansi] -- PROGRAM [ARGS...]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def set_up(args, root):
    with open(os.path.join(root, "odbcinst.ini"), "w") as f:
        f.write("[Kestrane Client]\nDriver=%s\nThreading=0\n" % args.driver)
    with open(os.path.join(root, "odbc.ini"), "w") as f:
        f.write("[ODBC Data Sources]\nkes_client=Kestrane Client\n\n"
                "[kes_client]\nDriver=Kestrane Client\nDatabase=clientdb\nInfServer=clientsrv\n")
    os.environ["ODBCSYSINI"] = root
    os.environ["ODBCINI"] = os.path.join(root, "odbc.ini")
    os.environ["KES_INFORMIX_SERVERS"] = root
    os.environ["KES_CLIENT_BUILD"] = "a" if args.ansi else "w"
    # The sanitizer runtimes the driver needs go to the program only, not to
    # the set-up tools of this script.
    quiet = dict(os.environ)
    quiet.pop("LD_PRELOAD", None)
    subprocess.run([args.dbsh, "--create-server", "clientsrv"], check=True, env=quiet)
    subprocess.run([args.dbsh, "-s", "clientsrv", "-e", "CREATE DATABASE clientdb WITH LOG"],
                   check=True, env=quiet)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--dbsh", required=True)
    parser.add_argument("--ansi", action="store_true")
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    if not program:
        parser.error("no program to run")
    root = tempfile.mkdtemp(prefix="kes_client_")
    try:
        set_up(args, root)
        return subprocess.run(program + ["kes_client"]).returncode
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
