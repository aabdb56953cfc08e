#pragma once
// ks.h -- the keyset and everything the cursor layer keys rows by: the KS
// record, the key columns found through the catalog (with a per-connection
// cache), the catalog metadata of the cursor's tables, the statement analysis
// that decides which cursor a SELECT can have, the generated key statements
// (key select list, key ORDER BY, key WHERE of OR-groups and the parameter row
// that feeds it), the keyset load, and the keyset-driven rowset fetch with its
// concurrency.
// A KS belongs to one cursor context (sc_keyset) and owns its key Dataset,
// its row statuses, its key-column array and its cache; generated texts are
// kept in the sa_generated field of the analysis they were built on.
// Every routine answers a driver error code (0 success) unless it says
// otherwise; errors of the auxiliary cursors stay there until
// scs_p_ClearAuxDiags moves them to the user's cursor.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <cstdint>
#include <string>
#include <vector>

#include "drv/drvops.h"
#include "drv/scs.h"
#include "scrs/dsc.h"
#include "scrs/scr_analyse.h"
#include "util/dynarray.h"

struct RowStatusTable;

struct KS {
  uint16_t* rowStatus;     // one SCS_RowStatus per keyset row (keyset) or window row
  Dataset* keys;           // key values: one column per key column, one row per key
  int32_t windowStart;     // 0-based keyset row of keys' row 0; -1 after a fill that spilled
  uint8_t tableCount;      // tables of the SELECT; key names are qualified above 1
  DynArray* keyCols;       // ColDesc, the order every generated statement lists them in
  DSC cache;               // the whole keyset of a keyset-driven cursor
  int32_t rowStatusCount;  // entries of rowStatus
  // A rowset fetched by bookmarks is no run of keyset rows: its 0-based keyset
  // rows in rowset order and their keys (row i: the key of marks[i]), kept
  // until the next rowset is fetched; null otherwise.
  int32_t* marks;
  Dataset* markKeys;
  int32_t markCount;
  // The window statements of dynamic and mixed cursors by their shape, kept
  // from the first move of that shape until the statement is analysed again,
  // and the text last prepared on sc_auxCursor for a window; null until used.
  struct KsWindowTexts* windowTexts;
};

// The identifier case values of SQLGetInfo.
inline constexpr uint32_t SCS_CASE_UPPER = 1;
inline constexpr uint32_t SCS_CASE_LOWER = 2;
inline constexpr uint32_t SCS_CASE_SENSITIVE = 3;
inline constexpr uint32_t SCS_CASE_MIXED = 4;

// sc_aux2Prepared bits.
inline constexpr uint16_t SCS_AUX2_KEY_SELECT = 0x10;  // key re-select on sc_auxCursor2
inline constexpr uint16_t SCS_AUX2_OLD_VALUES = 0x20;  // old-value SELECT on sc_auxCursor2

// sc_analysisFlags of a statement that is no SELECT.
inline constexpr uint16_t SCS_NOT_SELECT = 512;

// Key names longer than this are cut.
inline constexpr uint32_t kKeyNameMax = 508;

// ---------------------------------------------------------------------------
// The keyset record.

// 0, ERR_GENERAL without an out pointer, ERR_MEMORY with nothing allocated.
[[nodiscard]] int32_t KS_Create(KS** out);
void KS_Free(KS** ks);
// KS_Reset and the key columns.
void KS_Close(KS* ks);
// Drops keys, statuses, cache files and the rows of a rowset fetched by
// bookmarks; key columns and table count stay.
void KS_Reset(KS* ks);
// Forgets the rows of a rowset fetched by bookmarks.
void KS_ForgetMarks(KS* ks);
// Forgets the window statements kept and the one prepared on sc_auxCursor
// (anything that prepares another statement there calls it).
void KS_ForgetWindowTexts(KS* ks);
// sc_auxCursor is to run another statement than the window's.
void scs_p_AuxCursorTaken(SCS* scs);

