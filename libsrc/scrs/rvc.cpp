// rvc.cpp -- row versions of dynamic cursors in the table DIVAZA, on a
// separate connection per cursor (see rvc.h).
// The per-server lists own their entries and live while they have one; an RVC
// refers to its list only, and only while its entry is there.
// Threading: the lists are process-wide and guarded by SCR_ConnListLock, which
// is held while a separate connection is made, never while a statement runs.

#include "scrs/rvc.h"

#include <md5.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/scs.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"

struct RvcConn {
  uint32_t hConn;
  uint32_t hCursor;
  int32_t refs;
  RvcConn* next;
};

struct RvcConnList {
  DrvHandle hServer;
  DriverRecord* driver;     // through which the separate connections are made and used
  uint32_t describeParams;  // DIVAZA statements describe their parameters
  RvcConn* head;
  RvcConnList* next;
};

namespace {

// One list per server that has a dynamic cursor with row versions.
RvcConnList* lists = nullptr;

constexpr uint32_t kHexLen = 32;
// A parameter: 32 characters and a NUL. Plain text is what every agent binds
// as a character host value; a length-prefixed one the agent may not take.
constexpr uint32_t kParamWidth = kHexLen + 1;

constexpr const char* kSessionSql = "SELECT DBINFO('sessionid') FROM systables WHERE tabid = 1";

const DriverOps& ops(const RVC& rvc) { return *rvc.list->driver->ops; }

// The WHERE of the cursor's rows: HCONN and HCURS as 8 upper-case hex digits.
void cursor_texts(const RVC& rvc, char (&hconn)[9], char (&hcurs)[9]) {
  std::snprintf(hconn, sizeof hconn, "%08lX", static_cast<unsigned long>(rvc.session));
  std::snprintf(hcurs, sizeof hcurs, "%08lX", static_cast<unsigned long>(rvc.hCursor));
}

struct Texts {
  char read[160];
  char refresh[160];
  char record[128];
  char forget[128];
};

Texts texts_of(const RVC& rvc) {
  char c[9];
  char k[9];
  cursor_texts(rvc, c, k);
  Texts t{};
  std::snprintf(t.read, sizeof t.read,
                "SELECT ROWVER FROM DIVAZA WHERE HCONN = '%s' AND HCURS = '%s' AND KEYVER = ?", c,
                k);
  std::snprintf(t.refresh, sizeof t.refresh,
                "UPDATE DIVAZA SET ROWVER = ? WHERE HCONN = '%s' AND HCURS = '%s' AND KEYVER = ?",
                c, k);
  std::snprintf(t.record, sizeof t.record, "INSERT INTO DIVAZA VALUES ( '%s', '%s', ?, ?)", c, k);
  std::snprintf(t.forget, sizeof t.forget,
                "DELETE FROM DIVAZA WHERE HCONN = '%s' AND HCURS = '%s'", c, k);
  return t;
}

// A one-row Dataset of n text parameters of 32 characters.
int32_t params_new(Dataset* ds, uint16_t n) {
  if (DatasetInit(ds, n) != 0) return ERR_MEMORY;
  ds->colCount = n;
  for (uint16_t c = 0; c < n; ++c) {
    ds->cols[c].type = DS_STRING;
    ds->cols[c].width = kParamWidth;
  }
  if (DatasetSetRows(ds, 1) != 0) {
    DatasetFree(ds);
    return ERR_MEMORY;
  }
  ds->rowCount = 1;
  return 0;
}

void param_set(Dataset* ds, uint16_t c, const uint8_t digest[16]) {
  RVC_ToHex(digest, ds->cols[c].data, kHexLen + 1);
  ds->cols[c].ind[0] = 0;
}

bool succeeded(int32_t rc) { return rc == 0 || rc == ERR_WARNING; }

// Hands a copy of the parameters to the separate cursor and runs what is
// prepared there.
int32_t run(const RVC& rvc, const Dataset* params) {
  Dataset* copy = nullptr;
  if (DatasetClone(&copy, params) != 0) return ERR_MEMORY;
  int32_t rc = ops(rvc).DRV_SetParams(rvc.rvcCursor, copy);
  if ((rvc.list->driver->caps & DRV_CAP_CALLER_OWNS_DATA) != 0) {
    DatasetFree(copy);
    std::free(copy);
  }
  if (!succeeded(rc)) return rc;
  if (rvc.list->describeParams != 0) {
    ParamShadow types[2];
    for (ParamShadow& t : types) t = ParamShadow{SQL_CHAR, SQL_C_CHAR, kHexLen, 0, SQL_PARAM_INPUT};
    rc = ops(rvc).DRV_SetParamTypes(rvc.rvcCursor, params->colCount, types);
    if (!succeeded(rc)) return rc;
  }
  return ops(rvc).DRV_Execute(rvc.rvcCursor);
}

// The first column of row 0 as a non-negative number, or false.
bool number_of(const Dataset& ds, uint32_t* out) {
  if (ds.rowCount < 1 || ds.colCount < 1 || ds.cols[0].ind == nullptr ||
      ds.cols[0].ind[0] == DS_IND_NULL)
    return false;
  const DatasetColumn& col = ds.cols[0];
  char buf[64] = {};
  uint32_t len = sizeof buf - 1;
  if (DatasetGetValue(&ds, 0, 0, buf, &len) != 0) return false;
  int64_t v = -1;
  switch (col.type) {
    case DS_SMALLINT: { int16_t x; std::memcpy(&x, buf, 2); v = x; break; }
    case DS_INTEGER: { int32_t x; std::memcpy(&x, buf, 4); v = x; break; }
    case DS_UINTEGER: { uint32_t x; std::memcpy(&x, buf, 4); v = x; break; }
    case DS_DOUBLE: { double x; std::memcpy(&x, buf, 8); v = static_cast<int64_t>(x); break; }
    case DS_CHAR: case DS_STRING: case DS_VARCHAR1: case DS_VARCHAR2: case DS_VARCHAR4:
      buf[len] = '\0';
      v = std::strtoll(buf, nullptr, 10);
      break;
    default: return false;
  }
  if (v < 0 || v > UINT32_MAX) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

// The server's number of the separate connection's session: unique across the
// server while the session lives, which the cursor's rows need.
int32_t session_of(const RVC& rvc, uint32_t* session) {
  int32_t rc = ops(rvc).DRV_Prepare(rvc.rvcCursor, kSessionSql);
  if (succeeded(rc)) rc = ops(rvc).DRV_Execute(rvc.rvcCursor);
  Dataset ds{};
  if (succeeded(rc)) rc = ops(rvc).DRV_Fetch(rvc.rvcCursor, 1, &ds);
  if (succeeded(rc)) rc = number_of(ds, session) ? 0 : ERR_GENERAL;
  DatasetFree(&ds);
  (void)ops(rvc).DRV_CloseCursor(rvc.rvcCursor);
  return succeeded(rc) ? 0 : rc;
}

// Every row of the result prepared and run on the separate cursor, read in blocks.
int32_t read_all(const RVC& rvc, Dataset* all) {
  constexpr uint16_t kBlock = 32;
  int32_t rc = ops(rvc).DRV_Fetch(rvc.rvcCursor, kBlock, all);
  for (int32_t got = succeeded(rc) ? all->rowCount : 0; succeeded(rc) && got >= kBlock;) {
    Dataset more{};
    rc = ops(rvc).DRV_Fetch(rvc.rvcCursor, kBlock, &more);
    got = succeeded(rc) ? more.rowCount : 0;
    if (succeeded(rc) && got > 0 && DatasetAppend(all, &more) != 0) rc = ERR_MEMORY;
    DatasetFree(&more);
  }
  (void)ops(rvc).DRV_CloseCursor(rvc.rvcCursor);
  return rc == ERR_NO_DATA ? 0 : rc;
}

// 8 upper-case hexadecimal digits, as this driver writes HCONN.
bool hconn_value(const std::string& text, uint32_t* out) {
  if (text.size() != 8) return false;
  uint32_t v = 0;
  for (char c : text) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  *out = v;
  return true;
}

// Rows of sessions that no longer exist (a process that was killed, or ended without
// freeing its cursors) are no cursor's: they go, so that the table does not grow for
// good. The sessions are read after the rows, so that a session that wrote rows meanwhile
// is found alive. Rows whose HCONN this driver did not write are left alone. Best
// effort: a server without a list of its sessions keeps them.
void forget_dead_sessions(const RVC& rvc) {
  Dataset owners{};
  Dataset live{};
  std::vector<uint32_t> dead;
  int32_t rc = ops(rvc).DRV_Prepare(rvc.rvcCursor, "SELECT DISTINCT HCONN FROM DIVAZA");
  if (succeeded(rc)) rc = ops(rvc).DRV_Execute(rvc.rvcCursor);
  if (succeeded(rc)) rc = read_all(rvc, &owners);
  if (succeeded(rc) && owners.rowCount > 0) {
    rc = ops(rvc).DRV_Prepare(rvc.rvcCursor, "SELECT sid FROM sysmaster:syssessions");
    if (succeeded(rc)) rc = ops(rvc).DRV_Execute(rvc.rvcCursor);
    if (succeeded(rc)) rc = read_all(rvc, &live);
  }
  if (succeeded(rc) && live.rowCount > 0) {
    std::set<uint32_t> alive;
    for (int32_t r = 0; r < live.rowCount; ++r) {
      int64_t sid = 0;
      if (scs_p_CellInt(&live, static_cast<uint32_t>(r), 0, &sid))
        alive.insert(static_cast<uint32_t>(sid));
    }
    std::string text;
    uint32_t session = 0;
    for (int32_t r = 0; r < owners.rowCount; ++r)
      if (scs_p_CellText(&owners, static_cast<uint32_t>(r), 0, &text) == 0 &&
          hconn_value(text, &session) && alive.count(session) == 0)
        dead.push_back(session);
  }
  DatasetFree(&owners);
  DatasetFree(&live);
  for (uint32_t session : dead) {
    char sql[64];
    std::snprintf(sql, sizeof sql, "DELETE FROM DIVAZA WHERE HCONN = '%08lX'",
                  static_cast<unsigned long>(session));
    int32_t done = ops(rvc).DRV_Prepare(rvc.rvcCursor, sql);
    if (succeeded(done)) done = ops(rvc).DRV_Execute(rvc.rvcCursor);
    // Another cursor's opening may have removed them first.
    if (!succeeded(done) && done != ERR_NO_DATA) break;
  }
}

// REQUIRES: SCR_ConnListLock held.
RvcConnList* list_of(DrvHandle hServer) {
  for (RvcConnList* l = lists; l != nullptr; l = l->next)
    if (l->hServer == hServer) return l;
  return nullptr;
}

// A server's list goes with its last separate connection: the next cursor of the
// server makes a new one.
// REQUIRES: SCR_ConnListLock held.
void drop_if_empty(RvcConnList* list) {
  if (list->head != nullptr) return;
  for (RvcConnList** p = &lists; *p != nullptr; p = &(*p)->next) {
    if (*p != list) continue;
    *p = list->next;
    std::free(list);
    return;
  }
}

}  // namespace

int32_t RVC_Open(RVC* rvc, DriverRecord* driver, uint32_t hConn, uint32_t hCursor,
                 uint32_t describeParams) {
  DriverConnectParams params{};
  DrvHandle hServer = 0;
  if (rvc == nullptr || driver == nullptr || scs_p_SavedConnect(hConn, &params, &hServer) != 0)
    return ERR_GENERAL;
  RVC opened{nullptr, hConn, hCursor, 0, 0};
  {
    CriticalSectionLock guard(&SCR_ConnListLock);
    auto* conn = static_cast<RvcConn*>(std::calloc(1, sizeof(RvcConn)));
    if (conn == nullptr) return ERR_MEMORY;
    RvcConnList* list = list_of(hServer);
    if (list == nullptr) {
      list = static_cast<RvcConnList*>(std::calloc(1, sizeof(RvcConnList)));
      if (list == nullptr) {
        std::free(conn);
        return ERR_MEMORY;
      }
      list->hServer = hServer;
      list->next = lists;
      lists = list;
    }
    if (list->head == nullptr) {
      list->driver = driver;
      list->describeParams = describeParams;
    }
    int32_t rc = driver->ops->DRV_Connect(hServer, &params, &conn->hConn);
    if (rc == 0) {
      rc = driver->ops->DRV_AllocCursor(conn->hConn, &conn->hCursor);
      if (rc != 0) (void)driver->ops->DRV_EndConnect(conn->hConn);
    }
    if (rc != 0) {
      std::free(conn);
      drop_if_empty(list);
      return rc;
    }
    conn->refs = 1;
    RvcConn** tail = &list->head;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = conn;
    opened.list = list;
    opened.rvcCursor = conn->hCursor;
  }
  if (int32_t rc = session_of(opened, &opened.session); rc != 0) {
    RVC_MoveDiagnostics(&opened);
    (void)RVC_Release(&opened);
    return rc;
  }
  forget_dead_sessions(opened);
  *rvc = opened;
  return 0;
}

int32_t RVC_DeleteRows(RVC* rvc) {
  if (rvc == nullptr || rvc->list == nullptr) return ERR_GENERAL;
  const Texts t = texts_of(*rvc);
  int32_t rc = ops(*rvc).DRV_Prepare(rvc->rvcCursor, t.forget);
  if (succeeded(rc)) rc = ops(*rvc).DRV_Execute(rvc->rvcCursor);
  // A cursor with no rows recorded has nothing to forget.
  if (succeeded(rc) || rc == ERR_NO_DATA) return 0;
  INF_CursorKeepErrors(rvc->hCursor, 1);
  RVC_MoveDiagnostics(rvc);
  INF_CursorSetError(rvc->hCursor, ERR_NO_ROWVERSION_TABLE);
  INF_CursorKeepErrors(rvc->hCursor, 0);
  return rc;
}

int32_t RVC_CheckRowset(RVC* rvc, const Dataset* keys, const Dataset* rows, uint16_t* statuses) {
  if (rvc == nullptr || rvc->list == nullptr || keys == nullptr || rows == nullptr ||
      statuses == nullptr)
    return ERR_ARGUMENT;
  const int32_t n = rows->rowCount;
  if (n <= 0) return 0;
  if (keys->rowCount < n) return ERR_ARGUMENT;
  const Texts t = texts_of(*rvc);
  Dataset fetched{};
  Dataset one{};
  auto* keyDigests = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(n), 16));
  auto* rowDigests = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(n), 16));
  int32_t rc = keyDigests != nullptr && rowDigests != nullptr ? params_new(&one, 1) : ERR_MEMORY;
  int32_t changed = 0;
  int32_t added = 0;
  if (rc == 0) rc = ops(*rvc).DRV_Prepare(rvc->rvcCursor, t.read);
  for (int32_t k = 0; succeeded(rc) && k < n; ++k) {
    uint8_t* kd = keyDigests + 16 * k;
    uint8_t* rd = rowDigests + 16 * k;
    rc = RVC_RowDigest(keys, k, kd);
    if (rc == 0) rc = RVC_RowDigest(rows, k, rd);
    if (rc != 0) break;
    param_set(&one, 0, kd);
    rc = run(*rvc, &one);
    // No stored version (ERR_NO_DATA): the row is new to the cursor.
    if (succeeded(rc)) rc = read_all(*rvc, &fetched);
    if (!succeeded(rc)) break;
    rc = 0;
    if (fetched.rowCount == 0) {
      statuses[k] = SQL_ROW_ADDED;
      ++added;
    } else {
      // The stored text comes back in the agent's character form (UTF-16
      // from a wide agent), so it is compared as text. Rows the cursor did
      // not write may share its key (a copy of a row, another program's):
      // the row counts as unchanged only when every stored version is its
      // version now, and the refresh then sets them all.
      char now[kHexLen + 1];
      RVC_ToHex(rd, now, sizeof now);
      bool same = true;
      std::string stored;
      for (int32_t r = 0; same && r < fetched.rowCount; ++r)
        same = scs_p_CellText(&fetched, static_cast<uint32_t>(r), 0, &stored) == 0 && stored == now;
      statuses[k] = same ? SQL_ROW_SUCCESS : SQL_ROW_UPDATED;
      if (!same) ++changed;
    }
    DatasetFree(&fetched);
  }
  if (rc == 0 && changed > 0) rc = RVC_UpdateRowVer(rvc, keyDigests, rowDigests, statuses, n);
  if (rc == 0 && added > 0) {
    DatasetFree(&one);
    rc = params_new(&one, 2);
    if (rc == 0) rc = ops(*rvc).DRV_Prepare(rvc->rvcCursor, t.record);
    for (int32_t k = 0; succeeded(rc) && k < n; ++k) {
      if (statuses[k] != SQL_ROW_ADDED) continue;
      statuses[k] = SQL_ROW_ERROR;
      param_set(&one, 0, keyDigests + 16 * k);
      param_set(&one, 1, rowDigests + 16 * k);
      rc = run(*rvc, &one);
      if (succeeded(rc)) statuses[k] = SQL_ROW_SUCCESS;
    }
  }
  if (succeeded(rc)) rc = 0;
  DatasetFree(&fetched);
  DatasetFree(&one);
  std::free(keyDigests);
  std::free(rowDigests);
  if (rc != 0) RVC_MoveDiagnostics(rvc);
  return rc;
}

