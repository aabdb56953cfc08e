// stmtattr.cpp -- statement options and attributes.
// A cursor setting goes to the back end first and is stored only once the back
// end accepted it; when the back end put another value in force (01S02) the
// statement asks for that value and stores it instead. A NULL pointer given for
// a pointer attribute clears it, so the driver never writes into memory the
// application has released.
// Threading: under the connection's call lock.

#include "odbc/stmtattr.h"

#include <sqlucode.h>

#include <climits>
#include <cstring>

#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "odbc/bulkops.h"
#include "odbc/conn.h"
#include "odbc/descops.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"

namespace {

constexpr uint16_t kAttr1050 = 1050;
constexpr uint16_t kAttr1052 = 1052;
constexpr uint16_t kAttr1054 = 1054;
constexpr uint16_t kOptionText = 1226;
constexpr DriverPropId kTextOption = DrvpAttr(DRVP_CLASS_CURSOR, DRVP_KIND_TEXT, 0);
constexpr uint16_t kDefaultStringOption = 256;

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

SQLRETURN changed(Stmt* stmt) {
  stmt->errCode = ERR_OPTION_CHANGED;
  return SQL_SUCCESS_WITH_INFO;
}

// Rows the fetch block read ahead of the application under the limit a result was opened
// with are no rows of it once the limit went below them: the back end stops at the
// smaller limit, and the block is cut to it here. A scrollable result's row count, which
// places its last rowset and counts back from its end, is cut as the cursor layer cuts
// the rows it holds.
void limit_block(Stmt* stmt) {
  const uint64_t limit = stmt->st_maxRows;
  if (limit == 0 || stmt->state != STMT_STATE_PREPARED) return;
  if (stmt->st_cursor.sc_cursorType != SQL_CURSOR_FORWARD_ONLY) {
    if (stmt->st_cursor.sc_rowCount > 0 &&
        static_cast<uint64_t>(stmt->st_cursor.sc_rowCount) > limit)
      stmt->st_cursor.sc_rowCount = static_cast<int32_t>(limit);
    return;
  }
  const int32_t rows = stmt->st_block.rowCount;
  if (rows <= stmt->st_blockRow) return;
  const uint64_t left = limit > stmt->st_rowNumber ? limit - stmt->st_rowNumber : 0;
  if (static_cast<uint64_t>(rows - stmt->st_blockRow) > left)
    stmt->st_block.rowCount = stmt->st_blockRow + static_cast<int32_t>(left);
}

// Options the back end keeps for the statement without the statement storing them.
bool is_backend_option(uint16_t option) {
  switch (option) {
    case 1225:
    case 1227:
    case 1228:
    case 1229:
    case 1250:
    case 1251:
    case 1260:
    case 1261:
    case 1264:
    case 1265:
    case 1268:
    case 1276:
    case 1277:
    case 1278: return true;
    default: return false;
  }
}

int32_t send(Stmt* stmt, DriverPropId id, uint64_t value) {
  int32_t v = static_cast<int32_t>(static_cast<uint32_t>(value));
  stmt->errCode = stmt->st_drv->ops->DRV_SetOption(stmt->st_hCursor, id, &v);
  return stmt->errCode;
}

// Asks the back end for the value of an option it changed. The answer is
// SQL_SUCCESS_WITH_INFO whether or not the value could be read.
template <typename T>
SQLRETURN read_back(Stmt* stmt, uint16_t option, T* store) {
  int64_t v = 0;
  if (StmtGetOption(stmt, option, &v) == SQL_SUCCESS) {
    *store = sizeof(T) == 8 ? static_cast<T>(v) : static_cast<T>(static_cast<int32_t>(v));
    stmt->errCode = ERR_OPTION_CHANGED;
  }
  return SQL_SUCCESS_WITH_INFO;
}

// Options 6, 7, 8 and 10: a refusal is "option type out of range".
template <typename T>
SQLRETURN cursor_setting(Stmt* stmt, uint16_t option, uint64_t value, T* store) {
  int32_t code = send(stmt, DRVP_STMT_OPTION + option, value);
  if (code == 0) {
    *store = static_cast<T>(static_cast<int32_t>(value));
    return SQL_SUCCESS;
  }
  if (code == ERR_OPTION_CHANGED) return read_back(stmt, option, store);
  return fail(stmt, ERR_OPTION_TYPE);
}

SQLRETURN set_max_length(Stmt* stmt, uint64_t value) {
  if (stmt->st_dbc->cn_hasMaxLength == 0) {
    if (value == 0) return SQL_SUCCESS;
    stmt->st_maxLength = 0;
    return changed(stmt);
  }
  if (stmt->state == STMT_STATE_PREPARED) return fail(stmt, ERR_INVALID_NOW);
  // The back end cannot cut long values shorter than this.
  constexpr uint64_t kLeast = 8192;
  const bool raised = value != 0 && value < kLeast;
  if (raised) value = kLeast;
  int32_t code = send(stmt, DRVP_STMT_OPTION + SQL_MAX_LENGTH, value);
  if (code == ERR_OPTION_CHANGED) return read_back(stmt, SQL_MAX_LENGTH, &stmt->st_maxLength);
  if (code != 0) return SQL_ERROR;
  stmt->st_maxLength = value;
  return raised ? changed(stmt) : SQL_SUCCESS;
}

SQLRETURN set_rowset_size(Stmt* stmt, uint64_t value) {
  if (value == 0) value = 1;
  if (value > INT32_MAX) value = INT32_MAX;
  SCS& scs = stmt->st_cursor;
  const int32_t rowsInBlock = stmt->st_block.rowCount;
  if (stmt->state == STMT_STATE_PREPARED && scs.sc_cursorType == SQL_CURSOR_FORWARD_ONLY &&
      scs.sc_rowsetSize == 1 && stmt->st_blockRow > 0 && stmt->st_blockRow < rowsInBlock) {
    // The size it has already is no change (a new ARD of the same size is applied whole).
    if (value == 1) return SQL_SUCCESS;
    return changed(stmt);
  }
  int32_t code = send(stmt, DRVP_STMT_OPTION + SQL_ROWSET_SIZE, value);
  int32_t size = static_cast<int32_t>(value);
  SQLRETURN rc = SQL_SUCCESS;
  if (code == ERR_OPTION_CHANGED) {
    int64_t v = 0;
    if (StmtGetOption(stmt, SQL_ROWSET_SIZE, &v) != SQL_SUCCESS) return SQL_SUCCESS_WITH_INFO;
    size = static_cast<int32_t>(v);
    stmt->errCode = ERR_OPTION_CHANGED;
    rc = SQL_SUCCESS_WITH_INFO;
  } else if (code != 0) {
    return SQL_ERROR;
  }
  scs.sc_prevRowsetSize = scs.sc_rowsetSize;
  scs.sc_rowsetSize = size;
  scs.sc_flags |= SCS_F_ROWSET_CHANGED;
  scs.sc_aux2Prepared &= static_cast<uint16_t>(~0x30u);
  return rc;
}

template <typename T>
SQLRETURN put(void* out, T v) {
  if (out != nullptr) memcpy(out, &v, sizeof v);
  return SQL_SUCCESS;
}

SQLRETURN put_ptr(void* out, const void* p) { return put(out, p); }

int32_t ask(Stmt* stmt, DriverPropId id, int32_t* v) {
  uint16_t len = 0;
  return stmt->st_drv->ops->DRV_GetInfo(stmt->st_hCursor, id, v, 4, &len);
}

// The setting the back end has in force, or ERR_OPTION_TYPE.
SQLRETURN asked(Stmt* stmt, DriverPropId id, int32_t* v) {
  return ask(stmt, id, v) == 0 ? SQL_SUCCESS : fail(stmt, ERR_OPTION_TYPE);
}

SQLRETURN app_desc(Stmt* stmt, int32_t attr, uint64_t value) {
  const bool row = attr == SQL_ATTR_APP_ROW_DESC;
  Desc* implicitDesc = row ? stmt->st_implicitArd : stmt->st_implicitApd;
  Desc* desc = implicitDesc;
  // SQL_NULL_HDESC hands the statement its own descriptor back.
  if (value != 0) {
    desc = static_cast<Desc*>(HandleLookup(&DescHandles, static_cast<uint32_t>(value)));
    if (desc == nullptr || desc->magic != DESC_MAGIC) return fail(stmt, ERR_ATTR_VALUE);
    if (desc->de_allocType == SQL_DESC_ALLOC_AUTO) {
      if (desc != implicitDesc) return fail(stmt, ERR_AUTO_DESC);
    } else if (desc->de_dbc != stmt->st_dbc) {
      return fail(stmt, ERR_ATTR_VALUE);
    }
  }
  Desc*& current = row ? stmt->st_ard : stmt->st_apd;
  int32_t (*apply)(Stmt*, Desc*) = row ? StmtApplyArd : StmtApplyApd;
  Desc* before = current;
  current = desc;
  const int32_t code = apply(stmt, desc);
  if (code == ERR_OPTION_CHANGED) return changed(stmt);
  // Refused whole: the descriptor that was current stays so, with its bindings.
  if (code != 0 && before != desc) {
    current = before;
    (void)apply(stmt, before);
  }
  return code != 0 ? fail(stmt, code) : SQL_SUCCESS;
}

}  // namespace