// ---------------------------------------------------------------------------
// Generated statements. Each plants one placeholder in the analysis and
// splices the generated piece there as plain text (the user's text may hold
// any byte, template markers included) into sa_generated.

// The select list becomes the key columns.
[[nodiscard]] int32_t KS_KeySelect(SCR_Analysis* a, KS* ks);
// WHERE ( k1 = ? AND k2 = ? OR ... ) [AND (own condition)], `groups` groups;
// WHERE ( k IN (?, ...) ) for more than one group of a single integer key.
[[nodiscard]] int32_t KS_KeyWhere(SCR_Analysis* a, KS* ks, uint32_t groups);
// The key columns not already sorted on join the ORDER BY (within
// sc_maxOrderByCols when it is set).
[[nodiscard]] int32_t KS_KeyOrderBy(SCR_Analysis* a, SCS* scs);
// Puts `piece` where the analysis' placeholder stands in its regenerated text
// and keeps the result in sa_generated. ERR_GENERAL without a placeholder.
[[nodiscard]] int32_t scs_p_SplicePiece(SCR_Analysis* a, const char* piece);
// Analyses `text` into a (no flag analysis, sc_keepQualifier); a failure is
// logged with the text and the parser's message.
[[nodiscard]] int32_t scs_p_Reanalyse(SCS* scs, SCR_Analysis* a, const char* text);

// One parameter row of `groups` groups out of `rows` source rows from `first`
// (the last used row repeats in the remaining groups). addTerminator widens
// character values by a terminator, trimFixed cuts fixed-width ones to their
// length; dropNullColumns leaves out every column NULL in any used row,
// counting them in *droppedCount and flagging them in *nullColumns (owned by
// the caller, free()).
[[nodiscard]] int32_t KS_RowsToParamRow(Dataset* source, uint32_t first, uint32_t groups,
                                        uint32_t rows, Dataset** out, int addTerminator,
                                        int trimFixed, int dropNullColumns, int16_t* droppedCount,
                                        int16_t** nullColumns);

// The parameters of one key block: `groups` key groups from keys' rows
// [start, start + rows), the last repeated, followed by a copy of the kept
// application parameters. *out is the caller's (or the agent's once handed).
[[nodiscard]] int32_t scs_p_KeyParams(SCS* scs, Dataset* keys, uint32_t start, uint32_t groups,
                                      uint32_t rows, Dataset** out);
// When the agent needs parameter types: `groups` times the key columns' types,
// then the kept application types, sent to cursor h.
[[nodiscard]] int32_t scs_p_SendKeyParamTypes(SCS* scs, DrvHandle h, uint32_t groups);
// Runs the statement prepared on h once per key block of keys' rows
// [k0, k0 + n) (block sizes as scs_p_KeyBlockSizes gives them) and appends
// the rows each block finds to found.
[[nodiscard]] int32_t scs_p_RunKeyBlocks(SCS* scs, DrvHandle h, Dataset* keys, int32_t k0,
                                         int32_t n, int32_t blocks, int32_t lastBlock, int32_t size,
                                         Dataset* found);
// A copy of the kept application parameters and their types sent to cursor h.
[[nodiscard]] int32_t scs_p_SendKeptParams(SCS* scs, DrvHandle h);

// ---------------------------------------------------------------------------
// Keyset load and key re-select.

// Runs the user's SELECT ordered by the keys with the keys as its select
// list on sc_auxCursor and keeps every key; sc_rowCount := the number of keys.
[[nodiscard]] int32_t KS_GetKeySet_KSD(SCS* scs);
// The keys of keyRows rows [first, first + sc_rowsetSize) that still find a
// row, in key order, into a new *out (handed out even when a later block fails).
[[nodiscard]] int32_t KS_FetchRowsByKeys(SCS* scs, Dataset* keyRows, int32_t first, Dataset** out);

// ---------------------------------------------------------------------------
// Key columns (special columns, then the first unique index, then the primary
// key), cached per agent connection by the digest of the tables.