int32_t RVC_UpdateRowVer(RVC* rvc, const uint8_t* keyDigests, const uint8_t* rowDigests,
                         uint16_t* statuses, int32_t count) {
  if (rvc == nullptr || rvc->list == nullptr || keyDigests == nullptr || rowDigests == nullptr ||
      statuses == nullptr)
    return ERR_ARGUMENT;
  Dataset two{};
  if (params_new(&two, 2) != 0) return ERR_MEMORY;
  const Texts t = texts_of(*rvc);
  int32_t rc = ops(*rvc).DRV_Prepare(rvc->rvcCursor, t.refresh);
  if (!succeeded(rc)) {
    DatasetFree(&two);
    return rc;
  }
  for (int32_t j = 0; j < count; ++j) {
    if (statuses[j] != SQL_ROW_UPDATED) continue;
    param_set(&two, 0, rowDigests + 16 * j);
    param_set(&two, 1, keyDigests + 16 * j);
    rc = run(*rvc, &two);
    int32_t affected = 0;
    if (succeeded(rc)) {
      uint16_t len = 0;
      rc = ops(*rvc).DRV_GetInfo(rvc->rvcCursor, DRVP_ROW_COUNT, &affected, 4, &len);
    }
    if (!succeeded(rc) || affected <= 0) statuses[j] = SQL_ROW_ERROR;
  }
  DatasetFree(&two);
  return succeeded(rc) ? 0 : rc;
}

