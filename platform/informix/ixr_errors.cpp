// ixr_errors.cpp -- the message table of the embedded server and the translation of
// SQLite failures into Informix codes. Every message is a format with at most one
// "%s" (filled with the communication area's sqlerrm) and ends with ".\n".
// Threading: constant data; fromSqlite reads only the failing connection.
#include "platform/informix/ixr_errors.h"

#include "platform/informix/ixr_api.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

namespace ixr {
namespace {

struct Message {
  int32_t code;
  const char* text;
};

// Sorted by code (ascending) for the binary search below.
constexpr Message kMessages[] = {
    {IXR_E_CANNOT_CONNECT, "The application cannot connect to the database server %s.\n"},
    {IXR_E_LINK_LOST, "The connection to the database server was lost.\n"},
    {IXR_E_NO_SERVER_NAME,
     "No database server was named: name one after the database (database@server) or set "
     "INFORMIXSERVER.\n"},
    {IXR_E_TOO_COMPLEX, "The statement is too complex: %s.\n"},
    {IXR_E_GLOBAL_TXN,
     "A global transaction cannot be committed or rolled back with SQL statements.\n"},
    {IXR_E_NO_CONNECTION, "Connection %s does not exist.\n"},
    {IXR_E_NOT_CURRENT, "Connection %s is not the current connection.\n"},
    {IXR_E_CONNECTION_IN_USE, "Connection name %s is already in use.\n"},
    {IXR_E_DT_OUT_OF_RANGE, "The result of a datetime computation is out of range.\n"},
    {IXR_E_DT_INCOMPATIBLE,
     "The datetime or interval values are incompatible for the operation.\n"},
    {IXR_E_DT_OVERFLOW, "A datetime or interval operation overflowed.\n"},
    {IXR_E_DT_EXTRA, "Extra characters follow the datetime or interval value.\n"},
    {IXR_E_DT_BAD_FIELD, "A field of a datetime or interval value is out of range or illegal.\n"},
    {IXR_E_DT_NON_NUMERIC, "A datetime or interval value holds a character that is not numeric.\n"},
    {IXR_E_BAD_CONVERSION, "The value cannot be converted between these types.\n"},
    {IXR_E_NO_MESSAGE, "No message exists for this error number.\n"},
    {IXR_E_DECIMAL_OVERFLOW, "The decimal or money value exceeds its precision.\n"},
    {IXR_E_BAD_DATE, "The text cannot be converted to a date.\n"},
    {IXR_E_INT_OVERFLOW, "The value exceeds the range of an INTEGER.\n"},
    {IXR_E_SMALLINT_OVERFLOW, "The value exceeds the range of a SMALLINT.\n"},
    {IXR_E_CHAR_TO_NUMBER, "A character value cannot be converted to a number.\n"},
    {IXR_E_BAD_DAY, "The day of the month in the date is invalid.\n"},
    {IXR_E_BAD_MONTH, "The month in the date is invalid.\n"},
    {IXR_E_BAD_YEAR, "The year in the date is invalid.\n"},
    {IXR_E_DIVIDE_BY_ZERO, "A division by zero was attempted.\n"},
    {IXR_E_UNSUPPORTED, "The embedded server cannot do this: %s.\n"},
    {IXR_E_BAD_USER, "User %s is not known on the database server or gave a wrong password.\n"},
    {IXR_E_NO_SERVER, "The connection to database server %s failed.\n"},
    {IXR_E_BAD_DATABASE_NAME, "Database name %s is not valid.\n"},
    {IXR_E_USER, "%s.\n"},
    {IXR_E_UNDEFINED_VARIABLE, "Variable %s has an undefined value.\n"},
    {IXR_E_REF_IN_USE, "A key of this row is still referenced by constraint %s.\n"},
    {IXR_E_REF_MISSING, "The referenced table has no row with this key (constraint %s).\n"},
    {IXR_E_NO_ROUTINE, "Routine %s was not found.\n"},
    {IXR_E_ROUTINE_EXISTS, "Routine %s already exists in the database.\n"},
    {IXR_E_BLOB_LITERAL, "A BYTE or TEXT value cannot be given as a literal here (column %s).\n"},
    {IXR_E_IN_TXN, "A transaction is already in progress.\n"},
    {IXR_E_CHECK, "Check constraint %s failed.\n"},
    {IXR_E_NOT_PREPARED, "Statement %s was not prepared or its name is not valid.\n"},
    {IXR_E_DATABASE_IN_USE, "Database %s is open in another session.\n"},
    {IXR_E_NOT_AVAILABLE, "Cursor or statement %s is not available.\n"},
    {IXR_E_CURSOR_NOT_OPEN, "Cursor %s is not open.\n"},
    {IXR_E_NOT_NULL, "A NULL cannot be inserted into column %s.\n"},
    {IXR_E_TXN_OPEN, "The transaction must end before the database is closed.\n"},
    {IXR_E_NO_DB_SELECTED, "No database is selected.\n"},
    {IXR_E_UPDATE_FAILED, "The row could not be updated in the table.\n"},
    {IXR_E_DATABASE_EXISTS, "Database %s cannot be created or dropped.\n"},
    {IXR_E_NO_DATABASE, "Database %s was not found or cannot be opened.\n"},
    {IXR_E_COLUMN_EXISTS, "Column %s already exists in the table.\n"},
    {IXR_E_AMBIGUOUS, "Column %s is ambiguous.\n"},
    {IXR_E_NO_INDEX, "Index %s does not exist.\n"},
    {IXR_E_INDEX_EXISTS, "Index %s already exists in the database.\n"},
    {IXR_E_TABLE_EXISTS, "Table %s already exists in the database.\n"},
    {IXR_E_ORDER_NOT_SELECTED, "ORDER BY column %s must be in the select list.\n"},
    {IXR_E_SUBQUERY_ROWS, "A subquery returned more than one row.\n"},
    {IXR_E_INSERT_FAILED, "A new row could not be inserted into the table.\n"},
    {IXR_E_UNIQUE, "Unique constraint %s was violated.\n"},
    {IXR_E_LOCK_FAILED, "The row or table could not be locked.\n"},
    {IXR_E_NO_TXN, "The database has no transaction log.\n"},
    {IXR_E_NOT_IN_TXN, "No transaction is in progress.\n"},
    {IXR_E_HOSTVAR_COUNT, "Too many or too few host variables were given.\n"},
    {IXR_E_READ_FAILED, "The next row could not be read.\n"},
    {IXR_E_DELETE_FAILED, "The row could not be deleted.\n"},
    {IXR_E_DUPLICATE, "A duplicate value was given for a unique index (%s).\n"},
    {IXR_E_INSERT_COUNT, "The number of columns does not match the number of values.\n"},
    {IXR_E_SERIAL_UPDATE, "SERIAL column %s cannot be updated.\n"},
    {IXR_E_NO_COLUMN, "Column %s was not found in any table of the query.\n"},
    {IXR_E_INTERRUPTED, "The statement was interrupted.\n"},
    {IXR_E_BAD_CATALOG, "The system catalog of database %s cannot be read.\n"},
    {IXR_E_NO_MEMORY, "Memory could not be allocated.\n"},
    {IXR_E_NO_TABLE, "Table %s is not in the database.\n"},
    {IXR_E_SYNTAX, "A syntax error occurred near %s.\n"},
    {IXR_ISAM_LOCK_TIMEOUT, "ISAM error: the lock wait timed out.\n"},
    {IXR_ISAM_DEADLOCK, "ISAM error: a deadlock was detected.\n"},
    {IXR_ISAM_TABLE_LOCKED, "ISAM error: the table is locked.\n"},
    {IXR_ISAM_NOT_FOUND, "ISAM error: no record was found.\n"},
    {IXR_ISAM_LOCKED, "ISAM error: the record is locked.\n"},
    {IXR_ISAM_BAD_FORMAT, "ISAM error: the file is damaged or has a bad format.\n"},
    {IXR_ISAM_DUPLICATE, "ISAM error: a duplicate value was given for a unique key.\n"},
};

constexpr bool sortedByCode() {
  for (size_t i = 1; i < std::size(kMessages); ++i)
    if (kMessages[i - 1].code >= kMessages[i].code) return false;
  return true;
}
static_assert(sortedByCode(), "kMessages must stay sorted by code");

std::string_view afterPrefix(std::string_view msg, std::string_view prefix) {
  if (msg.substr(0, prefix.size()) == prefix) return msg.substr(prefix.size());
  return {};
}

int32_t lockCode(Op op) {
  switch (op) {
    case Op::Read: return IXR_E_READ_FAILED;
    case Op::Insert: return IXR_E_INSERT_FAILED;
    case Op::Update: return IXR_E_UPDATE_FAILED;
    case Op::Delete: return IXR_E_DELETE_FAILED;
    default: return IXR_E_LOCK_FAILED;
  }
}

}  // namespace

const char* errorFormat(int32_t code) {
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                             [](const Message& m, int32_t c) { return m.code < c; });
  return it != std::end(kMessages) && it->code == code ? it->text : nullptr;
}

