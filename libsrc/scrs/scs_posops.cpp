// scs_posops.cpp -- SetPos on an emulated cursor: the hooks that take the
// request (and let the agent collect its data-at-execution values first) and
// the positioned delete, update and add of rowset rows as generated SQL on the
// first auxiliary cursor, each row found by its keys and, under value
// concurrency, by the old values of the columns the cursor holds them for.
// A request's rows and column list stay in the cursor's context until the
// operation ends and are freed there; status arrays go to the caller.
// Threading: inside calls on the cursor's connection, one at a time.
// Not here: refreshing rows (the fetch reads them again) and the keyset's
// own upkeep (ks).

#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/scs.h"
#include "scrs/dsc.h"
#include "scrs/ks.h"
#include "scrs/posops.h"
#include "scrs/scs_p.h"
#include "util/dynarray.h"
#include "util/log.h"

// The statements positioned operations prepared, each on an agent cursor of its own,
// by text. The text names a statement's shape whole (the table, the columns set or
// inserted, the key and old-value predicates), so a row whose statement has the same
// text runs it again, in this call or a later one, and a change of the bound columns
// or of the columns whose old values are compared, which changes the text, prepares
// another; the one used least recently goes when more shapes are held than a cursor
// has use for.
struct PosStatements {
  struct Entry {
    std::string text;
    DrvHandle cursor = 0;
    uint64_t used = 0;
  };
  std::vector<Entry> entries;
  uint64_t clock = 0;
};

