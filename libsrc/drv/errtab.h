#pragma once
// errtab.h -- the driver error codes and the message table they index.
// A driver error code is the row number of DriverErrorTable; 0 is success. The
// generic layer and the agent share this one table, so a code means the same
// SQLSTATE and text whichever layer recorded it.
// Not here: the ODBC 3 SQLSTATE mapping and the diagnostic formatting (odbc/diag.h).

#include <cstddef>
#include <cstdint>
#include <iterator>

// Named codes: the row numbers that the code refers to by name.
inline constexpr int32_t ERR_NOT_SUPPORTED = 1;
inline constexpr int32_t ERR_TABLE_NOT_FOUND = 10;
inline constexpr int32_t ERR_COLUMN_NOT_FOUND = 14;
inline constexpr int32_t ERR_GENERAL = 15;
inline constexpr int32_t ERR_MEMORY = 16;
inline constexpr int32_t ERR_COLUMN_NUMBER = 17;
inline constexpr int32_t ERR_C_TYPE = 18;
inline constexpr int32_t ERR_TRUNCATED = 19;
inline constexpr int32_t ERR_CANCELLED = 20;
inline constexpr int32_t ERR_ARGUMENT = 21;
inline constexpr int32_t ERR_SEQUENCE = 22;
inline constexpr int32_t ERR_TXN_OPCODE = 23;
inline constexpr int32_t ERR_NO_CURSOR_NAME = 24;
inline constexpr int32_t ERR_BUFFER_LENGTH = 25;
inline constexpr int32_t ERR_DESC_TYPE = 26;
inline constexpr int32_t ERR_OPTION_TYPE = 27;
inline constexpr int32_t ERR_PARAM_NUMBER = 28;
inline constexpr int32_t ERR_SCALE = 29;
inline constexpr int32_t ERR_INFO_TYPE = 31;
inline constexpr int32_t ERR_FETCH_TYPE = 38;
inline constexpr int32_t ERR_ROW_VALUE = 39;
inline constexpr int32_t ERR_CONCURRENCY = 40;
inline constexpr int32_t ERR_CURSOR_POSITION = 41;
inline constexpr int32_t ERR_NOT_CAPABLE = 43;
inline constexpr int32_t ERR_DAE_PENDING = 44;
inline constexpr int32_t ERR_TIMEOUT = 45;
inline constexpr int32_t ERR_CONNSTR_ATTR = 47;
inline constexpr int32_t ERR_PARAM_COUNT = 48;
inline constexpr int32_t ERR_RESTRICTED_TYPE = 49;
inline constexpr int32_t ERR_CONNECT = 50;
inline constexpr int32_t ERR_CONN_IN_USE = 51;
inline constexpr int32_t ERR_CONN_NOT_OPEN = 52;
inline constexpr int32_t ERR_CONN_REJECTED = 53;
inline constexpr int32_t ERR_COMM_LINK = 54;
inline constexpr int32_t ERR_DEGREE = 56;
inline constexpr int32_t ERR_STRING_TRUNC = 57;
inline constexpr int32_t ERR_NUMERIC_RANGE = 58;
inline constexpr int32_t ERR_ASSIGNMENT = 59;
inline constexpr int32_t ERR_DATE_OVERFLOW = 60;
inline constexpr int32_t ERR_DIVISION_BY_ZERO = 61;
inline constexpr int32_t ERR_LENGTH_MISMATCH = 62;
inline constexpr int32_t ERR_INTEGRITY = 63;
inline constexpr int32_t ERR_CURSOR_STATE = 64;
inline constexpr int32_t ERR_TXN_STATE = 65;
inline constexpr int32_t ERR_AUTHORIZATION = 66;
inline constexpr int32_t ERR_CURSOR_NAME = 67;
inline constexpr int32_t ERR_SYNTAX = 68;
inline constexpr int32_t ERR_DUP_CURSOR_NAME = 69;
inline constexpr int32_t ERR_SERIALIZATION = 70;
inline constexpr int32_t ERR_ACCESS = 71;
inline constexpr int32_t ERR_ABORTED = 72;
inline constexpr int32_t ERR_NO_MORE_RESULTS = 73;
inline constexpr int32_t ERR_WARNING = 74;
inline constexpr int32_t ERR_OPTION_CHANGED = 75;
inline constexpr int32_t ERR_CANCEL_CLOSED = 79;
inline constexpr int32_t ERR_OUTPUT_PARAMS = 80;
inline constexpr int32_t ERR_ROW = 81;
inline constexpr int32_t ERR_NO_DATA = 82;
inline constexpr int32_t ERR_KEYSET_SIZE = 83;
inline constexpr int32_t ERR_NO_KEY_COLUMNS = 84;
inline constexpr int32_t ERR_BEFORE_START = 85;
inline constexpr int32_t ERR_AFTER_END = 86;
inline constexpr int32_t ERR_JOIN = 87;
inline constexpr int32_t ERR_GROUP_BY = 88;
inline constexpr int32_t ERR_UNION = 89;
inline constexpr int32_t ERR_NOT_SELECT = 90;
inline constexpr int32_t ERR_NO_ROWS_CHANGED = 91;
inline constexpr int32_t ERR_MANY_ROWS_CHANGED = 92;
inline constexpr int32_t ERR_INVALID_NOW = 93;
inline constexpr int32_t ERR_BOOKMARK = 94;
inline constexpr int32_t ERR_READONLY_CONN = 95;
inline constexpr int32_t ERR_PARAM_ARRAY_POSITIONED = 96;
inline constexpr int32_t ERR_DUP_TABLE = 97;
inline constexpr int32_t ERR_CONN_BUSY = 98;
inline constexpr int32_t ERR_ORDER_EXPR = 99;
inline constexpr int32_t ERR_DESC_INDEX = 100;
inline constexpr int32_t ERR_KEYSET_CHANGED = 101;
inline constexpr int32_t ERR_NEED_DAE = 102;
inline constexpr int32_t ERR_SCALAR_AGGREGATE = 103;
inline constexpr int32_t ERR_FRACTION_TRUNC = 104;
inline constexpr int32_t ERR_GENERAL_WARNING = 105;
inline constexpr int32_t ERR_NULL_ELIMINATED = 108;
inline constexpr int32_t ERR_STRING_TRUNC_WARNING = 109;
inline constexpr int32_t ERR_PRIVILEGE_NOT_GRANTED = 110;
inline constexpr int32_t ERR_FIXED_IN_PIECES = 135;
inline constexpr int32_t ERR_CONCAT_NULL = 136;
inline constexpr int32_t ERR_FILE_DSN_SAVE = 112;
inline constexpr int32_t ERR_INVALID_KEYWORD = 113;
inline constexpr int32_t ERR_INDICATOR_REQUIRED = 118;
inline constexpr int32_t ERR_DATETIME_FORMAT = 119;
inline constexpr int32_t ERR_INTERVAL_OVERFLOW = 120;
inline constexpr int32_t ERR_CAST_CHAR = 121;
inline constexpr int32_t ERR_HANDLE_LIMIT = 131;
inline constexpr int32_t ERR_MODIFY_IRD = 132;
inline constexpr int32_t ERR_AUTO_DESC = 133;
inline constexpr int32_t ERR_ATTR_VALUE = 138;
inline constexpr int32_t ERR_DIALOG_FAILED = 142;
inline constexpr int32_t ERR_BULK_CURSOR_TYPE = 149;
inline constexpr int32_t ERR_BOOKMARK_ROWSET = 150;
inline constexpr int32_t ERR_NO_ROWVERSION_TABLE = 151;
inline constexpr int32_t ERR_OUTER_JOIN_STATIC = 153;
inline constexpr int32_t ERR_MORERESULTS_CURSOR_TYPE = 160;
inline constexpr int32_t ERR_MORERESULTS_CONCURRENCY = 161;
inline constexpr int32_t ERR_DDL_DML_ONLY = 162;
inline constexpr int32_t ERR_SQL_TYPE = 163;
inline constexpr int32_t ERR_HEX_LITERAL = 164;
inline constexpr int32_t ERR_NOT_PREPARED = 165;
inline constexpr int32_t ERR_SSL_INIT = 166;
inline constexpr int32_t ERR_SSL_UNSUPPORTED = 167;
inline constexpr int32_t ERR_DTC_ENLIST = 170;
inline constexpr int32_t ERR_THREAD_POOL = 171;
inline constexpr int32_t ERR_PREPARE_CURSOR_TYPE = 172;
inline constexpr int32_t ERR_PARAM_TYPE = 173;
inline constexpr int32_t ERR_FAILOVER_COMPLETED = 183;
inline constexpr int32_t ERR_FAILOVER_ABORTED = 184;