SQLRETURN StmtSetOption(Stmt* stmt, uint16_t option, uint64_t value) {
  SCS& scs = stmt->st_cursor;
  switch (option) {
    case SQL_QUERY_TIMEOUT: {
      int32_t v = static_cast<int32_t>(static_cast<uint32_t>(value));
      if (v < 0) v = 0;
      int32_t code = send(stmt, DRVP_STMT_OPTION + SQL_QUERY_TIMEOUT, static_cast<uint32_t>(v));
      if (code == 0) {
        stmt->st_timeout = v;
        return SQL_SUCCESS;
      }
      if (code == ERR_OPTION_CHANGED || code == ERR_NOT_CAPABLE) {
        stmt->st_timeout = 0;
        return changed(stmt);
      }
      return SQL_ERROR;
    }
    case SQL_MAX_ROWS: {
      int32_t code = send(stmt, DRVP_STMT_OPTION + SQL_MAX_ROWS, value);
      SQLRETURN rc = SQL_ERROR;
      if (code == 0) {
        stmt->st_maxRows = value;
        rc = SQL_SUCCESS;
      } else if (code == ERR_OPTION_CHANGED) {
        rc = read_back(stmt, SQL_MAX_ROWS, &stmt->st_maxRows);
      }
      if (SQL_SUCCEEDED(rc)) limit_block(stmt);
      return rc;
    }
    case SQL_NOSCAN: {
      const uint32_t v = value != 0 ? 1 : 0;
      if (send(stmt, DRVP_STMT_OPTION + SQL_NOSCAN, v) != 0) return SQL_ERROR;
      stmt->st_noscan = v;
      return SQL_SUCCESS;
    }
    case SQL_MAX_LENGTH: return set_max_length(stmt, value);
    case SQL_ASYNC_ENABLE: stmt->st_async = value != 0 ? 1 : 0; return SQL_SUCCESS;
    case SQL_BIND_TYPE:
      stmt->st_bindType = static_cast<int32_t>(value);
      StmtBindingsChanged(stmt);
      return SQL_SUCCESS;
    case SQL_CURSOR_TYPE: return cursor_setting(stmt, option, value, &scs.sc_cursorType);
    case SQL_CONCURRENCY: return cursor_setting(stmt, option, value, &scs.sc_concurrency);
    case SQL_KEYSET_SIZE: return cursor_setting(stmt, option, value, &scs.sc_keysetSize);
    case SQL_ROWSET_SIZE: return set_rowset_size(stmt, value);
    case SQL_SIMULATE_CURSOR: return cursor_setting(stmt, option, value, &scs.sc_simulateCursor);
    case SQL_RETRIEVE_DATA:
      if (send(stmt, DRVP_STMT_OPTION + SQL_RETRIEVE_DATA, value) != 0)
        return fail(stmt, ERR_OPTION_TYPE);
      scs.sc_retrieveData = static_cast<uint32_t>(value);
      return SQL_SUCCESS;
    // Variable-length bookmarks are read back as such, not as the fixed ones
    // of ODBC 2.
    case SQL_USE_BOOKMARKS:
      // Off, on (the fixed bookmarks) and variable are all there is: any other value
      // would switch bookmarks on by a number that means nothing.
      if (value != SQL_UB_OFF && value != SQL_UB_ON && value != SQL_UB_VARIABLE)
        return fail(stmt, ERR_ATTR_VALUE);
      scs.sc_useBookmarks = static_cast<uint32_t>(value);
      return SQL_SUCCESS;
    case kAttr1050: {
      int32_t code = send(stmt, DRVP_ATTR_1050, value);
      if (code == 0) {
        scs.sc_stmtAttr1050 = static_cast<uint32_t>(value);
        return SQL_SUCCESS;
      }
      // The stored value is what the statement reads back.
      if (code == ERR_OPTION_CHANGED) return SQL_SUCCESS_WITH_INFO;
      return fail(stmt, ERR_OPTION_TYPE);
    }
    case kAttr1052:
    case kAttr1054: {
      if (send(stmt, option == kAttr1052 ? DRVP_ATTR_1052 : DRVP_ATTR_1054, value) != 0)
        return SQL_ERROR;
      (option == kAttr1052 ? scs.sc_stmtAttr1052 : scs.sc_stmtAttr1054) =
          static_cast<uint32_t>(value);
      return SQL_SUCCESS;
    }
    case kOptionText: {
      const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
      int32_t code = stmt->st_drv->ops->DRV_SetOption(stmt->st_hCursor, kTextOption + option, text);
      if (code == 0) return SQL_SUCCESS;
      return fail(stmt, code == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE : code);
    }
    default:
      if (!is_backend_option(option)) return fail(stmt, ERR_OPTION_TYPE);
      if (int32_t code = send(stmt, DRVP_STMT_OPTION + option, value); code != 0)
        return fail(stmt, code == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE : code);
      return SQL_SUCCESS;
  }
}