int32_t RVC_RowDigest(const Dataset* ds, int32_t row, uint8_t out[16]) {
  if (ds == nullptr || out == nullptr || row < 0 || row >= ds->rowCount) return ERR_GENERAL;
  uint32_t widest = 0;
  for (uint16_t c = 0; c < ds->colCount; ++c)
    if (ds->cols[c].width > widest) widest = ds->cols[c].width;
  auto* value = static_cast<uint8_t*>(std::malloc(widest + 1));
  if (value == nullptr) return ERR_MEMORY;
  MD5_CTX ctx;
  MD5Init(&ctx);
  int32_t rc = 0;
  for (uint16_t c = 0; c < ds->colCount && rc == 0; ++c) {
    const DatasetColumn& col = ds->cols[c];
    // Long values are left out: reading them would cost more than a version is worth.
    if (col.type == DS_LONGCHAR || col.type == DS_LONGBINARY || col.type == DS_LONGWCHAR) continue;
    if (col.ind == nullptr || col.data == nullptr) {
      rc = ERR_GENERAL;
      break;
    }
    // The NULL mark and the length keep NULL apart from an empty value and
    // keep a value that moved from one column to the next from matching.
    const uint8_t isNull = col.ind[row] == DS_IND_NULL ? 1 : 0;
    uint32_t len = widest;
    if (isNull == 0 && DatasetGetValue(ds, static_cast<uint32_t>(row), c, value, &len) != 0)
      rc = ERR_GENERAL;
    if (isNull != 0) len = 0;
    uint8_t head[5] = {isNull, static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                       static_cast<uint8_t>(len >> 16), static_cast<uint8_t>(len >> 24)};
    MD5Update(&ctx, head, sizeof head);
    if (len > 0) MD5Update(&ctx, value, len);
  }
  MD5Final(out, &ctx);
  std::free(value);
  return rc;
}