// Rows that no code names carry a generic state so that a stray code still
// reads as a proper diagnostic.
struct DriverErrorRow {
  int32_t code;          // equals the row's index (checked below)
  const char* sqlState;  // ODBC 2 form, five characters ("" only in row 0)
  const char* message;
};

inline constexpr DriverErrorRow DriverErrorTable[] = {
    {0, "", ""},
    {1, "IM001", "Driver does not support this function"},
    {2, "IM002", "Data source not found and no default driver specified"},
    {3, "IM003", "Driver specified by data source could not be loaded"},
    {4, "IM004", "Driver's SQLAllocEnv failed"},
    {5, "IM005", "Driver's SQLAllocConnect failed"},
    {6, "IM006", "Driver's SQLSetConnectOption failed"},
    {7, "IM007", "No data source specified"},
    {8, "IM009", "Unable to load translation DLL"},
    {9, "42S01", "Base table or view already exists"},
    {10, "42S02", "Table or view not found"},
    {11, "42S11", "Index already exists"},
    {12, "42S12", "Index not found"},
    {13, "42S21", "Column already exists"},
    {14, "42S22", "Column not found"},
    {15, "S1000", "General error"},
    {16, "S1001", "Memory allocation failure"},
    {17, "S1002", "Invalid column number"},
    {18, "S1003", "Program type out of range"},
    {19, "01004", "Data was truncated"},
    {20, "S1008", "Operation cancelled"},
    {21, "S1009", "Invalid argument value"},
    {22, "S1010", "Function sequence error"},
    {23, "S1012", "Invalid transaction operation code"},
    {24, "S1015", "No cursor name available"},
    {25, "S1090", "Invalid string or buffer length"},
    {26, "S1091", "Descriptor type out of range"},
    {27, "S1092", "Option type out of range"},
    {28, "S1093", "Invalid parameter number"},
    {29, "S1094", "Invalid scale value"},
    {30, "S1095", "Function type out of range"},
    {31, "S1096", "Information type out of range"},
    {32, "S1098", "Scope type out of range"},
    {33, "S1099", "Nullable type out of range"},
    {34, "S1100", "Uniqueness option type out of range"},
    {35, "S1101", "Accuracy option type out of range"},
    {36, "S1102", "Table type out of range"},
    {37, "S1103", "Direction option out of range"},
    {38, "S1106", "Fetch type out of range"},
    {39, "S1107", "Row value out of range"},
    {40, "S1108", "Concurrency option out of range"},
    {41, "S1109", "Invalid cursor position"},
    {42, "S1110", "Invalid driver completion"},
    {43, "S1C00", "Driver not capable"},
    {44, "S1DE0", "No data at execution values pending"},
    {45, "S1T00", "Timeout expired"},
    {46, "01006", "Privilege not revoked"},
    {47, "01S00", "Invalid connection string attribute"},
    {48, "07001", "Wrong number of parameters"},
    {49, "07006", "Restricted datatype attribute violation"},
    {50, "08001", "Unable to connect to data source"},
    {51, "08002", "Connection in use"},
    {52, "08003", "Connection not open"},
    {53, "08004", "Connection rejected by data source"},
    {54, "08S01", "Communication link failure"},
    {55, "21S01", "Insert value list does not match column list"},
    {56, "21S02", "Degree of derived table does not match column list"},
    {57, "22001", "String data right truncation"},
    {58, "22003", "Numeric value out of range"},
    {59, "22005", "Error in assignment"},
    {60, "22008", "Date overflow"},
    {61, "22012", "Division by zero"},
    {62, "22026", "String length mismatch"},
    {63, "23000", "Integrity violation"},
    {64, "24000", "Invalid cursor state"},
    {65, "25000", "Invalid transaction state"},
    {66, "28000", "Invalid authorization specification"},
    {67, "34000", "Invalid cursor name"},
    {68, "37000", "Syntax error or access"},
    {69, "3C000", "Duplicate cursor name"},
    {70, "40001", "Serialization failure"},
    {71, "42000", "Access violation"},
    {72, "70100", "Operation aborted"},
    {73, "IM901", "No more results"},
    {74, "IM902", "Datasource completed operation with warning"},
    {75, "01S02", "Option Value Changed"},
    {76, "IM903", "Client Installation Problem Detected. ReInstall."},
    {77, "IM904", "Specified Dynamic Interface Library Unavailable"},
    {78, "S1000", "General error"},
    {79, "01S05", "SQLCancel closed the statement"},
    {80, "IM906", "Agent has output parameter values"},
    {81, "01S01", "Error in row"},
    {82, "IM907", "No data found"},
    {83, "IM908", "Invalid keyset size"},
    {84, "IM909", "No key columns found for table referenced by scrollable cursor."},
    {85, "IM910", "Attempt to fetch before start of result set."},
    {86, "IM911", "Attempt to fetch beyond end of result set."},
    {87, "IM912", "Result set was created by a join condition."},
    {88, "IM913", "SELECT statement contains a GROUP BY clause."},
    {89, "IM914", "SELECT statement contains a UNION clause."},
    {90, "IM915", "Result set was not generated by a SELECT statement."},
    {91, "01S03", "No rows updated or deleted."},
    {92, "01S04", "More than one row updated or deleted."},
    {93, "S1011", "Operation invalid at this time."},
    {94, "S1111", "Invalid bookmark value."},
    {95, "IM916", "Only SELECT statements are allowed during a read-only connection."},
    {96, "IM917", "Parameter arrays are not supported with positioned requests."},
    {97, "IM918", "Duplicate table name. Require owner qualifier to resolve."},
    {98, "IM921", "Connection is busy with results for another hstmt."},
    {99, "IM919", "Ordering on an expression is not supported."},
    {100, "07009", "Invalid descriptor index"},
    {101, "IM920", "Too many updates by other users occurred whilst fetching keyset."},
    {102, "IM922", "Agent needs DATA_AT_EXEC data."},
    {103, "IM923", "SELECT statement contains a scalar aggregate."},
    {104, "01S07", "Fractional truncation"},
    {105, "01000", "General warning"},
    {106, "01001", "Cursor operation conflict"},
    {107, "01002", "Disconnect error"},
    {108, "01003", "NULL value eliminated in set function"},
    {109, "01004", "String data, right truncated"},
    {110, "01007", "Privilege not granted"},
    {111, "01S06", "Attempt to fetch before the resultset returned the first rowset"},
    {112, "01S08", "Error saving File DSN"},
    {113, "01S09", "Invalid keyword"},
    {114, "07002", "COUNT field incorrect"},
    {115, "07005", "Prepared statement not a cursor-specification"},
    {116, "07S01", "Invalid use of default parameter"},
    {117, "08007", "Connection failure during transaction"},
    {118, "22002", "Indicator variable required but not supplied"},
    {119, "22007", "Invalid datetime format"},
    {120, "22015", "Interval field overflow"},
    {121, "22018", "Invalid character value for cast specification"},
    {122, "22019", "Invalid escape character"},
    {123, "22025", "Invalid escape sequence"},
    {124, "25S01", "Transaction state"},
    {125, "25S02", "Transaction is still active"},
    {126, "25S03", "Transaction is rolled back"},
    {127, "3D000", "Invalid catalog name"},
    {128, "3F000", "Invalid schema name"},
    {129, "40003", "Statement completion unknown"},
    {130, "S1013", "Memory management error"},
    {131, "S1014", "Limit on the number of handles exceeded"},
    {132, "S1016", "Cannot modify an implementation row descriptor"},
    {133, "S1017", "Invalid use of an automatically allocated descriptor handle"},
    {134, "S1018", "Server declined cancel request"},
    {135, "S1019", "Non-character and non-binary data sent in pieces"},
    {136, "S1020", "Attempt to concatenate a NULL value"},
    {137, "S1021", "Inconsistent descriptor information"},
    {138, "S1024", "Invalid Attribute value"},
    {139, "S1097", "Column type out of range"},
    {140, "S1104", "Invalid precision or scale value"},
    {141, "S1T01", "Connection timeout expired"},
    {142, "IM008", "Dialog failed"},
    {143, "IM010", "Data source name too long"},
    {144, "IM011", "Driver name too long"},
    {145, "IM012", "DRIVER keyword syntax error"},
    {146, "IM013", "Trace file error"},
    {147, "IM014", "Invalid name of File DSN"},
    {148, "IM015", "Corrupt file data source"},
    {149, "IM924", "Bulk operations are not supported on this cursor type"},
    {150, "IM925", "Bookmark refers to row outside the current rowset"},
    {151, "IM926", "Check that the table DIVAZA exists"},
    {152, "S1000", "General error"},
    {153, "IM928", "Outer joins on a scrollable cursor require a static cursor"},
    {154, "S1000", "General error"},
    {155, "S1000", "General error"},
    {156, "S1000", "General error"},
    {157, "S1000", "General error"},
    {158, "S1000", "General error"},
    {159, "S1000", "General error"},
    {160, "IM929",
     "SQLMoreResults on a scrollable cursor requires a static or forward-only cursor"},
    {161, "IM930", "SQLMoreResults on a scrollable cursor requires read-only concurrency"},
    {162, "S1000", "Only DDL and DML command can be executed"},
    {163, "S1004", "SQL data type out of range"},
    {164, "IM931", "Invalid character in hex literal"},
    {165, "42000", "Statement(s) could not be prepared"},
    {166, "IM600", "SSL initialization failure"},
    {167, "IM601", "The server does not support SSL"},
    {168, "S1000", "General error"},
    {169, "S1000", "General error"},
    {170, "IM932", "Enlistment in DTC transaction failed "},
    {171, "IM933", "Thread pool: Worker thread task assignment failure"},
    {172, "IM934", "SQL statement can only be prepared on a static or forward-only cursor"},
    {173, "S1105", "Invalid parameter type"},
    {174, "S1000", "General error"},
    {175, "S1000", "General error"},
    {176, "S1000", "General error"},
    {177, "S1000", "General error"},
    {178, "S1000", "General error"},
    {179, "S1000", "General error"},
    {180, "S1000", "General error"},
    {181, "S1000", "General error"},
    {182, "S1000", "General error"},
    {183, "IM500", "Failover completed."},
    {184, "IM501", "Failover aborted."},
};