void StmtSendCursorDefaults(Stmt* stmt) {
  SCS initial{};
  (void)SCS_Init(&initial, 0, 0, nullptr, nullptr);
  SCS& scs = stmt->st_cursor;
  struct Default {
    uint16_t option;
    int64_t wanted;
    int64_t cursors;
  };
  // The type first: what the cursor accepts of the others depends on it.
  const Default defaults[] = {
      {SQL_CURSOR_TYPE, scs.sc_cursorType, initial.sc_cursorType},
      {SQL_CONCURRENCY, scs.sc_concurrency, initial.sc_concurrency},
      {SQL_KEYSET_SIZE, scs.sc_keysetSize, initial.sc_keysetSize},
      {SQL_ROWSET_SIZE, scs.sc_rowsetSize, initial.sc_rowsetSize},
      {SQL_SIMULATE_CURSOR, scs.sc_simulateCursor, initial.sc_simulateCursor},
      {SQL_RETRIEVE_DATA, scs.sc_retrieveData, initial.sc_retrieveData},
  };
  // The statement starts from what its fresh cursor holds, so that a setting
  // the cursor refuses leaves both sides on the cursor's value.
  scs.sc_cursorType = initial.sc_cursorType;
  scs.sc_concurrency = initial.sc_concurrency;
  scs.sc_keysetSize = initial.sc_keysetSize;
  scs.sc_rowsetSize = initial.sc_rowsetSize;
  scs.sc_simulateCursor = initial.sc_simulateCursor;
  scs.sc_retrieveData = initial.sc_retrieveData;
  for (const Default& d : defaults)
    if (d.wanted != d.cursors) (void)StmtSetOption(stmt, d.option, static_cast<uint64_t>(d.wanted));
  // A query timeout the connection gives its statements reaches the cursor, which
  // starts without one.
  if (stmt->st_timeout != 0)
    (void)StmtSetOption(stmt, SQL_QUERY_TIMEOUT, static_cast<uint32_t>(stmt->st_timeout));
  // The rowset size is where the statement starts, not a change of it.
  scs.sc_prevRowsetSize = scs.sc_rowsetSize;
  scs.sc_flags &= static_cast<uint16_t>(~SCS_F_ROWSET_CHANGED);
  stmt->errCode = 0;
}

