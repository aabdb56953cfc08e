// descrec.cpp -- the record list of a descriptor and the application of an
// ARD or APD to a statement.
// Invariant: the nodes after the head are exactly de_count records; only
// DescTruncate leaves the count to its caller.
// Threading: under the connection's call lock.

#include <sqlext.h>

#include <cstdlib>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/descops.h"
#include "odbc/stmt.h"
#include "odbc/stmtattr.h"
#include "odbc/stmtbind.h"
#include "odbc/stmtrec.h"

namespace {

void free_node(DescRecNode* node) {
  DescRecClear(&node->rec);
  free(node);
}

// SQL types whose column size is a length rather than a precision.
bool is_length_sized(int16_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_BINARY || t == SQL_VARBINARY ||
         t == SQL_LONGVARBINARY || t == SQL_DATE || t == SQL_TIME;
}

}  // namespace

const char* DescTypeName(const Desc* desc) {
  if (desc->de_allocType == SQL_DESC_ALLOC_USER) return "USER";
  switch (desc->de_type) {
    case DESC_USER: return "USER";
    case DESC_IRD: return "IRD";
    case DESC_ARD: return "ARD";
    case DESC_IPD: return "IPD";
    case DESC_APD: return "APD";
    default: return "UNKNOWN_DESC";
  }
}

bool DescIsApplication(const Desc* desc) {
  return desc->de_type == DESC_ARD || desc->de_type == DESC_APD ||
         desc->de_allocType == SQL_DESC_ALLOC_USER;
}

int16_t DescRecCount(const Desc* desc) {
  int16_t n = 0;
  for (const DescRecNode* p = desc->de_recs != nullptr ? desc->de_recs->next : nullptr;
       p != nullptr; p = p->next)
    ++n;
  return n;
}

DescRec* DescGetRec(Desc* desc, int16_t n) {
  if (n < 0) return nullptr;
  DescRecNode* p = desc->de_recs;
  int16_t i = 0;
  if (desc->de_lastRec != nullptr && desc->de_lastRecNo <= n) {
    p = desc->de_lastRec;
    i = desc->de_lastRecNo;
  }
  for (; i < n && p != nullptr; ++i) p = p->next;
  if (p == nullptr) return nullptr;
  desc->de_lastRec = p;
  desc->de_lastRecNo = n;
  return &p->rec;
}

int32_t DescGrow(Desc* desc, int16_t n) {
  DescRecNode* tail = desc->de_recs;
  if (desc->de_lastRec != nullptr) tail = desc->de_lastRec;
  while (tail->next != nullptr) tail = tail->next;
  while (desc->de_count < n) {
    auto* node = static_cast<DescRecNode*>(calloc(1, sizeof(DescRecNode)));
    if (node == nullptr) return ERR_MEMORY;
    DescRecDefaults(desc, &node->rec);
    tail->next = node;
    tail = node;
    ++desc->de_count;
  }
  return 0;
}

void DescTruncate(Desc* desc, int16_t n) {
  DescRecNode* keep = desc->de_recs;
  for (int16_t i = 0; i < n && keep->next != nullptr; ++i) keep = keep->next;
  DescRecNode* drop = keep->next;
  keep->next = nullptr;
  if (desc->de_lastRecNo > n) desc->de_lastRec = nullptr;
  while (drop != nullptr) {
    DescRecNode* next = drop->next;
    free_node(drop);
    drop = next;
  }
}

void DescRecClear(DescRec* rec) {
  rec->dr_indicatorPtr = nullptr;
  rec->dr_octetLengthPtr = nullptr;
  rec->dr_dataPtr = nullptr;
  free(rec->dr_name);
  rec->dr_name = nullptr;
}

void DescRecDefaults(const Desc* desc, DescRec* rec) {
  if (desc->de_allocType == SQL_DESC_ALLOC_USER) return;
  switch (desc->de_type) {
    case DESC_ARD:
    case DESC_APD:
      rec->dr_conciseType = SQL_C_DEFAULT;
      rec->dr_type = SQL_C_DEFAULT;
      rec->dr_dataPtr = nullptr;
      rec->dr_indicatorPtr = nullptr;
      rec->dr_octetLengthPtr = nullptr;
      break;
    case DESC_IPD: rec->dr_paramType = SQL_PARAM_INPUT; break;
    default: break;
  }
}

void DescRecTypeFromConcise(DescRec* rec) {
  const int16_t t = rec->dr_conciseType;
  switch (t) {
    case SQL_DATE:
    case SQL_TYPE_DATE:
      rec->dr_type = SQL_DATETIME;
      rec->dr_intervalCode = SQL_CODE_DATE;
      break;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      rec->dr_type = SQL_DATETIME;
      rec->dr_intervalCode = SQL_CODE_TIME;
      break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      rec->dr_type = SQL_DATETIME;
      rec->dr_intervalCode = SQL_CODE_TIMESTAMP;
      break;
    default:
      if (t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE_TO_SECOND) {
        rec->dr_type = SQL_INTERVAL;
        rec->dr_intervalCode = static_cast<int16_t>(t - 100);
      } else {
        rec->dr_type = t;
        rec->dr_intervalCode = 0;
      }
      break;
  }
}

