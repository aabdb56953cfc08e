#pragma once
// fuzz_driver.h -- the whole driver in a fuzzing process, as the driver library
// composes it (the core's own ODBC functions over the agent, the cursor layer and the
// XA proxy), with a private servers directory holding the server "fz" and its logged
// database "fzdb" (tables t and p, and k keyed by id with 12 rows), and a private
// odbc.ini whose data source "fz" reaches it. Nothing of it writes outside its
// temporary directory.

#include <sql.h>
#include <sqlext.h>

#include <string>

// Sets everything up once; false when it cannot (the target then does nothing).
bool FuzzDriverStart();
// The process's ODBC 3 environment.
SQLHENV FuzzEnv();
// A connection to fzdb with autocommit off, or null.
SQLHDBC FuzzConnect();
void FuzzDisconnect(SQLHDBC dbc);