// ERR_NO_KEY_COLUMNS when some table has none.
[[nodiscard]] int32_t KS_GetKeyColDescs(SCS* scs, DynArray* tables);
[[nodiscard]] int32_t KS_GetKeyColDescs_SpCols(SCS* scs, TblDesc* tables, int32_t count,
                                               int32_t* keyFound);
[[nodiscard]] int32_t KS_GetKeyColDescs_Stats(SCS* scs, TblDesc* tables, int32_t count,
                                              int32_t* keyFound);
// keyFound may be null: every table is asked and nothing is flagged.
[[nodiscard]] int32_t KS_GetKeyColDescs_PKeys(SCS* scs, TblDesc* tables, int32_t count,
                                              int32_t* keyFound);
// The 16-byte digest of the tables' qualifier, owner and name, each followed
// by a separator so that different splits of the same bytes differ.
void KS_TablesDigest(const TblDesc* tables, int32_t count, unsigned char digest[16]);

// The key-column cache of one agent connection (created by SCS_Connect,
// freed by SCS_EndConnect).
struct KeyColCache;
[[nodiscard]] KeyColCache* KeyColCacheNew();
void KeyColCacheFree(KeyColCache* cache);
// The cache of the connection; null for a connection not made through the layer.
KeyColCache* scs_p_KeyColCache(DrvHandle hConn);

// ---------------------------------------------------------------------------
// Catalog metadata of the cursor's tables.

// Resolves every table reference in place (ERR_TABLE_NOT_FOUND, also left on
// the user's cursor, or ERR_DUP_TABLE).
[[nodiscard]] int32_t scs_p_GetTblDescs(SCS* scs, TblDesc* tables, int32_t count);
// Appends one ColDesc per column of each table.
[[nodiscard]] int32_t scs_p_GetTblColDescs(SCS* scs, TblDesc* tables, int32_t count, int skipLong,
                                           DynArray* out);
// The row id of one of the session's temporary tables, which is its key: the
// catalog knows neither such a table nor its indexes.
void scs_p_RowIdColDesc(const TblDesc& table, ColDesc* out);
// Appends the row id of each of the session's temporary tables among tables to the
// columns whose old values are read, so that those rows are found by their key.
[[nodiscard]] int32_t scs_p_AddRowIdCols(const TblDesc* tables, int32_t count, DynArray* out);
// The select list with its all-columns items expanded; the raw items go to
// *rawItems when asked (DynArrayFree by the caller).
[[nodiscard]] int32_t scs_p_SelectColsGet(SCS* scs, DynArray* out, DynArray** rawItems);
// The text of a catalog value: 8-bit types answer *text8, UTF-16 ones *text16.
[[nodiscard]] int32_t scs_p_StrFromValue(const void* value, int32_t type, uint32_t width,
                                         const char** text8, const char16_t** text16,
                                         uint32_t* length);
// The UTF-8 text of a catalog cell, trailing blanks cut; empty for NULL.
// ERR_GENERAL for a type that holds no text.
[[nodiscard]] int32_t scs_p_CellText(const Dataset* ds, uint32_t row, uint16_t col,
                                     std::string* out);
// An integer cell of any integer type; false for NULL or another type.
bool scs_p_CellInt(const Dataset* ds, uint32_t row, uint16_t col, int64_t* out);
// A catalog name as generated statements write it (quoted when the server
// quotes identifiers).
std::string scs_p_CatalogIdentifier(const SCS* scs, const std::string& name);
// The whole result of cursor h in blocks of 10 rows into all (empty on entry).
[[nodiscard]] int32_t scs_p_ReadAll(SCS* scs, DrvHandle h, Dataset* all);
// Folds an identifier (kScrNameSize buffer) the way the server would.
void scs_p_CaseIdentifier(char* text, char quote, uint32_t quotedIdCase, uint32_t idCase,
                          uint32_t wide, int requote);