SQLRETURN StmtGetOption(Stmt* stmt, uint16_t option, void* value) {
  const SCS& scs = stmt->st_cursor;
  // Right after the back end changed a setting, its value is asked for;
  // otherwise the stored value is the one in force.
  const bool changedNow = stmt->errCode == ERR_OPTION_CHANGED;
  int32_t v = 0;
  switch (option) {
    case SQL_QUERY_TIMEOUT: return put(value, stmt->st_timeout);
    case SQL_MAX_ROWS:
      if (asked(stmt, DRVP_STMT_OPTION + option, &v) != SQL_SUCCESS) return SQL_ERROR;
      return put(value, static_cast<int64_t>(v));
    case SQL_NOSCAN:
      if (asked(stmt, DRVP_STMT_OPTION + option, &v) != SQL_SUCCESS) return SQL_ERROR;
      return put(value, v);
    case SQL_MAX_LENGTH:
      if (!changedNow) return put(value, stmt->st_maxLength);
      if (asked(stmt, DRVP_STMT_OPTION + option, &v) != SQL_SUCCESS) return SQL_ERROR;
      return put(value, static_cast<int64_t>(v));
    case SQL_ASYNC_ENABLE: return put(value, static_cast<int32_t>(stmt->st_async != 0 ? 1 : 0));
    case SQL_BIND_TYPE: return put(value, stmt->st_bindType);
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_ROWSET_SIZE:
    case SQL_SIMULATE_CURSOR: {
      if (changedNow) {
        if (asked(stmt, DRVP_STMT_OPTION + option, &v) != SQL_SUCCESS) return SQL_ERROR;
      } else {
        v = option == SQL_CURSOR_TYPE   ? scs.sc_cursorType
            : option == SQL_CONCURRENCY ? scs.sc_concurrency
            : option == SQL_ROWSET_SIZE ? scs.sc_rowsetSize
                                        : static_cast<int32_t>(scs.sc_simulateCursor);
      }
      // The rowset size is a 64-bit value of a 64-bit ODBC 2 caller.
      if (option == SQL_ROWSET_SIZE) return put(value, static_cast<int64_t>(v));
      return put(value, v);
    }
    case SQL_KEYSET_SIZE:
      if (!changedNow) return put(value, static_cast<int64_t>(scs.sc_keysetSize));
      if (asked(stmt, DRVP_STMT_OPTION + option, &v) != SQL_SUCCESS) return SQL_ERROR;
      return put(value, static_cast<int64_t>(v));
    case SQL_RETRIEVE_DATA: return put(value, scs.sc_retrieveData);
    case SQL_USE_BOOKMARKS: return put(value, scs.sc_useBookmarks);
    case SQL_GET_BOOKMARK: {
      if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_CURSOR_STATE);
      if (scs.sc_useBookmarks == 0) return fail(stmt, ERR_INVALID_NOW);
      if (int32_t code =
              BulkRowBookmark(stmt, static_cast<uint32_t>(scs.sc_position - 1), false, &v);
          code != 0)
        return fail(stmt, code);
      return put(value, v);
    }
    case SQL_ROW_NUMBER: {
      if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_CURSOR_STATE);
      if (scs.sc_cursorType == SQL_CURSOR_FORWARD_ONLY) {
        // st_rowNumber counts the rows delivered; the current row of a rowset is the one
        // the cursor stands on in it (its first after the fetch).
        const RowStatusTable* table = scs.sc_rowStatus;
        uint64_t row = stmt->st_rowNumber;
        if (table != nullptr && table->status != nullptr && scs.sc_position >= 1) {
          uint64_t rows = 0;
          for (int32_t k = 0; k < table->count; ++k)
            if (table->status[k] != SQL_ROW_NOROW) rows = static_cast<uint64_t>(k) + 1;
          if (rows <= row && static_cast<uint64_t>(scs.sc_position) <= rows)
            row = row - rows + static_cast<uint64_t>(scs.sc_position);
        }
        return put(value, row);
      }
      if (int32_t code =
              BulkRowBookmark(stmt, static_cast<uint32_t>(scs.sc_position - 1), true, &v);
          code != 0)
        return fail(stmt, code);
      return put(value, static_cast<int64_t>(v));
    }
    case SQL_ATTR_PARAMSET_SIZE: return put(value, stmt->st_paramsetSize);
    case SQL_ATTR_ROW_ARRAY_SIZE: return put(value, static_cast<int64_t>(scs.sc_rowsetSize));
    case 1048:
    case 1049:
      if (asked(stmt, option == 1048 ? DRVP_ROWID : DRVP_SERIAL, &v) != SQL_SUCCESS)
        return SQL_ERROR;
      return put(value, v);
    case kAttr1050: return put(value, scs.sc_stmtAttr1050);
    case kAttr1052: return put(value, scs.sc_stmtAttr1052);
    case kAttr1054: return put(value, scs.sc_stmtAttr1054);
    case kOptionText: {
      uint16_t len = 0;
      char text[kDefaultStringOption] = {};
      int32_t code = stmt->st_drv->ops->DRV_GetInfo(stmt->st_hCursor, kTextOption + option, text,
                                                    sizeof text, &len);
      if (code != 0) return fail(stmt, code == ERR_NOT_SUPPORTED ? ERR_OPTION_TYPE : code);
      // An ODBC 2 caller provides room for 256 bytes.
      if (value != nullptr) memcpy(value, text, sizeof text);
      return SQL_SUCCESS;
    }
    default: {
      if (!is_backend_option(option)) return fail(stmt, ERR_OPTION_TYPE);
      int32_t code = ask(stmt, DRVP_STMT_OPTION + option, &v);
      if (code != 0) return fail(stmt, code == ERR_NOT_SUPPORTED ? ERR_OPTION_TYPE : code);
      return put(value, v);
    }
  }
}

