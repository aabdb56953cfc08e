#pragma once
// fake_backend.h -- a recording back end under the driver core: a DriverOps
// table of the tests' own, bound by the core's connect in place of the agent.
// Every slot call is logged as "Name arg,arg"; answers are set per test.
// CoreTest starts the core (locks, handle tables) for each test and ends it.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "drv/drvops.h"

// Blocks a back-end call until the test opens it.
class Latch {
 public:
  void Arm();
  void WaitEntered();  // until a call is blocked in the latch
  void Open();
  void BlockHere();  // called by the slot
 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool armed_ = false;
  bool entered_ = false;
  bool open_ = false;
};

struct FakeBackend {
  std::mutex logLock;
  std::vector<std::string> log;
  // Integer answers of DRV_GetInfo by item; an item not listed answers 1.
  std::map<uint32_t, int32_t> ints;
  std::map<uint32_t, std::string> texts;
  // Answers of DRV_SetOption by item (0 when not listed).
  std::map<uint32_t, int32_t> setAnswers;
  int32_t connectCode = 0;
  std::vector<std::string> connectMessages;  // left in the connection's list on failure
  int32_t rollbackCode = 0;
  int32_t endConnectCode = 0;
  std::string lastSrvopts;  // as DRV_Connect received them
  DriverConnectParams lastParams{};
  std::string lastUid, lastPwd, lastDsn, lastDbopts, lastTarget, lastDbpath;
  std::vector<std::string> cursorMessages;  // handed out by DRV_GetErrors on a cursor
  uint32_t caps = DRV_CAP_THREADSAFE;
  Latch* blockRowCount = nullptr;  // DRV_GetInfo(DRVP_ROW_COUNT) waits here
  Latch* blockCloseCursor = nullptr;
  int32_t rowCount = 7;
  int32_t rowCountCode = 0;  // answer of DRV_GetInfo(DRVP_ROW_COUNT)

  void Reset();
  void Log(const std::string& entry);
  std::vector<std::string> Calls();
  bool Called(const std::string& prefix);
};

FakeBackend& Fake();
inline uint32_t HandleOf(SQLHANDLE h) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}
inline SQLHANDLE AsHandle(uint32_t v) {
  return reinterpret_cast<SQLHANDLE>(static_cast<uintptr_t>(v));
}
// The binder the core calls for every connect.
int32_t FakeBind(DriverRecord* rec);

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // An ODBC 3 environment and a connection on it.
  SQLHENV NewEnv(int version = SQL_OV_ODBC3);
  SQLHDBC NewDbc(SQLHENV env);
  // A connected connection through the fake back end.
  SQLHDBC Connected(SQLHENV env, const char* connStr = "DSN=;UID=u;PWD=p");
  // The state and message of diagnostic record n.
  std::string State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1);
  std::string Message(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1);
};