namespace {

constexpr const char* kSrc = "scrs/scs_posops";

const DriverOps& ops(const SCS& s) { return *s.sc_driver->ops; }

bool is_long(int32_t t) { return t == DS_LONGCHAR || t == DS_LONGBINARY || t == DS_LONGWCHAR; }

template <typename T>
T* items(const DynArray* a) {
  return a != nullptr ? static_cast<T*>(a->items) : nullptr;
}
// The columns of row k that carry a value (a DS_IND_IGNORE cell leaves its
// column out of that row's statement).
std::vector<uint16_t> present(const Dataset* values, int32_t k) {
  std::vector<uint16_t> out;
  for (uint16_t c = 0; c < values->colCount; ++c)
    if (values->cols[c].ind != nullptr && values->cols[c].ind[k] != DS_IND_IGNORE) out.push_back(c);
  return out;
}

// A row whose every cell is DS_IND_IGNORE is left out of the operation.
bool ignored(const Dataset* rows, int32_t k) {
  return rows != nullptr && k < rows->rowCount && present(rows, k).empty();
}

// The table a positioned statement changes: the first of the SELECT's tables.
bool table_name(const SCS& s, std::string* out) {
  const TblDesc* t = items<TblDesc>(s.sc_tables);
  if (scs_p_Count(s.sc_tables) == 0 || t->table == nullptr || t->table[0] == '\0') return false;
  out->clear();
  if (t->owner != nullptr && t->owner[0] != '\0') {
    *out += t->owner;
    *out += '.';
  }
  *out += t->table;
  return true;
}

void add_key_predicate(const SCS& s, std::string* text, std::vector<ParamShadow>* types) {
  const KS& ks = *s.sc_keyset;
  const ColDesc* keys = items<ColDesc>(ks.keyCols);
  *text += " WHERE ";
  for (uint32_t i = 0; i < scs_p_Count(ks.keyCols); ++i) {
    if (i > 0) *text += " AND ";
    *text += keys[i].name;
    *text += " = ?";
    ParamShadow t{};
    scs_p_ParamTypeFromColDesc(&keys[i], &t);
    types->push_back(t);
  }
}

// "col = ?" of a result column, quoted as the server wants identifiers, and
// the type its value is sent with.
int32_t add_column(SCS* s, uint16_t column, std::string* text, std::vector<ParamShadow>* types) {
  ColumnInfo* info = nullptr;
  if (int32_t rc = scs_p_ResultColName(s, column, &info); rc != 0) return rc;
  const char* name =
      info->fullName != nullptr && info->fullName[0] != '\0' ? info->fullName : info->name;
  *text += scs_p_CatalogIdentifier(s, name);
  ColDesc d{};
  d.sqlType = static_cast<int16_t>(info->sqlType);
  d.columnSize = info->precision > 0 ? static_cast<uint32_t>(info->precision) : 0;
  d.decimalDigits = info->scale;
  ParamShadow t{};
  scs_p_ParamTypeFromColDesc(&d, &t);
  types->push_back(t);
  return 0;
}

// " AND col IS NULL" / " AND col = ?" for every column whose old value the
// cursor holds and a comparison can use: the old values are the rows of the
// table columns (sc_tableCols, in order), and a long column or an expression
// cannot be compared, so neither is named.
int32_t add_old_values(const SCS& s, int32_t oldRow, std::string* text,
                       std::vector<ParamShadow>* types, std::vector<uint16_t>* params) {
  const Dataset* old = s.sc_optValues;
  const ColDesc* cols = items<ColDesc>(s.sc_tableCols);
  if (old == nullptr || oldRow < 0 || oldRow >= old->rowCount ||
      old->colCount != scs_p_Count(s.sc_tableCols))
    return ERR_GENERAL;
  for (uint16_t c = 0; c < old->colCount; ++c) {
    if (is_long(old->cols[c].type) || scs_p_IsExprCol(&cols[c]) != 0) continue;
    *text += " AND ";
    *text += cols[c].name;
    if (old->cols[c].ind[oldRow] == DS_IND_NULL) {
      *text += " IS NULL";
      continue;
    }
    *text += " = ?";
    ParamShadow t{};
    scs_p_ParamTypeFromColDesc(&cols[c], &t);
    types->push_back(t);
    params->push_back(c);
  }
  return 0;
}

// Row `row` of src as one parameter row; only the listed columns when keep is
// given (none listed: no piece).
int32_t piece(const SCS& s, Dataset* src, int32_t row, const std::vector<uint16_t>* keep,
              int trimFixed, Dataset** out) {
  *out = nullptr;
  if (keep != nullptr && keep->empty()) return 0;
  if (int32_t rc = KS_RowsToParamRow(src, static_cast<uint32_t>(row), 1, 1, out,
                                     static_cast<int>(s.sc_info04), trimFixed, 0, nullptr, nullptr);
      rc != 0)
    return rc;
  if (keep == nullptr) return 0;
  for (int32_t c = src->colCount - 1; c >= 0; --c) {
    bool kept = false;
    for (uint16_t k : *keep) kept = kept || k == c;
    if (kept) continue;
    if (int32_t rc = DatasetDeleteColumn(*out, static_cast<uint16_t>(c)); rc != 0) {
      scs_p_FreeDataset(out);
      return rc;
    }
  }
  return 0;
}

// *all's columns followed by more's; more is consumed.
int32_t append(Dataset** all, Dataset* more) {
  if (more == nullptr) return 0;
  if (*all == nullptr) {
    *all = more;
    return 0;
  }
  const int32_t rc = DatasetJoin(more, *all);
  scs_p_FreeDataset(all);
  *all = more;
  return rc;
}

// Hands the parameters to the agent cursor a statement is prepared on and runs it; a
// counted statement must change a row.
int32_t run(const SCS& s, DrvHandle aux, Dataset* params, const std::vector<ParamShadow>& types,
            bool counted) {
  int32_t rc = ops(s).DRV_SetParams(aux, params);
  if ((s.sc_driver->caps & DRV_CAP_CALLER_OWNS_DATA) != 0) scs_p_FreeDataset(&params);
  if (rc == 0 && s.sc_resendParamTypes != 0)
    rc = ops(s).DRV_SetParamTypes(aux, static_cast<uint16_t>(types.size()), types.data());
  if (rc == 0) rc = ops(s).DRV_Execute(aux);
  if (rc == ERR_WARNING) rc = 0;
  if (rc == 0 && counted) {
    int32_t affected = 0;
    uint16_t len = 0;
    rc = ops(s).DRV_GetInfo(aux, DRVP_ROW_COUNT, &affected, 4, &len);
    if (rc == 0 && affected < 1) rc = ERR_NO_ROWS_CHANGED;
  }
  return rc;
}

// Messages of the generated statements gather on the agent cursors they run on
// while the rows run and end on the user's cursor: the first auxiliary cursor's
// replace what the user's cursor held, the positioned statements' follow them.
class AuxMessages {
 public:
  explicit AuxMessages(const SCS& s) : s_(s) { scs_p_SetCursorMark(s.sc_auxCursor, 1); }
  ~AuxMessages() {
    scs_p_SetCursorMark(s_.sc_auxCursor, 0);
    INF_CursorMoveErrors(s_.sc_auxCursor, s_.sc_hCursor, 1);
    for (DrvHandle h : watched_) {
      scs_p_SetCursorMark(h, 0);
      INF_CursorMoveErrors(h, s_.sc_hCursor, 0);
    }
  }
  AuxMessages(const AuxMessages&) = delete;
  AuxMessages& operator=(const AuxMessages&) = delete;