SQLRETURN StmtSetAttr(Stmt* stmt, int32_t attr, uint64_t value, int32_t length, char marker) {
  void* ptr = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
  switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT:
    case SQL_ATTR_MAX_ROWS:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_MAX_LENGTH:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_CURSOR_TYPE:
    case SQL_ATTR_CONCURRENCY:
    case SQL_ATTR_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_ATTR_SIMULATE_CURSOR:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_USE_BOOKMARKS:
    case SQL_ATTR_ROW_NUMBER:
    case kAttr1052:
    case kAttr1054: return StmtSetOption(stmt, static_cast<uint16_t>(attr), value);
    case SQL_ATTR_ROW_BIND_TYPE:
      // A row size the descriptor cannot hold would be cut short and place every later row wrong.
      if (value > INT32_MAX) return fail(stmt, ERR_ATTR_VALUE);
      return DescSetFieldHandle(stmt->st_ard, 0, SQL_DESC_BIND_TYPE, value, length, marker);
    case SQL_ATTR_ENABLE_AUTO_IPD:
      // The IPD is filled only from the back end's parameter description.
      return value == 0 ? SQL_SUCCESS : changed(stmt);
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      stmt->st_fetchBookmarkPtr = static_cast<int64_t*>(ptr);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      return DescSetFieldHandle(stmt->st_apd, 0, SQL_DESC_BIND_OFFSET_PTR, value, length, marker);
    case SQL_ATTR_PARAM_BIND_TYPE:
      if (value > INT32_MAX) return fail(stmt, ERR_ATTR_VALUE);
      return DescSetFieldHandle(stmt->st_apd, 0, SQL_DESC_BIND_TYPE, value, length, marker);
    case SQL_ATTR_PARAM_OPERATION_PTR:
      return DescSetFieldHandle(stmt->st_apd, 0, SQL_DESC_ARRAY_STATUS_PTR, value, length, marker);
    case SQL_ATTR_PARAM_STATUS_PTR:
      stmt->st_ipd->de_arrayStatusPtr = static_cast<uint16_t*>(ptr);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: {
      stmt->st_ipd->de_rowsProcessedPtr = ptr;
      int32_t code = StmtParamOptions(stmt, static_cast<uint64_t>(stmt->st_apd->de_arraySize),
                                      static_cast<uint64_t*>(ptr));
      return code != 0 ? fail(stmt, code) : SQL_SUCCESS;
    }
    case SQL_ATTR_PARAMSET_SIZE:
      if (value == 0) return fail(stmt, ERR_ATTR_VALUE);
      return DescSetFieldHandle(stmt->st_apd, 0, SQL_DESC_ARRAY_SIZE, value, length, marker);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      return DescSetFieldHandle(stmt->st_ard, 0, SQL_DESC_BIND_OFFSET_PTR, value, length, marker);
    case SQL_ATTR_ROW_OPERATION_PTR:
      return DescSetFieldHandle(stmt->st_ard, 0, SQL_DESC_ARRAY_STATUS_PTR, value, length, marker);
    case SQL_ATTR_ROW_STATUS_PTR:
      stmt->st_ird->de_arrayStatusPtr = static_cast<uint16_t*>(ptr);
      return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR:
      stmt->st_rowsFetchedPtr = static_cast<uint64_t*>(ptr);
      stmt->st_ird->de_rowsProcessedPtr = ptr;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (value == 0) return fail(stmt, ERR_ATTR_VALUE);
      return DescSetFieldHandle(stmt->st_ard, 0, SQL_DESC_ARRAY_SIZE, value, length, marker);
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC: return app_desc(stmt, attr, value);
    case SQL_ATTR_METADATA_ID: return fail(stmt, ERR_NOT_CAPABLE);
    case SQL_ATTR_CURSOR_SCROLLABLE: {
      if (value == SQL_NONSCROLLABLE)
        return StmtSetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
      if (value != SQL_SCROLLABLE || stmt->st_cursor.sc_cursorType != SQL_CURSOR_FORWARD_ONLY)
        return SQL_SUCCESS;
      SQLRETURN rc = StmtSetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
      if (rc == SQL_SUCCESS_WITH_INFO && stmt->st_cursor.sc_cursorType != SQL_CURSOR_FORWARD_ONLY) {
        stmt->errCode = 0;
        return SQL_SUCCESS;
      }
      return rc;
    }
    case SQL_ATTR_CURSOR_SENSITIVITY:
      switch (value) {
        case SQL_UNSPECIFIED: return SQL_SUCCESS;
        case SQL_INSENSITIVE: {
          SQLRETURN rc = StmtSetOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY);
          if (rc != SQL_SUCCESS) return rc;
          rc = StmtSetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
          return rc == SQL_SUCCESS_WITH_INFO ? SQL_SUCCESS : rc;
        }
        case SQL_SENSITIVE: {
          if (stmt->st_cursor.sc_concurrency != SQL_CONCUR_READ_ONLY) return SQL_SUCCESS;
          SQLRETURN rc = StmtSetOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_VALUES);
          if (rc == SQL_SUCCESS_WITH_INFO &&
              stmt->st_cursor.sc_concurrency != SQL_CONCUR_READ_ONLY) {
            stmt->errCode = 0;
            return SQL_SUCCESS;
          }
          return rc;
        }
        default: return fail(stmt, ERR_ATTR_VALUE);
      }
    default: return fail(stmt, ERR_OPTION_TYPE);
  }
}

