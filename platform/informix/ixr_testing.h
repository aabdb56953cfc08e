// ixr_testing.h -- test support of the embedded Informix runtime: a record of every
// runtime call in order, and fault injection. Only tests include this header; the
// runtime costs nothing for it while no test has switched the record on.
// Threading: every function may be called from any thread; the record is process-wide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One recorded runtime call. op is the operation in upper case ("CONNECT",
// "DISCONNECT", "SET CONNECTION", "BEGIN WORK", "COMMIT WORK", "ROLLBACK WORK",
// "PREPARE", "DESCRIBE", "EXECUTE", "DECLARE", "OPEN", "FETCH", "CLOSE", "FREE",
// "EXECUTE IMMEDIATE", "STATIC", "CREATE SERVER"; name lookups are not recorded);
// text is the SQL text for PREPARE, EXECUTE IMMEDIATE and STATIC, the database for
// CONNECT, "DORMANT" or "" for SET CONNECTION, and the cursor name for DECLARE and FREE
// (empty otherwise); connection is the connection it ran on ("" when there was none);
// code is the sqlcode it answered.
struct IxrCall {
  std::string op;
  std::string connection;
  std::string text;
  int32_t code = 0;
};

// Starts a fresh record (on) or stops recording (off); the record is kept until the
// next start.
void ixr_test_record(bool on);

// The calls recorded so far, oldest first. FETCH is recorded only when withFetch is set
// (a result of many rows would drown the rest).
std::vector<IxrCall> ixr_test_calls(bool withFetch = false);

// The next call whose op equals op (any call when op is empty) fails with code and ISAM
// code isam, without doing anything else. Faults queue in the order given.
void ixr_test_fail_next(int32_t code, int32_t isam = 0, const std::string& op = {});

// The named connection loses its link: every later call on it answers IXR_E_LINK_LOST until it
// is disconnected (DISCONNECT succeeds and frees it).
void ixr_test_break_connection(const char* name);

// Clears queued faults and the record, and disconnects every connection of the process.
void ixr_test_reset();