  void watch(DrvHandle h) {
    if (std::find(watched_.begin(), watched_.end(), h) != watched_.end()) return;
    scs_p_SetCursorMark(h, 1);
    watched_.push_back(h);
  }
  // h goes before the operation ends; its messages are moved by the caller.
  void forget(DrvHandle h) {
    scs_p_SetCursorMark(h, 0);
    watched_.erase(std::remove(watched_.begin(), watched_.end(), h), watched_.end());
  }

 private:
  const SCS& s_;
  std::vector<DrvHandle> watched_;
};

// Shapes of positioned statement a cursor keeps prepared at most.
constexpr size_t kPosStatements = 8;

// Ends the agent cursor of a positioned statement. Its messages join the first
// auxiliary cursor's, which reach the user's cursor with the operation's others (a
// refused prepare is reported, not lost with its cursor).
void end_statement(const SCS& s, AuxMessages* m, DrvHandle h) {
  if (m != nullptr) m->forget(h);
  INF_CursorMoveErrors(h, s.sc_auxCursor != 0 ? s.sc_auxCursor : s.sc_hCursor, 0);
  (void)ops(s).DRV_EndCursor(h);
}

// The agent cursor on which text is prepared: the one it was prepared on before for
// this cursor, or a new one. Its messages gather in m when given; otherwise they wait
// on it for scs_p_ClearAuxDiags.
int32_t prepare(SCS* s, AuxMessages* m, const std::string& text, DrvHandle* out) {
  *out = 0;
  if (s->sc_posStatements == nullptr) s->sc_posStatements = new PosStatements();
  PosStatements& kept = *s->sc_posStatements;
  for (PosStatements::Entry& e : kept.entries) {
    if (e.text != text) continue;
    e.used = ++kept.clock;
    if (m != nullptr) m->watch(e.cursor);
    *out = e.cursor;
    return 0;
  }
  if (kept.entries.size() >= kPosStatements) {
    auto oldest = std::min_element(
        kept.entries.begin(), kept.entries.end(),
        [](const PosStatements::Entry& a, const PosStatements::Entry& b) { return a.used < b.used; });
    end_statement(*s, m, oldest->cursor);
    kept.entries.erase(oldest);
  }
  DrvHandle h = 0;
  if (ops(*s).DRV_AllocCursor(s->sc_hConn, &h) != 0) return ERR_GENERAL;
  if (m != nullptr) m->watch(h);
  if (int32_t rc = ops(*s).DRV_Prepare(h, text.c_str()); rc != 0) {
    end_statement(*s, m, h);
    return rc;
  }
  kept.entries.push_back({text, h, ++kept.clock});
  *out = h;
  return 0;
}

// One UPDATE or DELETE: fatal codes (the statement cannot be built or
// prepared) are answered, a row that fails only leaves *done false.
int32_t write_row(SCS* s, const std::string& table, uint16_t op, const PosTarget& t,
                  Dataset* values, const uint16_t* columns, AuxMessages& messages, bool* done) {
  *done = false;
  std::string text;
  std::vector<ParamShadow> types;
  std::vector<uint16_t> setCols;
  if (op == SQL_UPDATE) {
    setCols = present(values, t.valueRow);
    if (setCols.empty()) return 0;
    text = "UPDATE " + table + " SET ";
    for (size_t i = 0; i < setCols.size(); ++i) {
      if (i > 0) text += ", ";
      if (int32_t rc = add_column(s, columns[setCols[i]], &text, &types); rc != 0) return rc;
      text += " = ?";
    }
  } else {
    text = "DELETE FROM " + table;
  }
  add_key_predicate(*s, &text, &types);
  std::vector<uint16_t> oldCols;
  if (scs_p_ComparesOldValues(s)) {
    if (int32_t rc = add_old_values(*s, t.oldRow, &text, &types, &oldCols); rc != 0) return rc;
  }
  DrvHandle h = 0;
  if (int32_t rc = prepare(s, &messages, text, &h); rc != 0) return rc;

  Dataset* params = nullptr;
  Dataset* more = nullptr;
  int32_t rc = 0;
  if (op == SQL_UPDATE) rc = piece(*s, values, t.valueRow, &setCols, 1, &params);
  if (rc == 0)
    rc = piece(*s, t.keys != nullptr ? t.keys : s->sc_keyset->keys, t.keyRow, nullptr, 0, &more);
  if (rc == 0) rc = append(&params, more);
  more = nullptr;
  if (rc == 0 && !oldCols.empty()) {
    rc = piece(*s, s->sc_optValues, t.oldRow, &oldCols, 0, &more);
    if (rc == 0) rc = append(&params, more);
  }
  if (rc != 0) {
    scs_p_FreeDataset(&params);
    return 0;
  }
  *done = run(*s, h, params, types, true) == 0;
  return 0;
}

// A static cursor holds the old values of its whole result, read at execute:
// the rows it just changed have theirs read again by key, so that its next
// change of one of them still finds it. Old values that went to the temporary
// files stay as they were read.
int32_t reread_static_old_values(SCS* s, const std::string& table, const PosTarget* targets,
                                 int32_t n, const uint8_t* done) {
  Dataset* old = s->sc_optValues;
  if (old == nullptr || s->sc_cache == nullptr || s->sc_cache->state == DSC_SPILLED) return 0;
  const ColDesc* cols = items<ColDesc>(s->sc_tableCols);
  std::string text = "SELECT ";
  for (uint32_t i = 0; i < scs_p_Count(s->sc_tableCols); ++i) {
    char* name = scs_p_QualifiedColName(1, &cols[i]);
    if (name == nullptr) return ERR_MEMORY;
    text += std::string(i > 0 ? ", " : "") + name;
    std::free(name);
  }
  text += " FROM " + table;
  std::vector<ParamShadow> types;
  add_key_predicate(*s, &text, &types);
  DrvHandle aux = 0;
  if (int32_t rc = prepare(s, nullptr, text, &aux); rc != 0) return rc;
  for (int32_t i = 0; i < n; ++i) {
    const PosTarget& t = targets[i];
    if (done[i] != POS_CHANGED || t.oldRow < 0 || t.oldRow >= old->rowCount) continue;
    Dataset* params = nullptr;
    if (int32_t rc = piece(*s, t.keys != nullptr ? t.keys : s->sc_keyset->keys, t.keyRow, nullptr,
                           0, &params);
        rc != 0)
      return rc;
    Dataset one{};
    int32_t rc = run(*s, aux, params, types, false);
    if (rc == 0) rc = ops(*s).DRV_Fetch(aux, 1, &one);
    (void)ops(*s).DRV_CloseCursor(aux);
    bool same = rc == 0 && one.rowCount == 1 && one.colCount == old->colCount;
    for (uint16_t c = 0; same && c < one.colCount; ++c)
      same = one.cols[c].type == old->cols[c].type && one.cols[c].width == old->cols[c].width;
    if (same) rc = DatasetCopyRow(old, &one, static_cast<uint32_t>(t.oldRow), 0, 1);
    DatasetFree(&one);
    if (rc != 0) return rc;
  }
  return 0;
}

// What every positioned statement needs: rows that keys can find, a
// concurrency that allows changes, the table and the auxiliary cursor.
int32_t writable(SCS* s, std::string* table) {
  if (int32_t rc = scs_p_CheckScrollable(s); rc != 0) return rc;
  if (!table_name(*s, table)) return ERR_GENERAL;
  if (s->sc_auxCursor == 0) {
    if (int32_t rc = scs_p_OpenAuxCursors(s); rc != 0) return rc;
  }
  return 0;
}

bool keyed(const SCS& s) {
  const KS* ks = s.sc_keyset;
  return ks != nullptr && ks->keys != nullptr && ks->rowStatus != nullptr &&
         scs_p_Count(ks->keyCols) > 0 && ks->keys->colCount == scs_p_Count(ks->keyCols);
}

// The keyset rows a request addresses (single row n or the whole rowset at
// n 0), with where their keys are held: the rowset's run of the keyset, or the
// rows a fetch by bookmarks brought, which are no run.
struct Addressed {
  std::vector<int32_t> rows;  // 0-based keyset rows
  Dataset* keys = nullptr;    // null: the keyset's `keys`, row keyRow[k]
  std::vector<int32_t> keyRow;
};

int32_t addressed_rows(const SCS& s, int32_t n, const Dataset* request, Addressed* out) {
  const KS& ks = *s.sc_keyset;
  int32_t first = 0;
  int32_t held = 0;
  if (ks.marks != nullptr && s.sc_rowsetStart == SCS_START_UNKNOWN) {
    out->keys = ks.markKeys;
    held = ks.markCount;
  } else {
    const int32_t base = s.sc_cursorType == SCS_DYNAMIC ? 1 : s.sc_rowsetStart;
    if (base < 1) return ERR_CURSOR_STATE;
    first = base - 1;
    const int32_t start = ks.cache.state == DSC_SPILLED ? ks.windowStart : 0;
    held = start >= 0 ? start + ks.keys->rowCount - first : 0;
    if (first + held > ks.rowStatusCount) held = ks.rowStatusCount - first;
  }
  // One row, or the rowset as far as the keys, the keyset's statuses and the
  // request's rows reach.
  int32_t from = n > 0 ? n - 1 : 0;
  int32_t count = n > 0 ? 1 : s.sc_rowsetSize;
  if (from + count > held) count = held - from;
  if (request != nullptr && count > request->rowCount) count = request->rowCount;
  for (int32_t k = 0; k < count; ++k) {
    const int32_t i = from + k;
    if (out->keys != nullptr) {
      out->rows.push_back(ks.marks[i]);
      out->keyRow.push_back(i);
    } else {
      const int32_t start = ks.cache.state == DSC_SPILLED ? ks.windowStart : 0;
      out->rows.push_back(first + i);
      out->keyRow.push_back(first + i - start);
    }
  }
  return 0;
}

// Where the old values of the k-th addressed row (keyset row r) are held:
// a static cursor holds its whole result, the others their rowset, in rowset
// order.
int32_t old_row(const SCS& s, int32_t n, int32_t k, int32_t r) {
  if (!scs_p_ComparesOldValues(&s)) return -1;
  if (s.sc_cursorType == SCS_STATIC) {
    const bool spilled = s.sc_cache != nullptr && s.sc_cache->state == DSC_SPILLED;
    return r - (spilled ? s.sc_cacheWindowStart : 0);
  }
  return n > 0 ? n - 1 : k;
}

// Delete and update of rowset rows.
int32_t keyed_op(SCS* s, int32_t row, uint16_t op, uint16_t** statuses, int32_t* count,
                 Dataset* rows, const uint16_t* columns) {
  if (s->sc_concurrency == SQL_CONCUR_READ_ONLY) return ERR_ARGUMENT;
  if (!keyed(*s)) return ERR_NO_KEY_COLUMNS;
  KS& ks = *s->sc_keyset;
  const int32_t n = row > 0 ? row : 0;
  Addressed at;
  if (int32_t rc = addressed_rows(*s, n, rows, &at); rc != 0) return rc;
  const auto addressed = static_cast<int32_t>(at.rows.size());
  if (n > 0 && addressed == 0) return ERR_ROW_VALUE;
  const int32_t entries = n > 0 || addressed <= 1 ? 1 : s->sc_rowsetSize;

  std::string table;
  if (int32_t rc = writable(s, &table); rc != 0) return rc;
  std::vector<PosTarget> targets;
  std::vector<int32_t> keysetRows;
  for (int32_t k = 0; k < addressed; ++k) {
    if (ignored(rows, k)) continue;
    const int32_t r = at.rows[k];
    targets.push_back(PosTarget{at.keyRow[k], old_row(*s, n, k, r), k, at.keys});
    keysetRows.push_back(r);
  }
  std::vector<uint8_t> done(targets.size());
  int32_t changed = 0;
  const int32_t rc = scs_p_KeyedWrite(s, op, targets.data(), static_cast<int32_t>(targets.size()),
                                      rows, columns, done.data(), &changed);
  // The keyset remembers what happened to each row, so that later fetches show it.
  const uint16_t mark = op == SQL_DELETE ? SQL_ROW_DELETED : SQL_ROW_UPDATED;
  for (size_t i = 0; i < targets.size(); ++i)
    if (done[i] != POS_NOT_RUN) ks.rowStatus[keysetRows[i]] = done[i] == POS_CHANGED ? mark : SQL_ROW_ERROR;
  if (rc != 0 && rc != ERR_WARNING) return rc;
  auto* out = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * static_cast<size_t>(entries)));
  if (out == nullptr) return ERR_MEMORY;
  for (int32_t k = 0; k < entries; ++k)
    out[k] = k < addressed ? ks.rowStatus[at.rows[k]] : static_cast<uint16_t>(SQL_ROW_NOROW);
  *statuses = out;
  *count = entries;
  const auto tried = static_cast<int32_t>(targets.size());
  if (tried == 0) return 0;
  if (changed == 0) return ERR_NO_ROWS_CHANGED;
  // Another user changed or removed some of the rows meanwhile.
  return changed < tried ? ERR_MANY_ROWS_CHANGED : rc;
}

