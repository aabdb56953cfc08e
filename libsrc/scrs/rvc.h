#pragma once
// rvc.h -- row versions of a dynamic cursor: every row the cursor delivered
// keeps a digest of its key values and one of its values in the database table
// DIVAZA, so that a later fetch tells which rows other users changed.
// The statements on DIVAZA run on a connection of their own, opened with the
// user's connection's parameters, one per cursor; the rows of a cursor are
// told apart by that connection's server session (unique across the server,
// every process's sessions included, unlike any handle value of this process)
// and the user's cursor handle. Opening one removes the rows of sessions the
// server no longer has.
// Threading: the per-server lists of those connections are guarded by
// SCR_ConnListLock; everything else runs under the user's connection's call
// serialisation.

#include <cstdint>

#include "drv/drvops.h"

struct Dataset;
struct RvcConnList;
struct SCS;

struct RVC {
  RvcConnList* list;   // of the server the user's connection belongs to; null when not open
  uint32_t hConn;      // the user's agent connection
  uint32_t hCursor;    // the user's agent cursor, written to HCURS
  uint32_t rvcCursor;  // the cursor on the separate connection
  uint32_t session;    // the separate connection's server session, written to HCONN
};

// Opens the separate connection and cursor for the user's cursor, through
// driver (the table below the cursor layer). 0, ERR_GENERAL (no saved connect
// parameters, no session number), ERR_MEMORY or the driver's code.
[[nodiscard]] int32_t RVC_Open(RVC* rvc, DriverRecord* driver, uint32_t hConn, uint32_t hCursor,
                               uint32_t describeParams);
// Forgets the cursor's rows. On failure the user's cursor holds the database's
// messages followed by IM926.
int32_t RVC_DeleteRows(RVC* rvc);
// Versions the rows of a fetched window: row k of keys holds the key values of
// row k of rows. statuses (one per row) get SQL_ROW_SUCCESS, SQL_ROW_UPDATED
// for a row whose values changed since the cursor last saw it, or
// SQL_ROW_ERROR / SQL_ROW_ADDED for a row that could not be recorded. Several
// stored versions of one key are taken as the row's: it is unchanged only when
// each of them is its version now.
[[nodiscard]] int32_t RVC_CheckRowset(RVC* rvc, const Dataset* keys, const Dataset* rows,
                                      uint16_t* statuses);
// Stores the version of every row whose status is SQL_ROW_UPDATED; a row whose
// version cannot be stored becomes SQL_ROW_ERROR. Digests are 16 bytes per row.
// The answer is the code of the last driver call.
int32_t RVC_UpdateRowVer(RVC* rvc, const uint8_t* keyDigests, const uint8_t* rowDigests,
                         uint16_t* statuses, int32_t count);
// The MD5 digest of row r over every column but the long ones: each column's
// NULL mark and length go in with its bytes, so a NULL, an empty value and
// values that only shift between columns all differ. 0 or ERR_GENERAL.
[[nodiscard]] int32_t RVC_RowDigest(const Dataset* ds, int32_t row, uint8_t out[16]);
// Upper-case hexadecimal of 16 bytes and a NUL; a smaller outSize encodes only
// the bytes that fit with the NUL.
void RVC_ToHex(const uint8_t in[16], char* out, uint32_t outSize);
// Gives up the separate connection. -> 0.
int32_t RVC_Release(RVC* rvc);
// Moves the separate cursor's and connection's messages behind the user
// cursor's own.
void RVC_MoveDiagnostics(RVC* rvc);

// The row versions of a cursor context: opened (with the cursor's earlier rows
// forgotten) for a dynamic cursor whose agent keeps row versions, nothing for
// any other cursor. 0 or the code of RVC_Open / RVC_DeleteRows.
[[nodiscard]] int32_t scs_p_OpenRowVersions(SCS* scs);
// Forgets the cursor's rows and gives up its separate connection; nothing
// when none is open.
void scs_p_CloseRowVersions(SCS* scs);