// The column as a generated statement names it; a new string (free()) or null.
[[nodiscard]] char* scs_p_QualifiedColName(uint32_t tableCount, const ColDesc* col);
void scs_p_ParamTypeFromColDesc(const ColDesc* col, ParamShadow* out);
// sc_genParamTypes := its entries, one per column, then the kept types when asked.
[[nodiscard]] int32_t scs_p_AddParamDescs(SCS* scs, const ColDesc* cols, uint32_t n,
                                          int appendKept);
// Result column n (1-based) of the user's cursor, described once.
[[nodiscard]] int32_t scs_p_ResultColName(SCS* scs, uint16_t n, ColumnInfo** out);
// The first entry named like the probe (and of its table and owner when the
// probe has them); null when none.
ColDesc* scs_p_FindColDesc(ColDesc* cols, uint32_t count, const ColDesc* probe, uint32_t* index);
int scs_p_SameIdentifier(const char* a, const char* b, char quote, uint32_t quotedIdCase,
                         uint32_t idCase, uint32_t wide);
int scs_p_IsKeyCol(SCS* scs, const ColDesc* col);
// The ORDER BY item names the key column (its table and owner when it has them).
bool scs_p_ItemNamesKey(const OrderByItem& item, const ColDesc& key);
int scs_p_IsExprCol(const ColDesc* col);

// ---------------------------------------------------------------------------
// Statement analysis.

// Analyses the statement just prepared on the cursor: refuses or downgrades
// what its cursor type cannot serve, resolves its tables, finds its key columns.
[[nodiscard]] int32_t scs_p_AnalyseStmt(SCS* scs, const char* text);
// ERR_JOIN, ERR_GROUP_BY, ERR_UNION or ERR_SCALAR_AGGREGATE when the rows of
// the analysed SELECT cannot be found again by keys, else 0.
[[nodiscard]] int32_t scs_p_CheckScrollable(const SCS* scs);
// ERR_NOT_SELECT, ERR_GROUP_BY or ERR_UNION for a keyset-driven cursor, else 0.
[[nodiscard]] int32_t scs_p_CheckKeysetStmt(const SCS* scs);
// The cursor runs static read-only (sc_flags SCS_F_DOWNGRADED, the asked values
// kept); ERR_NOT_CAPABLE when the agent refuses.
[[nodiscard]] int32_t scs_p_ChangeCursorType(SCS* scs);
// Drops the analysis, its arrays, texts and kept lists; sc_flags 0.
void scs_p_ResetAnalysis(SCS* scs);
// Opens the two auxiliary cursors when they are not open yet.
[[nodiscard]] int32_t scs_p_OpenAuxCursors(SCS* scs);
// Moves the auxiliary cursors' errors to the user's cursor.
void scs_p_ClearAuxDiags(SCS* scs);
// 1: the cursor's errors accumulate; 0: each failure replaces them.
void scs_p_SetCursorMark(uint32_t hCursor, uint32_t value);

// ---------------------------------------------------------------------------
// Keyset rowset fetch and concurrency.

// Rows per key block, blocks per rowset and the last block's rows.
// ERR_NOT_CAPABLE when a block would hold no row (no key columns, or the
// application's parameters leave no room for one key group).
[[nodiscard]] int32_t scs_p_KeyBlockSizes(const SCS* scs, int32_t* blocks, int32_t* lastBlock,
                                          int32_t* blockSize);
// The rowset at target (1-based; 0 the last rowset; negative from the end) by
// its keys, rows placed by their key values, vanished rows SQL_ROW_DELETED.
[[nodiscard]] int32_t scs_p_FetchKeyset(SCS* scs, RowStatusTable* table, int32_t target);
// Inserts an empty row into rows, and marks the keyset row deleted, for every
// key of keys[first - windowStart ...] that no longer finds a row.
[[nodiscard]] int32_t scs_p_MarkMissingRows(SCS* scs, Dataset* rows, Dataset* keys, int32_t first,
                                            int32_t windowStart, uint16_t* statuses);