int32_t insert_rows(SCS* s, int32_t row, uint16_t** statuses, int32_t* count, Dataset* rows,
                    const uint16_t* columns) {
  std::string table;
  if (int32_t rc = writable(s, &table); rc != 0) return rc;
  const int32_t entries = row > 0 ? 1 : (s->sc_rowsetSize > 0 ? s->sc_rowsetSize : 1);
  auto* out = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * static_cast<size_t>(entries)));
  if (out == nullptr) return ERR_MEMORY;
  for (int32_t l = 0; l < entries; ++l) out[l] = SQL_ROW_NOROW;
  *statuses = out;
  *count = entries;
  int32_t added = 0;
  int32_t tried = 0;
  int32_t rc = 0;
  {
    AuxMessages messages(*s);
    for (int32_t l = 0; l < entries && l < rows->rowCount; ++l) {
      const std::vector<uint16_t> cols = present(rows, l);
      if (cols.empty()) continue;
      ++tried;
      std::string text = "INSERT INTO " + table + " ( ";
      std::string marks;
      std::vector<ParamShadow> types;
      for (size_t i = 0; i < cols.size() && rc == 0; ++i) {
        if (i > 0) {
          text += ", ";
          marks += ", ";
        }
        rc = add_column(s, columns[cols[i]], &text, &types);
        marks += "?";
      }
      DrvHandle h = 0;
      if (rc == 0) rc = prepare(s, &messages, text + " ) VALUES ( " + marks + " )", &h);
      if (rc != 0) break;
      Dataset* params = nullptr;
      const bool ok =
          piece(*s, rows, l, &cols, 1, &params) == 0 && run(*s, h, params, types, false) == 0;
      out[l] = ok ? SQL_ROW_ADDED : SQL_ROW_ERROR;
      added += ok ? 1 : 0;
    }
  }
  s->sc_rowsAffected = added;
  if (rc != 0) return rc;
  return added < tried ? ERR_ROW : 0;
}