std::string functionError(int32_t code, const std::string& name) {
  return "ixr:" + std::to_string(code) + ":" + name;
}

IxError damaged(Op op, const std::string& db) {
  // What the statement was doing failed, because the file under it is damaged: never a
  // missing table or database, which an application might go and create.
  int32_t code = op == Op::Other  ? IXR_E_BAD_CATALOG
                 : op == Op::Read ? IXR_E_READ_FAILED
                                  : lockCode(op);
  return ixErr(code, db, IXR_ISAM_BAD_FORMAT);
}

bool isDamage(int rc) {
  return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
}

IxError fromSqlite(sqlite3* db, int rc, Op op, bool lockTimedOut) {
  std::string_view msg = db ? sqlite3_errmsg(db) : "";
  int prim = rc & 0xFF;
  if (auto rest = afterPrefix(msg, "ixr:"); !rest.empty()) {
    // The guard on a table that an in-doubt global transaction branch changed.
    if (rest == kLockedByBranch) return ixErr(lockCode(op), {}, IXR_ISAM_TABLE_LOCKED);
    size_t colon = rest.find(':');
    int32_t code =
        static_cast<int32_t>(std::strtol(std::string(rest.substr(0, colon)).c_str(), nullptr, 10));
    return ixErr(code ? code : IXR_E_UNSUPPORTED,
                 colon == std::string_view::npos ? "" : std::string(rest.substr(colon + 1)));
  }
  switch (prim) {
    case SQLITE_INTERRUPT: return ixErr(IXR_E_INTERRUPTED);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ixErr(lockCode(op), {}, lockTimedOut ? IXR_ISAM_LOCK_TIMEOUT : IXR_ISAM_LOCKED);
    case SQLITE_CONSTRAINT: {
      if (rc == SQLITE_CONSTRAINT_NOTNULL)
        return ixErr(IXR_E_NOT_NULL, std::string(afterPrefix(msg, "NOT NULL constraint failed: ")));
      if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
        return ixErr(IXR_E_DUPLICATE, std::string(afterPrefix(msg, "UNIQUE constraint failed: ")),
                     IXR_ISAM_DUPLICATE);
      if (rc == SQLITE_CONSTRAINT_CHECK)
        return ixErr(IXR_E_CHECK, std::string(afterPrefix(msg, "CHECK constraint failed: ")));
      if (rc == SQLITE_CONSTRAINT_FOREIGNKEY)
        return ixErr(op == Op::Delete || op == Op::Update ? IXR_E_REF_IN_USE : IXR_E_REF_MISSING);
      return ixErr(IXR_E_CHECK, std::string(msg));
    }
    case SQLITE_NOMEM: return ixErr(IXR_E_NO_MEMORY);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return damaged(op);
    case SQLITE_CANTOPEN: return ixErr(IXR_E_NO_DATABASE);
    default: break;
  }
  if (auto t = afterPrefix(msg, "no such table: "); !t.empty())
    return ixErr(IXR_E_NO_TABLE, std::string(t));
  if (auto t = afterPrefix(msg, "no such column: "); !t.empty())
    return ixErr(IXR_E_NO_COLUMN, std::string(t));
  if (auto t = afterPrefix(msg, "no such function: "); !t.empty())
    return ixErr(IXR_E_NO_ROUTINE, std::string(t));
  // SQLite's own parser and expression depth limits: the translated text nests more than
  // the statement as written (each operator is parenthesised).
  if (msg == "parser stack overflow" || msg.find("Expression tree is too large") == 0)
    return ixErr(IXR_E_TOO_COMPLEX, std::string(msg));
  if (msg.find("wrong number of arguments to function") != std::string_view::npos)
    return ixErr(IXR_E_SYNTAX, std::string(msg));
  return ixErr(IXR_E_UNSUPPORTED, std::string(msg));
}

}  // namespace ixr

extern "C" int ixr_error_message(int32_t code, char* buf, size_t size, int32_t* len) {
  const char* f = ixr::errorFormat(code);
  if (!f) {
    if (buf && size) buf[0] = 0;
    if (len) *len = 0;
    return IXR_E_NO_MESSAGE;
  }
  size_t n = std::strlen(f);
  if (len) *len = static_cast<int32_t>(n);
  if (buf && size) {
    size_t c = std::min(n, size - 1);
    std::memcpy(buf, f, c);
    buf[c] = 0;
  }
  return 0;
}
