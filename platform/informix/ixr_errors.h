// ixr_errors.h -- Informix error codes inside the embedded server: the error record
// that travels from where a fault is found to the communication area, the message
// table, and the mapping of SQLite failures onto Informix codes.
// Threading: the message table is constant.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace ixr {

struct IxError {
  int32_t code = 0;  // Informix code, 0 for none
  int32_t isam = 0;  // ISAM code or 0
  std::string name;  // object name for sqlerrm

  explicit operator bool() const { return code != 0; }
};

inline IxError ixErr(int32_t code, std::string name = {}, int32_t isam = 0) {
  IxError e;
  e.code = code;
  e.isam = isam;
  e.name = std::move(name);
  return e;
}

// The message format of a code, or nullptr.
const char* errorFormat(int32_t code);

// What the failing statement was doing, for the choice of lock and constraint codes.
enum class Op { Read, Insert, Update, Delete, Other };

// Turns a failed SQLite call on db into an Informix error. SQL functions of the
// server report their own codes through messages "ixr:<code>:<name>".
IxError fromSqlite(sqlite3* db, int rc, Op op, bool lockTimedOut);

// A damaged database file under a statement doing op (db: the database's name).
IxError damaged(Op op, const std::string& db = {});
// rc says the file is damaged or no database.
bool isDamage(int rc);

// Message text that an SQL function raises for code (see fromSqlite).
std::string functionError(int32_t code, const std::string& name = {});

// What the write guard of a table held by an in-doubt global transaction branch raises
// after "ixr:": fromSqlite turns it into the lock error of the failing statement.
inline constexpr const char* kLockedByBranch = "branch-lock";

}  // namespace ixr