inline constexpr int32_t DRIVER_ERROR_MAX = 184;
static_assert(std::size(DriverErrorTable) == DRIVER_ERROR_MAX + 1);

namespace errtab_detail {
consteval bool RowsInCodeOrder() {
  for (std::size_t i = 0; i < std::size(DriverErrorTable); ++i) {
    if (DriverErrorTable[i].code != static_cast<int32_t>(i)) return false;
    const char* s = DriverErrorTable[i].sqlState;
    std::size_t n = 0;
    while (s[n] != '\0') ++n;
    if (n != (i == 0 ? 0u : 5u)) return false;
  }
  return true;
}
}  // namespace errtab_detail
static_assert(errtab_detail::RowsInCodeOrder(), "DriverErrorTable rows out of code order");

// A code without a row (negative or above DRIVER_ERROR_MAX) reads as S1000 with
// this text, the code in place of %d.
inline constexpr const char* DRIVER_ERROR_UNDEFINED =
    "Undefined errorcode (%d).\nPlease install a newer client.";

// The row of a code, or nullptr when the table has none.
inline const DriverErrorRow* DriverErrorLookup(int32_t code) {
  if (code < 0 || code > DRIVER_ERROR_MAX) return nullptr;
  return &DriverErrorTable[code];
}

// SQLSTATE (ODBC 2 form) of a code; "S1000" for a code without a row.
inline const char* DriverErrorState(int32_t code) {
  const DriverErrorRow* row = DriverErrorLookup(code);
  return row != nullptr ? row->sqlState : "S1000";
}