// The old values of the rowset (or of the whole result of a static cursor)
// into sc_optValues (sc_cache).
[[nodiscard]] int32_t scs_p_GetOptConcColVals(SCS* scs, Dataset* params, int32_t first,
                                              int32_t blocks, int32_t blockSize, int32_t lastBlock);
// The user's SELECT listing every table column, in a's sa_generated.
[[nodiscard]] int32_t scs_p_OptValuesSelect(SCS* scs, const char* text, SCR_Analysis* a);
// The keys of the 0-based keyset rows given, in that order, into a new *out
// (read from the keyset's cache files when it spilled). ERR_GENERAL for a row
// outside the keyset.
[[nodiscard]] int32_t scs_p_KeysOfRows(SCS* scs, const int32_t* rows, int32_t n, Dataset** out);
// The rows of keyRows' keys [0, n) selected again on the user's cursor into
// out, laid out in keyRows' order: found[i] says whether row i's key still
// finds its row (an empty row stands where it does not, and where gone[i] is
// SQL_ROW_DELETED: a deleted keyset row stays deleted).
[[nodiscard]] int32_t scs_p_FetchByKeys(SCS* scs, Dataset* keyRows, int32_t n,
                                        const uint16_t* gone, Dataset* out, uint8_t* found);
// The old values of keyRows' keys [k0, k0 + n) into sc_optValues, row i for
// key k0 + i; none for a row whose entry of gone (null: none) is
// SQL_ROW_DELETED.
[[nodiscard]] int32_t scs_p_OldValuesByKeys(SCS* scs, Dataset* keyRows, int32_t k0, int32_t n,
                                            const uint16_t* gone);
// Locks keyset rows [first, first + count) by updating each key to itself.
[[nodiscard]] int32_t scs_p_LockRows(SCS* scs, int32_t first, int32_t count);

// ---------------------------------------------------------------------------
// Key windows of dynamic and mixed cursors: at most sc_keysetSize keys read in
// the order of the user's ORDER BY (completed by the keys), continued from a
// boundary key of sc_windowBound.

// How a window moves, which decides the boundary row and the comparison.
inline constexpr int32_t KS_MOVE_FAR = 0;     // from the far end, strictly past it
inline constexpr int32_t KS_MOVE_NEAR = 1;    // from the near end, strictly past it
inline constexpr int32_t KS_MOVE_REREAD = 3;  // from the near end, the boundary included

// One column the window is ordered by, in sort order.
struct KsSortColumn {
  std::string text;       // as the generated statements write it
  uint16_t boundCol;      // its column in sc_windowBound
  bool key;               // a key column (inside the ORDER BY or appended to it)
  bool orderBy;           // an item of the user's ORDER BY
  bool descending;
  ColDesc type;           // sqlType, columnSize and decimalDigits of its parameters
};

// A new window of keys (orientation SQL_FETCH_NEXT, FIRST, LAST, PRIOR or
// RELATIVE by offset from the window's first key) into the keyset's keys, in
// ascending sort order, with sc_windowBound rebuilt; ERR_NO_DATA when no key
// is left.
[[nodiscard]] int32_t KS_FetchWindow(SCS* scs, int16_t orientation, int32_t offset);
// The window statement on a (the user's statement with the key ORDER BY):
// the keys and the non-key sort columns as its select list, and for NEXT and
// PRIOR the predicate that continues from the boundary, whose parameter row
// goes to *params (the caller's).
[[nodiscard]] int32_t KS_WindowSelect(SCS* scs, SCR_Analysis* a, int16_t orientation, int32_t kind,
                                      Dataset** params);
// ERR_GENERAL for an orientation other than NEXT or PRIOR.
[[nodiscard]] int32_t KS_WindowWhere(SCS* scs, SCR_Analysis* a, int16_t orientation, int32_t kind,
                                     Dataset** params);
// Term j (1-based) of the window predicate; false when the term is dropped
// (nothing can follow a NULL boundary that sorts last).
bool KS_WindowTerm(const SCS* scs, const std::vector<KsSortColumn>& sort, uint32_t j,
                   int16_t orientation, int32_t kind, std::string* out);