void RVC_ToHex(const uint8_t in[16], char* out, uint32_t outSize) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (out == nullptr || outSize == 0) return;
  const uint32_t fit = (outSize - 1) / 2 < 16 ? (outSize - 1) / 2 : 16;
  uint32_t i = 0;
  for (; i < fit; ++i) {
    out[2 * i] = kDigits[in[i] >> 4];
    out[2 * i + 1] = kDigits[in[i] & 0xF];
  }
  out[2 * i] = '\0';
}

int32_t RVC_Release(RVC* rvc) {
  if (rvc == nullptr || rvc->list == nullptr) return 0;
  RvcConnList* list = rvc->list;
  RvcConn* gone = nullptr;
  DriverRecord* driver = nullptr;
  {
    CriticalSectionLock guard(&SCR_ConnListLock);
    for (RvcConn** p = &list->head; *p != nullptr; p = &(*p)->next) {
      if ((*p)->hCursor != rvc->rvcCursor) continue;
      if ((*p)->refs-- == 1) {
        gone = *p;
        *p = gone->next;
      }
      break;
    }
    driver = list->driver;
    drop_if_empty(list);
  }
  if (gone != nullptr) {
    (void)driver->ops->DRV_EndCursor(gone->hCursor);
    (void)driver->ops->DRV_EndConnect(gone->hConn);
    std::free(gone);
  }
  rvc->list = nullptr;
  rvc->rvcCursor = 0;
  return 0;
}

