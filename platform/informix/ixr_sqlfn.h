// ixr_sqlfn.h -- the SQL functions, aggregates and the DECIMAL collation that the
// translated statements call inside SQLite (ix_conv, ix_dadd, ix_like, ix_serial, ...).
// They are registered on every connection of a session.
// Threading: the state belongs to one session; functions run on its thread.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace ixr {

// Per-session state that some functions read or change.
struct FnState {
  // SERIAL assignment of the INSERT being run: the runtime loads `serialLast` from the
  // table's counter before the statement and stores it back afterwards when changed.
  int64_t serialLast = 0;
  bool serialChanged = false;
  int64_t serialAssigned = 0;  // value given to the last row
  int64_t lastSerial = 0;      // DBINFO('sqlca.sqlerrd1')
  int64_t lastRows = 0;        // DBINFO('sqlca.sqlerrd2')
  int64_t sessionId = 0;
  std::string user;  // USER as column defaults see it
};

// Registers everything on db; answers an SQLite code.
int registerFunctions(sqlite3* db, FnState* state);

}  // namespace ixr