SQLRETURN SetStmtOptionImpl(Stmt* stmt, const CallSlot* args) {
  return StmtSetOption(stmt, SlotU16(args[0]), args[1]);
}

SQLRETURN GetStmtOptionImpl(Stmt* stmt, const CallSlot* args) {
  return StmtGetOption(stmt, SlotU16(args[0]), SlotAs<void*>(args[1]));
}

SQLRETURN SetStmtAttrImpl(Stmt* stmt, const CallSlot* args) {
  return StmtSetAttr(stmt, SlotI32(args[0]), args[1], SlotI32(args[2]),
                     SlotIsWide(args[3]) ? 'W' : 'A');
}

SQLRETURN GetStmtAttrImpl(Stmt* stmt, const CallSlot* args) {
  const int32_t attr = SlotI32(args[0]);
  void* value = SlotAs<void*>(args[1]);
  auto* strLen = SlotAs<int32_t*>(args[3]);
  // Every ODBC numeric statement attribute is an SQLULEN.
  const auto ulen = [value](uint64_t v) { return put(value, v); };
  switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT:
    case SQL_ATTR_MAX_ROWS:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_MAX_LENGTH:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_ROW_BIND_TYPE:
    case SQL_ATTR_CURSOR_TYPE:
    case SQL_ATTR_CONCURRENCY:
    case SQL_ATTR_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_ATTR_SIMULATE_CURSOR:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_USE_BOOKMARKS:
    case SQL_ATTR_ROW_NUMBER: {
      // The option is written in its own width into a zeroed slot, which then
      // goes out whole.
      uint64_t v = 0;
      SQLRETURN rc = StmtGetOption(stmt, static_cast<uint16_t>(attr), &v);
      if (rc != SQL_SUCCESS) return rc;
      return ulen(v);
    }
    case SQL_GET_BOOKMARK:
    case 1048:
    case 1049:
    case kAttr1052:
    case kAttr1054: return StmtGetOption(stmt, static_cast<uint16_t>(attr), value);
    case SQL_ATTR_ENABLE_AUTO_IPD: return ulen(SQL_FALSE);
    case SQL_ATTR_FETCH_BOOKMARK_PTR: return put_ptr(value, stmt->st_fetchBookmarkPtr);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: return put_ptr(value, stmt->st_apd->de_bindOffsetPtr);
    case SQL_ATTR_PARAM_BIND_TYPE: return ulen(static_cast<uint32_t>(stmt->st_apd->de_bindType));
    case SQL_ATTR_PARAM_OPERATION_PTR: return put_ptr(value, stmt->st_apd->de_arrayStatusPtr);
    case SQL_ATTR_PARAM_STATUS_PTR: return put_ptr(value, stmt->st_ipd->de_arrayStatusPtr);
    case SQL_ATTR_PARAMS_PROCESSED_PTR: return put_ptr(value, stmt->st_paramsProcessedPtr);
    case SQL_ATTR_PARAMSET_SIZE: return ulen(stmt->st_paramsetSize);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR: return put_ptr(value, stmt->st_ard->de_bindOffsetPtr);
    case SQL_ATTR_ROW_OPERATION_PTR: return put_ptr(value, stmt->st_ard->de_arrayStatusPtr);
    case SQL_ATTR_ROW_STATUS_PTR: return put_ptr(value, stmt->st_ird->de_arrayStatusPtr);
    case SQL_ATTR_ROWS_FETCHED_PTR: return put_ptr(value, stmt->st_rowsFetchedPtr);
    case SQL_ATTR_ROW_ARRAY_SIZE:
      return ulen(static_cast<uint64_t>(static_cast<int64_t>(stmt->st_cursor.sc_rowsetSize)));
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC: {
      const Desc* d = attr == SQL_ATTR_APP_ROW_DESC     ? stmt->st_ard
                      : attr == SQL_ATTR_APP_PARAM_DESC ? stmt->st_apd
                      : attr == SQL_ATTR_IMP_ROW_DESC   ? stmt->st_ird
                                                        : stmt->st_ipd;
      if (strLen != nullptr) *strLen = SQL_IS_POINTER;
      return put(value, static_cast<uint64_t>(d->handle));
    }
    case SQL_ATTR_METADATA_ID: return fail(stmt, ERR_NOT_CAPABLE);
    case SQL_ATTR_CURSOR_SCROLLABLE: {
      const int32_t t = stmt->st_cursor.sc_cursorType;
      return ulen(t >= 1 && t <= 3 ? SQL_SCROLLABLE : SQL_NONSCROLLABLE);
    }
    case SQL_ATTR_CURSOR_SENSITIVITY:
      return ulen(stmt->st_cursor.sc_concurrency == SQL_CONCUR_READ_ONLY ? SQL_INSENSITIVE
                                                                         : SQL_SENSITIVE);
    default: return fail(stmt, ERR_OPTION_TYPE);
  }
}
