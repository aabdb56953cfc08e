// fake_backend_support.cpp -- the recording back end and the core fixture.

#include "fake_backend.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "tests/tmpdir.h"
#include "util/utalloc.h"

void Latch::Arm() {
  std::lock_guard<std::mutex> g(m_);
  armed_ = true;
  entered_ = false;
  open_ = false;
}

void Latch::WaitEntered() {
  std::unique_lock<std::mutex> g(m_);
  cv_.wait(g, [this] { return entered_; });
}

void Latch::Open() {
  std::lock_guard<std::mutex> g(m_);
  open_ = true;
  cv_.notify_all();
}

void Latch::BlockHere() {
  std::unique_lock<std::mutex> g(m_);
  if (!armed_) return;
  entered_ = true;
  cv_.notify_all();
  cv_.wait(g, [this] { return open_; });
  armed_ = false;
}

namespace {

FakeBackend fake;
uint32_t nextCursor = 1;

std::string hex(uint32_t v) {
  char b[16];
  snprintf(b, sizeof b, "%X", v);
  return b;
}

char** copy_texts(const std::vector<std::string>& v) {
  auto** texts = static_cast<char**>(s_alloc(v.size(), sizeof(char*)));
  for (size_t i = 0; i < v.size(); ++i) texts[i] = s_strdup(v[i].c_str());
  return texts;
}

int32_t GetInfo(DrvHandle h, DriverPropId id, void* buf, uint16_t bufLen, uint16_t* outLen) {
  fake.Log("GetInfo " + hex(h) + "," + hex(id));
  if (id == DRVP_ROW_COUNT) {
    if (fake.blockRowCount != nullptr) fake.blockRowCount->BlockHere();
    if (fake.rowCountCode != 0) return fake.rowCountCode;
    memcpy(buf, &fake.rowCount, 4);
    if (outLen != nullptr) *outLen = 4;
    return 0;
  }
  auto t = fake.texts.find(id);
  if (t != fake.texts.end()) {
    size_t n = t->second.size() < bufLen ? t->second.size() : bufLen - 1u;
    memcpy(buf, t->second.data(), n);
    static_cast<char*>(buf)[n] = '\0';
    if (outLen != nullptr) *outLen = static_cast<uint16_t>(n);
    return 0;
  }
  auto i = fake.ints.find(id);
  if (i == fake.ints.end()) return ERR_NOT_SUPPORTED;
  memcpy(buf, &i->second, 4);
  if (outLen != nullptr) *outLen = 4;
  return 0;
}

int32_t SetOption(DrvHandle h, DriverPropId id, const void* value) {
  std::string v = DrvpKind(id) == DRVP_KIND_TEXT
                      ? static_cast<const char*>(value)
                      : std::to_string(*static_cast<const int32_t*>(value));
  fake.Log("SetOption " + hex(h) + "," + hex(id) + "," + v);
  auto a = fake.setAnswers.find(id);
  if (a != fake.setAnswers.end() && a->second != 0) return a->second;
  if (id == DRVP_AUTOCOMMIT) fake.ints[DRVP_AUTOCOMMIT] = *static_cast<const int32_t*>(value);
  return 0;
}

int32_t GetErrors(DrvHandle h, DriverMessageList* out) {
  fake.Log("GetErrors " + hex(h));
  std::vector<std::string>* src = nullptr;
  if ((h >> 16) == 0xBBBB || (h >> 16) == 0xAAAA) src = &fake.connectMessages;
  if ((h >> 16) == 0xCCCC) src = &fake.cursorMessages;
  *out = DriverMessageList{};
  if (src == nullptr || src->empty()) return 0;
  out->nativeCode = -201;
  out->count = static_cast<int32_t>(src->size());
  out->texts = copy_texts(*src);
  src->clear();
  return 0;
}

int32_t AllocServer(const DriverServerArgs*, DrvHandle* h) {
  fake.Log("AllocServer");
  *h = 0xAAAA0001;
  return 0;
}
int32_t EndServer(DrvHandle h) {
  fake.Log("EndServer " + hex(h));
  return 0;
}
int32_t Connect(DrvHandle, const DriverConnectParams* p, DrvHandle* h) {
  fake.Log("Connect");
  fake.lastParams = *p;
  fake.lastSrvopts = p->srvopts != nullptr ? p->srvopts : "";
  fake.lastUid = p->uid;
  fake.lastPwd = p->pwd;
  fake.lastDsn = p->dsn;
  fake.lastDbopts = p->dbopts != nullptr ? p->dbopts : "";
  fake.lastTarget = p->target != nullptr ? p->target : "";
  fake.lastDbpath = p->dbpath != nullptr ? p->dbpath : "";
  fake.lastParams.srvopts = fake.lastParams.uid = fake.lastParams.pwd = nullptr;
  fake.lastParams.dsn = fake.lastParams.dbopts = nullptr;
  fake.lastParams.target = fake.lastParams.dbpath = fake.lastParams.proto = nullptr;
  if (fake.connectCode != 0) return fake.connectCode;
  *h = 0xBBBB0001;
  return 0;
}
int32_t EndConnect(DrvHandle h) {
  fake.Log("EndConnect " + hex(h));
  return fake.endConnectCode;
}
int32_t AllocCursor(DrvHandle, DrvHandle* h) {
  *h = 0xCCCC0000 + nextCursor++;
  fake.Log("AllocCursor " + hex(*h));
  return 0;
}
int32_t EndCursor(DrvHandle h) {
  fake.Log("EndCursor " + hex(h));
  return 0;
}
int32_t CloseCursor(DrvHandle h) {
  fake.Log("CloseCursor " + hex(h));
  if (fake.blockCloseCursor != nullptr) fake.blockCloseCursor->BlockHere();
  return 0;
}
int32_t Commit(DrvHandle h) {
  fake.Log("Commit " + hex(h));
  return 0;
}
int32_t Rollback(DrvHandle h) {
  fake.Log("Rollback " + hex(h));
  return fake.rollbackCode;
}
const OpTableRow kRows[] = {{1, 32767, 0x2A31EC}};
int32_t GetOpTable(DrvHandle, OpTable* t) {
  fake.Log("GetOpTable");
  if (t->type != 1) return ERR_NOT_CAPABLE;
  t->count = 1;
  t->rows = kRows;
  return 0;
}
int32_t Cancel(DrvHandle h) {
  fake.Log("Cancel " + hex(h));
  return 0;
}

DriverOps MakeOps() {
  DriverOps ops{};
  ops.DRV_GetInfo = GetInfo;
  ops.DRV_SetOption = SetOption;
  ops.DRV_GetErrors = GetErrors;
  ops.DRV_AllocServer = AllocServer;
  ops.DRV_EndServer = EndServer;
  ops.DRV_Connect = Connect;
  ops.DRV_EndConnect = EndConnect;
  ops.DRV_AllocCursor = AllocCursor;
  ops.DRV_EndCursor = EndCursor;
  ops.DRV_CloseCursor = CloseCursor;
  ops.DRV_Commit = Commit;
  ops.DRV_Rollback = Rollback;
  ops.DRV_GetOpTable = GetOpTable;
  ops.DRV_Cancel = Cancel;
  return ops;
}
const DriverOps fakeOps = MakeOps();

// A private configuration, so that no odbc.ini of the machine takes part.
void private_odbc_ini() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::string d = MakeProcessTempDir("kes_odbc_test_");
  ASSERT_FALSE(d.empty());
  const char* dir = d.c_str();
  FILE* f = fopen((d + "/odbc.ini").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs(
      "[ODBC Data Sources]\nsales=Kestrane Test Driver\n\n"
      "[sales]\nDriver=Kestrane Test "
      "Driver\nDatabase=salesdb\nLastUser=dsnuser\nFetchBufferSize=25\n"
      "JET=yes\nHost=dsnhost\n\n"
      "[nopwd]\nDatabase=db2\n\n"
      "[Default]\nDatabase=defaultdb\nLastUser=defuser\nPWD=defpwd\n\n"
      "[wide \xC3\xBC]\nDatabase=\xCE\xB4\xCE\xB2_\xD0\xB1\xD0\xB0\xF0\x9D\x84\x9E\n"
      "LastUser=us\xC3\xA9r\n",
      f);
  fclose(f);
  f = fopen((d + "/odbcinst.ini").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  f = fopen((d + "/file.dsn").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("[ODBC]\nDATABASE=filedb\nUID=fileuser\n", f);
  fclose(f);
  f = fopen((d + "/wide.dsn").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("[ODBC]\nDATABASE=\xCE\xB4\xCE\xB2\nUID=us\xC3\xA9r\n", f);
  fclose(f);
  setenv("ODBCSYSINI", dir, 1);
  setenv("ODBCINI", (d + "/odbc.ini").c_str(), 1);
  setenv("KES_TEST_FILEDSN", (d + "/file.dsn").c_str(), 1);
  setenv("KES_TEST_WIDE_FILEDSN", (d + "/wide.dsn").c_str(), 1);
  unsetenv("KES_PROMPT_ANSWER");
}

}  // namespace

void FakeBackend::Reset() {
  std::lock_guard<std::mutex> g(logLock);
  log.clear();
  ints.clear();
  texts.clear();
  setAnswers.clear();
  connectCode = 0;
  connectMessages.clear();
  rollbackCode = 0;
  endConnectCode = 0;
  lastSrvopts.clear();
  cursorMessages.clear();
  caps = DRV_CAP_THREADSAFE;
  blockRowCount = nullptr;
  blockCloseCursor = nullptr;
  rowCount = 7;
  rowCountCode = 0;
}

void FakeBackend::Log(const std::string& entry) {
  std::lock_guard<std::mutex> g(logLock);
  log.push_back(entry);
}

std::vector<std::string> FakeBackend::Calls() {
  std::lock_guard<std::mutex> g(logLock);
  return log;
}

bool FakeBackend::Called(const std::string& prefix) {
  std::lock_guard<std::mutex> g(logLock);
  for (const std::string& e : log)
    if (e.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

FakeBackend& Fake() { return fake; }

int32_t FakeBind(DriverRecord* rec) {
  rec->ops = &fakeOps;
  rec->caps = fake.caps;
  return 0;
}

void CoreTest::SetUp() {
  private_odbc_ini();
  fake.Reset();
  ASSERT_EQ(HandlesInit(), 0);
  DriverSetBinder(FakeBind);
}

void CoreTest::TearDown() {
  HandlesTerm();
  DriverSetBinder(nullptr);
}

SQLHENV CoreTest::NewEnv(int version) {
  SQLHENV env = nullptr;
  if (version == SQL_OV_ODBC3) {
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  } else {
    EXPECT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  }
  return env;
}

SQLHDBC CoreTest::NewDbc(SQLHENV env) {
  SQLHDBC dbc = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  return dbc;
}

SQLHDBC CoreTest::Connected(SQLHENV env, const char* connStr) {
  SQLHDBC dbc = NewDbc(env);
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connStr, SQL_NTS, nullptr, 0, nullptr,
                                  SQL_DRIVER_NOPROMPT);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Message(SQL_HANDLE_DBC, dbc);
  return dbc;
}

std::string CoreTest::State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[512];
  SQLSMALLINT len = 0;
  SQLRETURN rc = SQLGetDiagRec(type, h, rec, state, &native, text, sizeof text, &len);
  if (rc == SQL_NO_DATA) return "NO_DATA";
  return reinterpret_cast<char*>(state);
}

std::string CoreTest::Message(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {};
  SQLSMALLINT len = 0;
  if (SQLGetDiagRec(type, h, rec, state, &native, text, sizeof text, &len) == SQL_NO_DATA)
    return "";
  return reinterpret_cast<char*>(text);
}
