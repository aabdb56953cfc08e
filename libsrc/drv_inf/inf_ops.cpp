// inf_ops.cpp -- the Informix agent's operation table, its conversion table and
// the negotiation of cursor type and concurrency against what the back end offers.
// Owns only constant tables.
// Threading: everything here is read-only or works on the caller's records.

#include <iterator>

#include "drv/errtab.h"
#include "drv/scs.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_run.h"
#include "drv_inf/inf_types.h"

const DriverOps INF_Ops = {
    INF_GetInfo,
    INF_SetOption,
    INF_GetErrors,
    INF_AllocServer,
    INF_EndServer,
    INF_Connect,
    INF_EndConnect,
    INF_AllocCursor,
    INF_EndCursor,
    INF_GetCursorName,
    INF_SetCursorName,
    INF_Prepare,
    INF_SetParams,
    INF_GUARDED(INF_Execute),
    INF_Reserved14,
    INF_DescribeColumns,
    INF_DescribeParams,
    INF_NativeSql,
    INF_SetParamTypes,
    INF_GUARDED(Fetch),
    INF_CloseCursor,
    INF_Commit,
    INF_Rollback,
    INF_GetOpTable,
    INF_GUARDED(INF_MoreResults),
    INF_GUARDED(INF_DDColumnPrivileges),
    INF_GUARDED(INF_DDColumns),
    INF_GUARDED(INF_DDForeignKeys),
    INF_GUARDED(INF_DDPrimaryKeys),
    INF_GUARDED(INF_DDProcedureColumns),
    INF_GUARDED(INF_DDProcedures),
    INF_GUARDED(INF_DDSpecialColumns),
    INF_GUARDED(INF_DDStatistics),
    INF_GUARDED(INF_DDTablePrivileges),
    INF_GUARDED(INF_DDTables),
    INF_DDTypeInfo,
    nullptr,  // 36 ExtendedFetch: the cursor layer's
    nullptr,  // 37 SetPos: the cursor layer's
    INF_GUARDED(INF_ParamData),
    INF_PutData,
    INF_GetLongData,
    nullptr,  // 41
    nullptr,  // 42
    INF_GUARDED(INF_PrepareExecute),
    nullptr,  // 44
    nullptr,  // 45
    nullptr,  // 46
    nullptr,  // 47
    nullptr,  // 48
    nullptr,  // 49
    nullptr,  // 50
    INF_ColAttributes,
    nullptr,  // 52
    INF_Cancel,
    nullptr,  // 54
    INF_XaClose,
    INF_XaCommit,
    INF_XaComplete,
    INF_XaEnd,
    INF_XaForget,
    INF_XaOpen,
    INF_XaPrepare,
    INF_XaRecover,
    INF_XaRollback,
    INF_XaStart,
    nullptr,  // 65
};