// A keyset-driven or mixed cursor holds the old values of its current rowset:
// a run of the keyset (of the window, for a mixed one) or the rows a fetch by
// bookmarks brought.
bool refreshes_old_values(const SCS& s) {
  const bool rowset = s.sc_rowsetStart >= 1 ||
                      (s.sc_rowsetStart == SCS_START_UNKNOWN && s.sc_keyset->marks != nullptr);
  return s.sc_concurrency == SQL_CONCUR_VALUES && s.sc_cursorType == SCS_KEYSET &&
         rowset && s.sc_analysis != nullptr;
}

// The old values of the rows the last fetch brought, read again: as many as it
// brought (a rowset size set since takes effect at the next fetch). When they
// cannot be read the values held before stay, so that a row changed here
// fails a later change as changed by another user, and the others still work.
int32_t reread_old_values(SCS* s) {
  const KS& ks = *s->sc_keyset;
  Dataset* before = s->sc_optValues;
  int32_t rc = 0;
  s->sc_optValues = nullptr;
  if (s->sc_rowsetStart == SCS_START_UNKNOWN) {
    rc = scs_p_OldValuesByKeys(s, ks.markKeys, 0, ks.markCount, nullptr);
  } else {
    const int32_t first = s->sc_rowsetStart - 1;
    const int32_t held = ks.keys->rowCount + ks.windowStart - first;
    int32_t n = before != nullptr ? before->rowCount : 0;
    if (n > held) n = held;
    if (n > 0)
      rc = scs_p_OldValuesByKeys(s, ks.keys, first - ks.windowStart, n, ks.rowStatus + first);
  }
  if (rc != 0 || s->sc_optValues == nullptr) {
    scs_p_FreeDataset(&s->sc_optValues);
    s->sc_optValues = before;
    return rc;
  }
  scs_p_FreeDataset(&before);
  return 0;
}