void RVC_MoveDiagnostics(RVC* rvc) {
  if (rvc == nullptr || rvc->list == nullptr) return;
  DrvHandle hConn = 0;
  {
    CriticalSectionLock guard(&SCR_ConnListLock);
    for (const RvcConn* c = rvc->list->head; c != nullptr; c = c->next)
      if (c->hCursor == rvc->rvcCursor) hConn = c->hConn;
  }
  if (hConn == 0) return;
  INF_CursorMoveErrors(rvc->rvcCursor, rvc->hCursor, 0);
  INF_ConnMoveErrors(hConn, rvc->hCursor);
}

int32_t scs_p_OpenRowVersions(SCS* scs) {
  if (scs->sc_cursorType != SCS_DYNAMIC || scs->sc_hasRowVersions == 0) return 0;
  if (scs->sc_rvc == nullptr) {
    auto* rvc = static_cast<RVC*>(std::calloc(1, sizeof(RVC)));
    if (rvc == nullptr) return ERR_MEMORY;
    if (int32_t rc = RVC_Open(rvc, &SCR_BaseDriver, scs->sc_hConn, scs->sc_hCursor,
                              scs->sc_resendParamTypes);
        rc != 0) {
      std::free(rvc);
      return rc;
    }
    scs->sc_rvc = rvc;
  }
  // Rows left by an earlier cursor of the same session and handle are not this one's.
  return RVC_DeleteRows(scs->sc_rvc);
}

void scs_p_CloseRowVersions(SCS* scs) {
  if (scs->sc_rvc == nullptr) return;
  (void)RVC_DeleteRows(scs->sc_rvc);
  (void)RVC_Release(scs->sc_rvc);
  std::free(scs->sc_rvc);
  scs->sc_rvc = nullptr;
}
