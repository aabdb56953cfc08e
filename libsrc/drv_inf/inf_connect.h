#pragma once
// inf_connect.h -- the agent's server record, connections, local transaction
// control, isolation levels and the initial-SQL file.

#include <cstdint>

#include "drv_inf/inf_types.h"
#include "platform/windows/module.h"

// The agent's wide mode exists only in the Unicode build; a program without a
// driver library (a unit test) counts as the Unicode build.
inline bool InfWideBuild() noexcept {
  const HMODULE m = kes_this_module();
  return m == nullptr || m->unicodeBuild != 0;
}

// Transaction operations of INF_TxnControl.
inline constexpr int TXN_AUTOCOMMIT_ON = 1;
inline constexpr int TXN_AUTOCOMMIT_OFF = 2;
inline constexpr int TXN_BEGIN = 3;
inline constexpr int TXN_COMMIT = 4;
inline constexpr int TXN_ROLLBACK = 5;

// Does nothing inside an XA branch or on a database without a log.
[[nodiscard]] int32_t INF_TxnControl(InfConn* conn, int op) noexcept;
[[nodiscard]] int32_t InfBeginWork(InfConn* conn) noexcept;
[[nodiscard]] int32_t InfCommitWork(InfConn* conn) noexcept;
[[nodiscard]] int32_t InfRollbackWork(InfConn* conn) noexcept;

int32_t SessCurrentIsolation(const InfSession* s) noexcept;
int32_t SessDefaultIsolation(const InfSession* s) noexcept;
int32_t SessIsolationMask(const InfSession* s) noexcept;
// 0, ERR_NOT_CAPABLE, ERR_OPTION_CHANGED when the level in force differs from
// the one asked (autocommit runs repeatable read as committed read), or a
// mapped Informix code. The asked level is issued again once it can run.
[[nodiscard]] int32_t INF_SetIsolation(InfConn* conn, int32_t level) noexcept;
// The level in force on the server now.
int32_t InfIsolationInForce(const InfConn* conn) noexcept;

// 0, or -1 when the file cannot be read, a statement fails or the file ends inside a
// statement. Every failure is appended to warnings (SQLSTATE 01000, the file name and
// line, the statement's own message and code): the connect goes on without it.
int RunInitialSql(InfSession* session, const char* fileName, InfErrorList* warnings) noexcept;
int INF_Interrupt() noexcept;
void InfConnFree(InfConn* conn) noexcept;
int32_t DbTypeToSQLtype(int32_t type, int wide) noexcept;
int32_t InfHostTypeOf(int32_t dsType) noexcept;
// The lock mode and isolation a new session of the connection starts with.
void InfApplySessionSettings(InfConn* conn) noexcept;