struct Request {
  Dataset* rows;
  uint16_t* columns;
  ~Request() {
    scs_p_FreeDataset(&rows);
    std::free(columns);
  }
};

}  // namespace

void scs_p_FreePosStatements(SCS* scs) {
  PosStatements* kept = scs->sc_posStatements;
  scs->sc_posStatements = nullptr;
  if (kept == nullptr) return;
  for (const PosStatements::Entry& e : kept->entries)
    if (scs->sc_driver != nullptr) (void)scs->sc_driver->ops->DRV_EndCursor(e.cursor);
  delete kept;
}

void scs_p_PosStatementErrors(SCS* scs) {
  if (scs->sc_posStatements == nullptr) return;
  for (const PosStatements::Entry& e : scs->sc_posStatements->entries)
    INF_CursorMoveErrors(e.cursor, scs->sc_hCursor, 0);
}

int32_t scs_p_RowsetKey(const SCS& scs, int32_t r, Dataset** keys, int32_t* index) {
  const KS& ks = *scs.sc_keyset;
  if (ks.marks != nullptr && scs.sc_rowsetStart == SCS_START_UNKNOWN) {
    *keys = ks.markKeys;
    for (int32_t i = 0; i < ks.markCount; ++i)
      if (ks.marks[i] == r) {
        *index = i;
        return i;
      }
    return -1;
  }
  *keys = nullptr;
  *index = r - (scs.sc_rowsetStart - 1);
  if (ks.keys == nullptr) return -1;
  const int32_t start = ks.cache.state == DSC_SPILLED ? ks.windowStart : 0;
  const int32_t i = r - start;
  return start >= 0 && i >= 0 && i < ks.keys->rowCount ? i : -1;
}