// One parameter per marker of the predicate, in text order; with
// sc_resendParamTypes their types replace sc_genParamTypes.
[[nodiscard]] int32_t KS_WindowParams(SCS* scs, int16_t orientation, int32_t kind,
                                      Dataset** params);
// The sort columns S1..Sn (n = sc_orderColCount): the ORDER BY items up to n,
// then the key columns no item names.
[[nodiscard]] int32_t KS_SortColumnMap(const SCS* scs, std::vector<KsSortColumn>* out);
// The row of sc_windowBound a move continues from (0 first, 1 last).
int KS_BoundaryRow(int16_t orientation, int32_t kind);
// The comparison of a sort column that continues the scan.
const char* KS_WindowOperator(int16_t orientation, int32_t kind, bool descending);
// For a NULL boundary value: 1 when NULLs come last in the scan (nothing
// follows), 2 when they come first (every non-NULL value follows).
int KS_NullSide(int16_t orientation, bool descending, int16_t nullCollation);
// 1 when NULLs come after every value in the scan.
int KS_NullsAhead(int16_t orientation, bool descending, int16_t nullCollation);

// The window bound out of the keys just read (their first and last rows,
// every column); the keys keep only the key columns.
[[nodiscard]] int32_t scs_p_KeysetWindow(SCS* scs, Dataset** out);
// How many sort columns order the window (sc_orderColCount), with every
// ORDER BY item's keyMatch and parameter type; ERR_GROUP_BY, ERR_UNION, or
// ERR_GENERAL for an item whose column is not found.
[[nodiscard]] int32_t scs_p_MapKeyCols(SCS* scs);

// ---------------------------------------------------------------------------
// Rowsets of dynamic and mixed cursors.

// A mixed cursor's rowset: `offset` rows (RELATIVE) or the orientation's
// rowset, from its keyset window, the window moved or loaded when the rowset
// leaves it. ERR_FETCH_TYPE for ABSOLUTE and BOOKMARK.
[[nodiscard]] int32_t scs_p_FetchMixed(SCS* scs, int32_t offset, uint16_t orientation,
                                       RowStatusTable* table);
// A dynamic cursor's rowset, its window exactly one rowset of keys read afresh
// in sort order at every fetch (RELATIVE 0 reads the current rowset again).
[[nodiscard]] int32_t scs_p_FetchDynamic(SCS* scs, int32_t offset, uint16_t orientation,
                                         RowStatusTable* table);
// The window's keys, then its rows by those keys, read again (at most three
// times) while rows vanish in between; ERR_KEYSET_CHANGED when they keep
// vanishing. With row versions the statuses tell the rows others changed.
[[nodiscard]] int32_t scs_p_FetchDynamicRows(SCS* scs, uint16_t orientation, int32_t offset,
                                             RowStatusTable* table);
// The old values of the rowset's rows `rows` (keyset rows) read again; the
// other rows keep theirs.
[[nodiscard]] int32_t scs_p_RefreshOptValues(SCS* scs, const int32_t* rows, uint32_t count);
// After a dynamic cursor updated the rowset's keyset rows `rows`: their old
// values read again and, with row versions, their versions stored, so that
// the next fetch does not report the cursor's own change. Rows whose version
// cannot be stored become SQL_ROW_ERROR in the keyset.
[[nodiscard]] int32_t scs_p_AfterDynamicUpdate(SCS* scs, const int32_t* rows, uint32_t count);
// Positioned changes find each row by the values the cursor holds of it too:
// value concurrency, and row-version concurrency, whose versions are digests
// of exactly those values.
bool scs_p_ComparesOldValues(const SCS* scs);
// A dynamic or mixed cursor over a keyed SELECT.
bool scs_p_WindowSelect(const SCS* scs);
// Forgets the window (a new execute starts from no window) and the row
// versions of the result before: the new result's rows are new to the
// cursor. 0 or the code of forgetting the versions.
[[nodiscard]] int32_t scs_p_ResetWindow(SCS* scs);