namespace {

// The conversions the agent offers, by C type: the generic layer tests a bit of
// the row of an SQL type's default C type when it answers SQL_CONVERT_*.
constexpr OpTableRow kConversions[] = {
    {1, 32767, 0x2A31EC},   // SQL_C_CHAR
    {5, 0, 0x2821EC},       // SQL_C_SHORT
    {4, 0, 0x2821EC},       // SQL_C_LONG
    {7, 0, 0x2821EC},       // SQL_C_FLOAT
    {8, 0, 0x2821EC},       // SQL_C_DOUBLE
    {9, 0, 0x282200},       // SQL_C_DATE
    {11, 0, 0x282800},      // SQL_C_TIMESTAMP
    {-2, 65533, 0x2A3000},  // SQL_C_BINARY
};
static_assert(std::size(kConversions) == 8);

constexpr int32_t kEnd = -999;

struct OptionFallbackRow {
  int32_t option;
  uint16_t infoType;          // the GetInfo item that gives the supported mask
  const int32_t* fallbacks;   // walked forward from a position that only grows
  const int32_t* maskValues;  // (mask, value) pairs
};

constexpr int32_t kTypeFallbacks[] = {SQL_CURSOR_DYNAMIC, SQL_CURSOR_KEYSET_DRIVEN,
                                      SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN, kEnd};
constexpr int32_t kTypeMasks[] = {SQL_SO_FORWARD_ONLY,
                                  SQL_CURSOR_FORWARD_ONLY,
                                  SQL_SO_KEYSET_DRIVEN,
                                  SQL_CURSOR_KEYSET_DRIVEN,
                                  SQL_SO_DYNAMIC,
                                  SQL_CURSOR_DYNAMIC,
                                  SQL_SO_STATIC,
                                  SQL_CURSOR_STATIC,
                                  kEnd};
constexpr int32_t kConcFallbacks[] = {SQL_CONCUR_LOCK, SQL_CONCUR_ROWVER, SQL_CONCUR_VALUES,
                                      SQL_CONCUR_ROWVER, kEnd};
constexpr int32_t kConcMasks[] = {SQL_SCCO_READ_ONLY,  SQL_CONCUR_READ_ONLY, SQL_SCCO_LOCK,
                                  SQL_CONCUR_LOCK,     SQL_SCCO_OPT_ROWVER,  SQL_CONCUR_ROWVER,
                                  SQL_SCCO_OPT_VALUES, SQL_CONCUR_VALUES,    kEnd};

constexpr OptionFallbackRow INF_OptionFallbacks[] = {
    {SQL_CURSOR_TYPE, SQL_SCROLL_OPTIONS, kTypeFallbacks, kTypeMasks},
    {SQL_CONCURRENCY, SQL_SCROLL_CONCURRENCY, kConcFallbacks, kConcMasks},
    {0, 0, nullptr, nullptr},
};

const OptionFallbackRow* fallbackRow(int32_t option) {
  for (const OptionFallbackRow* r = INF_OptionFallbacks; r->option != 0; ++r)
    if (r->option == option) return r;
  return nullptr;
}

uint32_t maskOf(const OptionFallbackRow* row, int32_t value) {
  for (const int32_t* p = row->maskValues; p[0] != kEnd && p[1] != kEnd; p += 2)
    if (p[1] == value) return static_cast<uint32_t>(p[0]);
  return 0;
}

int32_t walk(const OptionFallbackRow* row, uint32_t supported, int32_t* value) {
  const int32_t request = *value;
  int32_t candidate = request;
  size_t pos = 0;
  while (candidate != kEnd) {
    if ((supported & maskOf(row, candidate)) != 0) break;
    size_t k = pos;
    while (row->fallbacks[k] != kEnd && row->fallbacks[k] != candidate) ++k;
    if (row->fallbacks[k] == kEnd) {
      candidate = kEnd;
    } else {
      pos = k + 1;
      candidate = row->fallbacks[pos];
    }
  }
  if (candidate == kEnd) return ERR_NOT_CAPABLE;
  if (candidate != request) {
    *value = candidate;
    return ERR_OPTION_CHANGED;
  }
  return 0;
}

}  // namespace

int32_t NegotiateOptionMask(int32_t option, uint32_t supported, int32_t* value) {
  const OptionFallbackRow* row = fallbackRow(option);
  if (row == nullptr || value == nullptr) return 0;
  return walk(row, supported, value);
}

int32_t INF_NegotiateOption(const SCS* scs, int32_t option, int32_t* value) {
  const OptionFallbackRow* row = fallbackRow(option);
  if (row == nullptr || value == nullptr || scs == nullptr || scs->sc_driver == nullptr ||
      scs->sc_driver->ops == nullptr)
    return 0;
  uint32_t supported = 0;
  uint16_t len = 0;
  if (SCR_GetOdbcInfo(scs->sc_driver, scs->sc_hConn, row->infoType, &supported, 4, &len) != 0)
    return 0;
  return walk(row, supported, value);
}

int32_t INF_ScrollOptions(const InfConn* conn) {
  constexpr int32_t all =
      SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_MIXED | SQL_SO_STATIC;
  // DYN_CURS_SENSITIVITY=2 (disabled) leaves the types that see no changes.
  return conn != nullptr && conn->options.dynCursSensitivity == 2
             ? SQL_SO_FORWARD_ONLY | SQL_SO_STATIC
             : all;
}

int32_t INF_GetOpTable(DrvHandle hConn, OpTable* table) {
  if (InfConnLookup(hConn) == nullptr || table == nullptr) return ERR_ARGUMENT;
  if (table->type != 1) return ERR_NOT_CAPABLE;
  table->count = static_cast<uint32_t>(std::size(kConversions));
  table->rows = kConversions;
  return 0;
}