int32_t scs_p_KeyedWrite(SCS* scs, uint16_t operation, const PosTarget* targets, int32_t n,
                         Dataset* values, const uint16_t* columns, uint8_t* done,
                         int32_t* changed) {
  *changed = 0;
  if (scs->sc_concurrency == SQL_CONCUR_READ_ONLY) return ERR_ARGUMENT;
  if (operation == SQL_UPDATE && (values == nullptr || columns == nullptr)) return ERR_ARGUMENT;
  std::string table;
  if (int32_t rc = writable(scs, &table); rc != 0) return rc;
  int32_t rc = 0;
  {
    AuxMessages messages(*scs);
    for (int32_t i = 0; i < n; ++i) done[i] = POS_NOT_RUN;
    for (int32_t i = 0; i < n; ++i) {
      bool ok = false;
      if (targets[i].keyRow >= 0) {
        rc = write_row(scs, table, operation, targets[i], values, columns, messages, &ok);
        if (rc != 0) break;
      }
      done[i] = ok ? POS_CHANGED : POS_FAILED;
      *changed += ok ? 1 : 0;
    }
  }
  scs->sc_rowsAffected = *changed;
  if (rc != 0 || operation != SQL_UPDATE || *changed == 0) return rc;
  // The old values of rows this cursor updated are its own values now: read
  // again, so that its next change of the same row still finds it.
  int32_t after = 0;
  if (refreshes_old_values(*scs))
    after = reread_old_values(scs);
  else if (scs_p_KeyedStatic(scs) && scs_p_ComparesOldValues(scs))
    after = reread_static_old_values(scs, table, targets, n, done);
  if (after == 0 && scs->sc_cursorType == SCS_DYNAMIC &&
      (scs_p_ComparesOldValues(scs) || scs->sc_rvc != nullptr)) {
    std::vector<int32_t> updated;
    for (int32_t i = 0; i < n; ++i)
      if (done[i] == POS_CHANGED) updated.push_back(targets[i].keyRow);
    after = scs_p_AfterDynamicUpdate(scs, updated.data(), static_cast<uint32_t>(updated.size()));
  }
  if (after == 0) return 0;
  // The rows are changed and committed whatever failed after: the change is
  // reported as made, with what failed as a warning.
  log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_KeyedWrite: rows changed, then error %d",
             static_cast<int>(after));
  scs_p_ClearAuxDiags(scs);
  return ERR_WARNING;
}

