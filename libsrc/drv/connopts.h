#pragma once
// connopts.h -- the process-wide block of connection options that a connect
// hands to the back end.
// Every SQLDriverConnect rewrites the block under DriverLock and the agent copies
// it whole while it opens the connection (inside the same lock), taking over the
// three texts: it keeps the pointers and sets the block's to null. The texts are
// s_strdup copies and are released with free.

#include <cstdint>

struct ConnectOptionsBlock {
  int32_t dynCursSensitivity;  // 0 LOW, 1 HIGH, 2 DISABLED (DYN_CURS_SENSITIVITY)
  int32_t jet;                 // JET
  int32_t noAutoCommit;        // NOAC
  int32_t maxRows;             // MAXROWS, never negative
  int32_t noRowsetSizeLimit;   // NRSSL
  char* initialSql;            // INITSQL, or null
  int32_t forceOnlineDb;       // FORCEONLINEDB
  int32_t forceDormant;        // FORCEDORMANT
  int32_t multiSess;           // MULTISESS
  int32_t spacePadChar;        // SPACEPADCHAR
  char* clientLocale;          // CLIENTLOC, or null
  char* sqlDbmsName;           // SQLDBMSNAME, or null
};

// REQUIRES: DriverLock held for every read and write.
extern ConnectOptionsBlock ConnectOptions;
