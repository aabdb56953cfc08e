#pragma once
// Agent tests over the embedded runtime: a private servers root with an Online
// server "ol_test" holding the databases nolog, logged and ansi, each with the
// table t (a, b) whose rows 1 to 10 no test changes, an SE server "se_test"
// with the database logged, and a fixture that owns the agent's server handle.
// A test that needs rows of its own makes its own table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_types.h"
#include "platform/informix/ixr_testing.h"

// Empty when the servers are ready, else why not.
const std::string& AgentServersProblem();

struct ConnectArgs {
  const char* dbpath = "logged@ol_test";
  bool noac = false;
  const char* initSql = nullptr;
  const char* dbopts = nullptr;
  const char* uid = "";
  const char* pwd = "";
};

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Fixes FORCEDORMANT for the agent's environment (before the first connect).
  void restartAgent(bool forceDormant);
  int32_t connect(const ConnectArgs& a, DrvHandle* conn);
  DrvHandle connect(const char* dbpath = "logged@ol_test", bool noac = false);
  // Prepares and executes on a new cursor; the cursor is ended unless kept.
  int32_t exec(DrvHandle conn, const char* sql, DrvHandle* keep = nullptr);
  // Every row of an executed cursor, fetched in blocks of `block`.
  int32_t fetchAll(DrvHandle cursor, uint16_t block, std::vector<int32_t>* blockSizes);
  // The messages of a handle, "[Informix Server]...[SQLSTATE:...]".
  std::vector<std::string> errors(DrvHandle h);
  // The recorded operations, each as op, or op and text when withText.
  std::vector<std::string> calls(bool withText = false);
  // Transaction statements only: B begin, C commit, R rollback, I isolation.
  std::string txnCalls();
  InfSession* sessionOf(DrvHandle conn);

  DrvHandle server_ = 0;
};

// A Dataset of one column of the given type and width, rows rows, each NULL.
Dataset* NewParamDataset(int32_t type, uint32_t width, int32_t rows);