int32_t scs_p_SetPosOp(SCS* scs, int32_t row, uint16_t operation, uint16_t** statuses,
                       int32_t* count, Dataset* rows, uint16_t* columns) {
  Request request{rows, columns};
  if (statuses != nullptr) *statuses = nullptr;
  if (count != nullptr) *count = 0;
  const bool valued = statuses != nullptr && count != nullptr && rows != nullptr && columns != nullptr;
  try {
    switch (operation) {
      case SQL_REFRESH: return ERR_NOT_CAPABLE;
      case SQL_UPDATE:
        if (!valued) return ERR_ARGUMENT;
        return keyed_op(scs, row, SQL_UPDATE, statuses, count, rows, columns);
      case SQL_DELETE:
        if (statuses == nullptr || count == nullptr) return ERR_ARGUMENT;
        return keyed_op(scs, row, SQL_DELETE, statuses, count, rows, nullptr);
      case SQL_ADD:
        if (!valued) return ERR_ARGUMENT;
        return insert_rows(scs, row, statuses, count, rows, columns);
      default: return 0;
    }
  } catch (const std::bad_alloc&) {
    return ERR_MEMORY;
  }
}

int32_t SCS_SetPosResume(SCS* scs, uint16_t** statuses, int32_t* rows) {
  if (statuses != nullptr) *statuses = nullptr;
  if (rows != nullptr) *rows = 0;
  Dataset* values = scs->sc_setPosRows;
  uint16_t* columns = scs->sc_setPosCols;
  scs->sc_setPosRows = nullptr;
  scs->sc_setPosCols = nullptr;
  const auto row = static_cast<int32_t>(scs->sc_setPosRow);
  if (scs->sc_setPosOp != SQL_ADD) {
    if (int32_t rc = SCS_SetPosition(scs, row); rc != 0) {
      Request gone{values, columns};
      return rc;
    }
  }
  if (scs->sc_setPosOp == SQL_POSITION) {
    Request gone{values, columns};
    return 0;
  }
  if (scs->sc_cursorType == SCS_FORWARD_ONLY) {
    Request gone{values, columns};
    return ERR_NOT_CAPABLE;
  }
  return scs_p_SetPosOp(scs, row, scs->sc_setPosOp, statuses, rows, values, columns);
}

int32_t SCS_SetPos(DrvHandle hCursor, int32_t row, uint16_t operation, uint32_t lock,
                   uint16_t** statuses, int32_t* rowsOut, Dataset* rows, uint16_t* columns,
                   uint16_t columnCount) {
  (void)lock;
  (void)columnCount;
  if (statuses != nullptr) *statuses = nullptr;
  if (rowsOut != nullptr) *rowsOut = 0;
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) {
    Request gone{rows, columns};
    return ERR_ARGUMENT;
  }
  SCS& scs = *cur.scs;
  if ((scs.sc_flags & SCS_F_PREPARED) == 0) {
    Request gone{rows, columns};
    return ERR_CURSOR_STATE;
  }
  // A request abandoned while its values were being collected goes now.
  {
    Request gone{scs.sc_setPosRows, scs.sc_setPosCols};
  }
  scs.sc_setPosRow = static_cast<uint32_t>(row);
  scs.sc_setPosOp = operation;
  scs.sc_setPosRows = rows;
  scs.sc_setPosCols = columns;
  scs.sc_rowsAffected = 0;
  // The agent asks for the values sent at execution first; the last of them
  // resumes the operation.
  if (int32_t rc = DAEStartSetPos(hCursor); rc != 0) {
    if (rc != ERR_NEED_DAE) {
      Request gone{scs.sc_setPosRows, scs.sc_setPosCols};
      scs.sc_setPosRows = nullptr;
      scs.sc_setPosCols = nullptr;
    }
    return rc;
  }
  return SCS_SetPosResume(&scs, statuses, rowsOut);
}
