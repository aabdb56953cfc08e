#pragma once
// getcol.h -- the one road by which a value held in a Dataset cell reaches an
// application buffer, and the state that lets SQLGetData deliver one value in
// pieces.
// The state belongs to its statement and names one cell; a cut character, wide
// or binary value is continued by moving within the cell, never by copying it.
// Only a long value the back end left out of the row (read on demand) brings a
// piece buffer of its own, which the state frees.
// Threading: under the statement's connection call lock.
// Not here: the conversions themselves (cvt.h), which rows are delivered
// (fetch.h).

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct ColBinding;
struct Dataset;
struct Stmt;

struct GetDataState {
  uint16_t gd_column;  // 1-based column of the cell being delivered; 0 none
  uint32_t gd_row;     // row index + 1 of that cell within its Dataset; 0 none
  void* gd_data;       // next source byte to deliver: in the cell, or in the owned piece
  uint32_t gd_type;    // DatasetType of the source
  uint32_t gd_left;    // source bytes not yet delivered
  int32_t gd_total;    // total length of a deferred long value; -1 when it is NULL
  int32_t gd_cType;    // C type of the cut conversion; a continuation asks for it or SQL_C_DEFAULT
  uint32_t gd_owned;   // 1: gd_data is a piece buffer from the back end, freed here
  // An owned piece that the call which fetched it refused: the next call delivers it
  // again (the back end has moved past it). 1 a later piece, 2 the first.
  uint32_t gd_retry;
  // The last bytes of a character whose first bytes were all a piece had room for
  // (C type gd_cType): the next piece begins with them.
  uint8_t gd_tail[4];
  uint8_t gd_tailLen;
  // Output bytes (in C type gd_cType) of the rest of a value in the row that is
  // being transcoded in pieces, tail included; 0 while unknown. Known once the first
  // piece has measured the value, it lets every later piece report the remaining
  // length and convert only what fits, so that a value read in pieces is scanned a
  // bounded number of times whatever its size.
  uint64_t gd_outLeft;
};

// Converts one cell (row is a 0-based index into data) into the buffer the
// request describes. A statement errCode of ERR_OUTPUT_PARAMS on entry asks for
// a procedure output parameter instead of a result column; the marker is
// cleared. The request's buffer length is set to the C type's size for
// SQL_C_DEFAULT with length 0. The cause of SQL_ERROR or SQL_SUCCESS_WITH_INFO
// is left in errCode; a success leaves errCode alone, so that a warning of an
// earlier column of the row survives.
SQLRETURN GetColumn(Stmt* stmt, uint32_t row, ColBinding* req, Dataset* data);
// Reads the next piece (at most maxUnits) of the deferred long value of the
// state's cell. 0, ERR_NO_DATA when nothing is left, or the back end's code
// with its messages on the statement.
int32_t FetchDeferredLong(Stmt* stmt, uint64_t maxUnits, int32_t cType);
// Frees an owned piece buffer. -> state.
GetDataState* GetDataStateFree(GetDataState* state);
// Zeroes the target of a NULL value.
void ClearTarget(const ColBinding* req, int32_t cType);
// The C type SQL_C_DEFAULT stands for on a result column of sqlType; an ODBC 2
// application reads wide text as 8-bit characters.
int32_t ColumnDefaultCType(const Stmt* stmt, int32_t sqlType);
