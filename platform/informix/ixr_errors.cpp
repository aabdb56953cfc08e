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
    {-25588, "The application cannot connect to the database server %s.\n"},
    {-25580, "The connection to the database server was lost.\n"},
    {-1803, "Connection %s does not exist.\n"},
    {-1802, "Connection %s is not the current connection.\n"},
    {-1801, "Connection name %s is already in use.\n"},
    {-1267, "The result of a datetime computation is out of range.\n"},
    {-1266, "The datetime or interval values are incompatible for the operation.\n"},
    {-1265, "A datetime or interval operation overflowed.\n"},
    {-1264, "Extra characters follow the datetime or interval value.\n"},
    {-1263, "A field of a datetime or interval value is out of range or illegal.\n"},
    {-1262, "A datetime or interval value holds a character that is not numeric.\n"},
    {-1260, "The value cannot be converted between these types.\n"},
    {-1228, "No message exists for this error number.\n"},
    {-1226, "The decimal or money value exceeds its precision.\n"},
    {-1218, "The text cannot be converted to a date.\n"},
    {-1215, "The value exceeds the range of an INTEGER.\n"},
    {-1214, "The value exceeds the range of a SMALLINT.\n"},
    {-1213, "A character value cannot be converted to a number.\n"},
    {-1206, "The day of the month in the date is invalid.\n"},
    {-1205, "The month in the date is invalid.\n"},
    {-1204, "The year in the date is invalid.\n"},
    {-1202, "A division by zero was attempted.\n"},
    {-999, "The embedded server cannot do this: %s.\n"},
    {-951, "User %s is not known on the database server or gave a wrong password.\n"},
    {-908, "The connection to database server %s failed.\n"},
    {-761, "Database name %s is not valid.\n"},
    {-692, "A key of this row is still referenced by constraint %s.\n"},
    {-691, "The referenced table has no row with this key (constraint %s).\n"},
    {-674, "Routine %s was not found.\n"},
    {-617, "A BYTE or TEXT value cannot be given as a literal here (column %s).\n"},
    {-535, "A transaction is already in progress.\n"},
    {-530, "Check constraint %s failed.\n"},
    {-481, "Statement %s was not prepared or its name is not valid.\n"},
    {-425, "Database %s is open in another session.\n"},
    {-404, "Cursor or statement %s is not available.\n"},
    {-400, "Cursor %s is not open.\n"},
    {-391, "A NULL cannot be inserted into column %s.\n"},
    {-377, "The transaction must end before the database is closed.\n"},
    {-349, "No database is selected.\n"},
    {-346, "The row could not be updated in the table.\n"},
    {-330, "Database %s cannot be created or dropped.\n"},
    {-329, "Database %s was not found or cannot be opened.\n"},
    {-328, "Column %s already exists in the table.\n"},
    {-324, "Column %s is ambiguous.\n"},
    {-319, "Index %s does not exist.\n"},
    {-316, "Index %s already exists in the database.\n"},
    {-310, "Table %s already exists in the database.\n"},
    {-309, "ORDER BY column %s must be in the select list.\n"},
    {-284, "A subquery returned more than one row.\n"},
    {-271, "A new row could not be inserted into the table.\n"},
    {-268, "Unique constraint %s was violated.\n"},
    {-263, "The row or table could not be locked.\n"},
    {-256, "The database has no transaction log.\n"},
    {-255, "No transaction is in progress.\n"},
    {-254, "Too many or too few host variables were given.\n"},
    {-244, "The next row could not be read.\n"},
    {-240, "The row could not be deleted.\n"},
    {-239, "A duplicate value was given for a unique index (%s).\n"},
    {-236, "The number of columns does not match the number of values.\n"},
    {-232, "SERIAL column %s cannot be updated.\n"},
    {-217, "Column %s was not found in any table of the query.\n"},
    {-213, "The statement was interrupted.\n"},
    {-208, "Memory could not be allocated.\n"},
    {-206, "Table %s is not in the database.\n"},
    {-201, "A syntax error occurred near %s.\n"},
    {-154, "ISAM error: the lock wait timed out.\n"},
    {-143, "ISAM error: a deadlock was detected.\n"},
    {-113, "ISAM error: the table is locked.\n"},
    {-111, "ISAM error: no record was found.\n"},
    {-107, "ISAM error: the record is locked.\n"},
    {-100, "ISAM error: a duplicate value was given for a unique key.\n"},
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

IxError fromSqlite(sqlite3* db, int rc, Op op, bool lockTimedOut) {
  std::string_view msg = db ? sqlite3_errmsg(db) : "";
  int prim = rc & 0xFF;
  if (auto rest = afterPrefix(msg, "ixr:"); !rest.empty()) {
    size_t colon = rest.find(':');
    int32_t code =
        static_cast<int32_t>(std::strtol(std::string(rest.substr(0, colon)).c_str(), nullptr, 10));
    return ixErr(code ? code : -999,
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
    case SQLITE_NOMEM: return ixErr(-208);
    case SQLITE_CANTOPEN: return ixErr(IXR_E_NO_DATABASE);
    default: break;
  }
  if (auto t = afterPrefix(msg, "no such table: "); !t.empty())
    return ixErr(IXR_E_NO_TABLE, std::string(t));
  if (auto t = afterPrefix(msg, "no such column: "); !t.empty())
    return ixErr(IXR_E_NO_COLUMN, std::string(t));
  if (auto t = afterPrefix(msg, "no such function: "); !t.empty())
    return ixErr(IXR_E_NO_ROUTINE, std::string(t));
  if (msg.find("wrong number of arguments to function") != std::string_view::npos)
    return ixErr(IXR_E_SYNTAX, std::string(msg));
  return ixErr(-999, std::string(msg));
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