int32_t StmtApplyArd(Stmt* stmt, Desc* desc) {
  // The buffers of the descriptor that was current are no longer the statement's.
  StmtDropColBindings(stmt);
  const auto ptr = [](const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
  };
  if (StmtSetAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, ptr(desc->de_bindOffsetPtr), 8, 'A') !=
          SQL_SUCCESS ||
      StmtSetAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, static_cast<uint32_t>(desc->de_bindType), 4, 'A') !=
          SQL_SUCCESS ||
      StmtSetAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, ptr(desc->de_arrayStatusPtr), 8, 'A') !=
          SQL_SUCCESS)
    return ERR_GENERAL;
  // A rowset size the statement cannot take now (in the middle of a forward-only
  // block) is answered as setting it directly is, and the descriptor still becomes
  // the statement's whole.
  const SQLRETURN sized = StmtSetAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                                      static_cast<uint64_t>(desc->de_arraySize), 8, 'A');
  if (!SQL_SUCCEEDED(sized)) return stmt->errCode != 0 ? stmt->errCode : ERR_GENERAL;
  for (int16_t n = 0; n <= desc->de_count; ++n) {
    DescRec* rec = DescGetRec(desc, n);
    if (rec == nullptr || rec->dr_dataPtr == nullptr) continue;
    int32_t code = StmtBindColPtrs(
        stmt, static_cast<uint16_t>(n), rec->dr_conciseType, rec->dr_dataPtr, rec->dr_octetLength,
        static_cast<int64_t*>(rec->dr_octetLengthPtr), static_cast<int64_t*>(rec->dr_indicatorPtr));
    if (code != 0) return code;
  }
  return sized == SQL_SUCCESS ? 0 : ERR_OPTION_CHANGED;
}

SQLRETURN StmtBindParamRecord(Stmt* stmt, int16_t n, const DescRec* app) {
  const DescRec* i = DescGetRec(stmt->st_ipd, n);
  if (i == nullptr) {
    stmt->errCode = ERR_MEMORY;
    return SQL_ERROR;
  }
  const uint64_t size = is_length_sized(i->dr_conciseType)
                            ? i->dr_length
                            : static_cast<uint64_t>(static_cast<int64_t>(i->dr_precision));
  int16_t digits = 0;
  if (i->dr_conciseType == SQL_NUMERIC || i->dr_conciseType == SQL_DECIMAL)
    digits = i->dr_scale;
  else if (i->dr_conciseType == SQL_DATE || i->dr_conciseType == SQL_TIME)
    digits = i->dr_precision;
  return StmtBindParameter(stmt, static_cast<uint16_t>(n), i->dr_paramType, app->dr_conciseType,
                           i->dr_conciseType, size, digits, app->dr_dataPtr, app->dr_octetLength,
                           static_cast<int64_t*>(app->dr_octetLengthPtr),
                           static_cast<int64_t*>(app->dr_indicatorPtr));
}

int32_t StmtApplyApd(Stmt* stmt, Desc* desc) {
  StmtResetParams(stmt);
  const auto ptr = [](const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
  };
  if (StmtSetAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, ptr(desc->de_bindOffsetPtr), 8, 'A') !=
          SQL_SUCCESS ||
      StmtSetAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, static_cast<uint32_t>(desc->de_bindType), 4,
                  'A') != SQL_SUCCESS ||
      StmtSetAttr(stmt, SQL_ATTR_PARAM_OPERATION_PTR, ptr(desc->de_arrayStatusPtr), 8, 'A') !=
          SQL_SUCCESS ||
      StmtSetAttr(stmt, SQL_ATTR_PARAMSET_SIZE, static_cast<uint64_t>(desc->de_arraySize), 8,
                  'A') != SQL_SUCCESS)
    return ERR_GENERAL;
  Desc* ipd = stmt->st_ipd;
  if (ipd->de_count < desc->de_count &&
      DescSetFieldHandle(ipd, 0, SQL_DESC_COUNT, static_cast<uint16_t>(desc->de_count), 2, 'A') !=
          SQL_SUCCESS)
    return ERR_GENERAL;
  for (int16_t n = 0; n <= desc->de_count; ++n) {
    DescRec* rec = DescGetRec(desc, n);
    if (rec == nullptr || rec->dr_dataPtr == nullptr) continue;
    if (StmtBindParamRecord(stmt, n, rec) == SQL_ERROR) return stmt->errCode;
  }
  return 0;
}
