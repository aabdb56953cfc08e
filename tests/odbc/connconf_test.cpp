// connconf_test.cpp -- from a connection string to the back end's connect:
// keyword parsing, the configuration sources, the prompt decision, the
// completed connection string, capabilities and the settings that follow a
// connect.

#include <cstdio>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "drv/connopts.h"
#include "drv/errtab.h"
#include "fake_backend.h"
#include "odbc/conn.h"
#include "odbc/connconf.h"
#include "odbc/dispatch.h"
#include "util/conv.h"

namespace {

class ConnectTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    env_ = NewEnv();
    dbc_ = NewDbc(env_);
  }
  void TearDown() override {
    unsetenv("KES_PROMPT_ANSWER");
    CoreTest::TearDown();
  }
  Conn* Record() { return static_cast<Conn*>(HandleLookup(&DbcHandles, HandleOf(dbc_))); }
  SQLRETURN DriverConnect(const std::string& in, std::string* out = nullptr,
                          SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT, SQLHWND window = nullptr) {
    SQLCHAR buf[2048] = {};
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLDriverConnect(dbc_, window, (SQLCHAR*)in.c_str(), SQL_NTS, buf, sizeof buf,
                                    &len, completion);
    if (out != nullptr) *out = reinterpret_cast<char*>(buf);
    return rc;
  }
  static std::string FileDsn() { return getenv("KES_TEST_FILEDSN"); }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};

struct StringCase {
  std::string in;
  std::string uid, pwd, dsn, dbopts;
  int32_t fetchSize;
  std::string completed;  // empty: not checked
};

TEST_F(ConnectTest, ConnectionStrings) {
  const std::string dsnTail = ";DATABASE=salesdb;HOST=dsnhost;JET=TRUE;FBS=25";
  const StringCase cases[] = {
      {"DSN=sales;UID=u;PWD=p", "u", "p", "sales", " -H dsnhost", 25,
       "DSN=sales;UID=u;PWD=p" + dsnTail},
      {"dsn=sales;uid=u;Pwd=p", "u", "p", "sales", " -H dsnhost", 25, ""},
      {"DSN=sales;UID=a;UID=b;PWD=p", "b", "p", "sales", " -H dsnhost", 25, ""},
      {"DSN=sales;junk;UID=u;;PWD=p", "u", "p", "sales", " -H dsnhost", 25, ""},
      {"DSN=sales;UID={a;b};PWD={x}}y}", "a;b", "x}y", "sales", " -H dsnhost", 25,
       "DSN=sales;UID={a;b};PWD={x}}y}" + dsnTail},
      {"DSN=sales;UID=u ;PWD=p", "u ", "p", "sales", " -H dsnhost", 25,
       "DSN=sales;UID={u };PWD=p" + dsnTail},
      // A keyword with a blank in front is not a keyword: UID comes from LastUser.
      {"DSN=sales; UID=x;PWD=p", "dsnuser", "p", "sales", " -H dsnhost", 25, ""},
      {"DSN=sales;PWD=p", "dsnuser", "p", "sales", " -H dsnhost", 25, ""},
      // A data source without the value leaves it empty; FBS defaults to 60.
      {"DSN=nopwd;UID=u", "u", "", "nopwd", "", 60,
       "DSN=nopwd;UID=u;PWD=;DATABASE=db2;HOST=;JET=FALSE;FBS=60"},
      {"UID=u;PWD=p", "u", "p", "Default", "", 60, ""},
      {"PWD=p", "defuser", "p", "Default", "", 60, ""},
      {"FILEDSN=" + FileDsn() + ";PWD=p", "fileuser", "p", "", "", 60, ""},
      {"DSN=sales;UID=u;PWD=p;FBS=0", "u", "p", "sales", " -H dsnhost", 60, ""},
      {"DSN=sales;UID=u;PWD=p;FBS=-5", "u", "p", "sales", " -H dsnhost", 60, ""},
      {"DSN=sales;UID=u;PWD=p;FBS=70000", "u", "p", "sales", " -H dsnhost", 65535, ""},
      {"DSN=;UID=u;PWD=p;INFSERVER=ol;SERVICE=;PROTO=tcp", "u", "p", "Default", " -S ol -P tcp", 60,
       ""},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(c.in);
    std::string completed;
    ASSERT_EQ(DriverConnect(c.in, &completed), SQL_SUCCESS) << Message(SQL_HANDLE_DBC, dbc_);
    EXPECT_EQ(Fake().lastUid, c.uid);
    EXPECT_EQ(Fake().lastPwd, c.pwd);
    EXPECT_EQ(Fake().lastDsn, c.dsn);
    EXPECT_EQ(Fake().lastDbopts, c.dbopts);
    EXPECT_EQ(Record()->cn_fetchSize, c.fetchSize);
    if (!c.completed.empty()) {
      EXPECT_EQ(completed, c.completed);
    }
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  }
}

TEST_F(ConnectTest, LongCompletedFormWithDriver) {
  std::string completed;
  ASSERT_EQ(DriverConnect("DRIVER={Kestrane Test};UID=u;PWD=p;MAXROWS=-3;MULTISESS=YES;DATABASE=d",
                          &completed),
            SQL_SUCCESS);
  EXPECT_EQ(completed.rfind("DRIVER={Kestrane Test};UID=u;PWD=p;DATABASE=d;", 0), 0u) << completed;
  EXPECT_NE(completed.find(";MAXROWS=0;"), std::string::npos);
  EXPECT_NE(completed.find(";MULTISESS=TRUE;"), std::string::npos);
  EXPECT_NE(completed.find(";DYN_CURS_SENSITIVITY=LOW;"), std::string::npos);
  EXPECT_EQ(completed.substr(completed.size() - 16), ";Server=Kestrane");
}

TEST_F(ConnectTest, CompletedStringTruncationInBothForms) {
  const std::string in = "DSN=sales;UID=u;PWD=p";
  const std::string full = "DSN=sales;UID=u;PWD=p;DATABASE=salesdb;HOST=dsnhost;JET=TRUE;FBS=25";
  SQLCHAR small[10];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, small, sizeof small,
                             &len, SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(full.size()));
  EXPECT_STREQ(reinterpret_cast<char*>(small), full.substr(0, 9).c_str());
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "01004");
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);

  std::vector<SQLWCHAR> win(in.begin(), in.end());
  win.push_back(0);
  SQLWCHAR wsmall[10];
  EXPECT_EQ(
      SQLDriverConnectW(dbc_, nullptr, win.data(), SQL_NTS, wsmall, 10, &len, SQL_DRIVER_NOPROMPT),
      SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(full.size()));
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wsmall)), u"DSN=sales");
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "01004");
}

TEST_F(ConnectTest, WideMarkerOnlyOnWideConnects) {
  const std::string marker("W\x7F\x01\x01", 4);
  ASSERT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_SUCCESS);
  EXPECT_EQ(Fake().lastSrvopts, "");
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);

  const SQLWCHAR dsn[] = {'s', 'a', 'l', 'e', 's', 0};
  const SQLWCHAR u[] = {'u', 0};
  ASSERT_EQ(
      SQLConnectW(dbc_, (SQLWCHAR*)dsn, SQL_NTS, (SQLWCHAR*)u, SQL_NTS, (SQLWCHAR*)u, SQL_NTS),
      SQL_SUCCESS);
  EXPECT_EQ(Fake().lastSrvopts, marker);
  // The back end did not declare wide mode: data at execution stays narrow.
  EXPECT_EQ(Record()->cn_narrowDAE, 1);
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);

  Fake().ints[DRVP_WIDE] = 1;
  ASSERT_EQ(
      SQLConnectW(dbc_, (SQLWCHAR*)dsn, SQL_NTS, (SQLWCHAR*)u, SQL_NTS, (SQLWCHAR*)u, SQL_NTS),
      SQL_SUCCESS);
  EXPECT_EQ(Record()->cn_narrowDAE, 0);
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  ASSERT_EQ(
      SQLConnect(dbc_, (SQLCHAR*)"sales", SQL_NTS, (SQLCHAR*)"u", SQL_NTS, (SQLCHAR*)"p", SQL_NTS),
      SQL_SUCCESS);
  EXPECT_EQ(Fake().lastSrvopts, "");
}

TEST_F(ConnectTest, ConnectTextsCannotInjectKeywords) {
  ASSERT_EQ(SQLConnect(dbc_, (SQLCHAR*)"sales", SQL_NTS, (SQLCHAR*)"u;DATABASE=other", SQL_NTS,
                       (SQLCHAR*)"p;INITSQL=/tmp/x.sql", SQL_NTS),
            SQL_SUCCESS);
  EXPECT_EQ(Fake().lastUid, "u;DATABASE=other");
  EXPECT_EQ(Fake().lastPwd, "p;INITSQL=/tmp/x.sql");
  EXPECT_EQ(std::string(Record()->cn_dbpath), "salesdb");
  EXPECT_EQ(ConnectOptions.initialSql, nullptr);
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  EXPECT_EQ(SQLConnect(dbc_, (SQLCHAR*)"sales", -5, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY090");
}

// SQLConnect reaches the connect as a connection string: every text arrives as
// it was given, whatever separators or blanks it holds; NULs that pad it end it,
// and a NUL with more text after it is refused rather than cutting the text short.
TEST_F(ConnectTest, ConnectTextsArriveWhole) {
  const std::string pwd(5000, 'p');
  const struct {
    std::string dsn, uid, pwd;
    std::string wantUid, wantPwd;
  } cases[] = {
      {"sales", "u}{;x", " p ", "u}{;x", " p "},
      {"sales", "{u}", "}}", "{u}", "}}"},
      {std::string("sales\0\0", 7), "u", std::string("p\0", 2), "u", "p"},
      // A completed string longer than any buffer is no warning: none is returned.
      {"sales", "u", pwd, "u", pwd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uid);
    ASSERT_EQ(SQLConnect(dbc_, (SQLCHAR*)c.dsn.data(), static_cast<SQLSMALLINT>(c.dsn.size()),
                         (SQLCHAR*)c.uid.data(), static_cast<SQLSMALLINT>(c.uid.size()),
                         (SQLCHAR*)c.pwd.data(), static_cast<SQLSMALLINT>(c.pwd.size())),
              SQL_SUCCESS);
    EXPECT_EQ(Fake().lastUid, c.wantUid);
    EXPECT_EQ(Fake().lastPwd, c.wantPwd);
    EXPECT_EQ(std::string(Record()->cn_dsn), "sales");
    EXPECT_EQ(std::string(Record()->cn_dbpath), "salesdb");
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  }
  const std::string cut("sales\0junk", 10);
  EXPECT_EQ(SQLConnect(dbc_, (SQLCHAR*)cut.data(), static_cast<SQLSMALLINT>(cut.size()),
                       (SQLCHAR*)"u", SQL_NTS, (SQLCHAR*)"p", SQL_NTS),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY090");
}

// A wide connect reads the configuration through the installer's wide forms:
// texts beyond ASCII arrive as the 8-bit road gives them.
TEST_F(ConnectTest, WideConnectsReadTheSameConfiguration) {
  const std::string section = "wide \xC3\xBC";
  const std::string database = "\xCE\xB4\xCE\xB2_\xD0\xB1\xD0\xB0\xF0\x9D\x84\x9E";
  const std::string user = "us\xC3\xA9r";
  char16_t* dsn = utf8_to_wcs_dup(section.c_str());
  ASSERT_NE(dsn, nullptr);
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide);
    const SQLRETURN rc =
        wide ? SQLConnectW(dbc_, (SQLWCHAR*)dsn, SQL_NTS, nullptr, 0, (SQLWCHAR*)u"p", SQL_NTS)
             : SQLConnect(dbc_, (SQLCHAR*)section.c_str(), SQL_NTS, nullptr, 0, (SQLCHAR*)"p",
                          SQL_NTS);
    ASSERT_EQ(rc, SQL_SUCCESS);
    EXPECT_EQ(Fake().lastUid, user);
    EXPECT_EQ(std::string(Record()->cn_dbpath), database);
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  }
  free(dsn);

  const std::string in = std::string("FILEDSN=") + getenv("KES_TEST_WIDE_FILEDSN") + ";PWD=p";
  char16_t* win = utf8_to_wcs_dup(in.c_str());
  ASSERT_NE(win, nullptr);
  ASSERT_EQ(SQLDriverConnectW(dbc_, nullptr, (SQLWCHAR*)win, SQL_NTS, nullptr, 0, nullptr,
                              SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS);
  EXPECT_EQ(Fake().lastUid, user);
  EXPECT_EQ(std::string(Record()->cn_dbpath), "\xCE\xB4\xCE\xB2");
  free(win);
}

TEST_F(ConnectTest, LongValuesReachTheBackEndWhole) {
  const std::string host(300, 'h'), db(2000, 'd'), pwd(5000, 'p');
  std::string completed;
  // The completed string does not fit the 2048-byte buffer of the helper.
  ASSERT_EQ(
      DriverConnect("DSN=;UID=u;PWD=" + pwd + ";HOST=" + host + ";DATABASE=" + db, &completed),
      SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Fake().lastTarget, host);
  EXPECT_EQ(Fake().lastDbpath, db);
  EXPECT_EQ(Fake().lastPwd, pwd);
  EXPECT_EQ(Fake().lastDbopts, " -H " + host);
  EXPECT_EQ(completed.size(), 2047u);
}

TEST_F(ConnectTest, SecondConnectIsRefused) {
  ASSERT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_SUCCESS);
  EXPECT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "08002");
}

// Boolean keywords take what users write for on and off, in any letter case.
TEST_F(ConnectTest, BooleanKeywordValues) {
  const struct {
    const char* value;
    int32_t on;
  } cases[] = {{"1", 1},  {"yes", 1},   {"True", 1}, {"ON", 1}, {"0", 0},
               {"no", 0}, {"FALSE", 0}, {"off", 0},  {"", 0},   {"2", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(DriverConnect(std::string("DSN=sales;UID=u;PWD=p;FORCEDORMANT=") + c.value +
                            ";READONLY=" + c.value),
              SQL_SUCCESS);
    EXPECT_EQ(ConnectOptions.forceDormant, c.on);
    EXPECT_EQ((Record()->flags & CONN_F_READONLY) != 0, c.on != 0);
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  }
}

struct PromptCase {
  std::string in;
  SQLUSMALLINT completion;
  bool prompted;
};

// Without a window nobody can be asked: a completion that lacks a login tries the
// connection all the same, and only the back end's refusal of the login is IM008
// (never SQL_NO_DATA without a record); any other refusal is reported as it came.
TEST_F(ConnectTest, NoWindowNoDialog) {
  struct Case {
    std::string in;
    SQLUSMALLINT completion;
    const char* refusal;  // the back end's message, or null when it connects
    const char* state;    // null: connected
  };
  const char* login = "[Informix Server]User u is not known (-951)[SQLSTATE:28000]";
  const char* server = "[Informix Server]No such server (-908)[SQLSTATE:08001]";
  const Case cases[] = {
      {"DSN=nopwd;UID=u", SQL_DRIVER_COMPLETE, nullptr, nullptr},
      {"DSN=nopwd;UID=u", SQL_DRIVER_COMPLETE_REQUIRED, nullptr, nullptr},
      {"DSN=nopwd;UID=u", SQL_DRIVER_COMPLETE, login, "IM008"},
      {"DSN=nopwd", SQL_DRIVER_COMPLETE_REQUIRED, login, "IM008"},
      {"DSN=nopwd;UID=u", SQL_DRIVER_COMPLETE, server, "08001"},
      {"DSN=sales;UID=u;PWD=p", SQL_DRIVER_PROMPT, nullptr, "IM008"},
      {"DSN=sales;UID=u;PWD=p", SQL_DRIVER_COMPLETE, nullptr, nullptr},
      {"DSN=sales;UID=u;PWD=p", SQL_DRIVER_COMPLETE, login, "28000"},
      {"DSN=nopwd;UID=u;NLB=1", SQL_DRIVER_COMPLETE, login, "28000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in + " completion " + std::to_string(c.completion) +
                 (c.refusal != nullptr ? " refused" : ""));
    Fake().connectCode = c.refusal != nullptr ? ERR_CONN_REJECTED : 0;
    Fake().connectMessages.clear();
    if (c.refusal != nullptr) Fake().connectMessages = {c.refusal};
    SQLRETURN rc = DriverConnect(c.in, nullptr, c.completion);
    EXPECT_EQ(rc, c.state != nullptr ? SQL_ERROR : SQL_SUCCESS);
    if (rc == SQL_SUCCESS) {
      ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
    } else {
      EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), c.state);
      // The refused login is not reported beside the failed dialog.
      if (std::string(c.state) == "IM008") {
        SQLCHAR state[6];
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc_, 2, state, &native, nullptr, 0, &len),
                  SQL_NO_DATA);
      }
    }
  }
  Fake().connectCode = 0;
}

TEST_F(ConnectTest, PromptDecision) {
  char path[] = "/tmp/kes_prompt_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "cancel\n", 7), 7);
  close(fd);
  setenv("KES_PROMPT_ANSWER", path, 1);
  const PromptCase cases[] = {
      {"DSN=sales;UID=u;PWD=p", SQL_DRIVER_NOPROMPT, false},
      {"DSN=nopwd;UID=u", SQL_DRIVER_NOPROMPT, false},
      {"DSN=nopwd;UID=u", SQL_DRIVER_COMPLETE, true},
      {"DSN=nopwd;UID=u;PWD= x", SQL_DRIVER_COMPLETE_REQUIRED, true},
      {"DSN=sales;UID=u;PWD=p", SQL_DRIVER_COMPLETE, false},
      {"DSN=sales;UID=u;PWD=p", SQL_DRIVER_PROMPT, true},
      {"DSN=sales;UID=u;PWD=p;NLB=yes", SQL_DRIVER_PROMPT, false},
      {"DSN=sales;UID=u;PWD=p;NLB=1", SQL_DRIVER_PROMPT, false},
  };
  // The application's window: the dialog stand-in answers from the file.
  const auto window = reinterpret_cast<SQLHWND>(1);
  for (const PromptCase& c : cases) {
    SCOPED_TRACE(c.in + " completion " + std::to_string(c.completion));
    SQLRETURN rc = DriverConnect(c.in, nullptr, c.completion, window);
    EXPECT_EQ(rc, c.prompted ? SQL_NO_DATA : SQL_SUCCESS);
    if (rc == SQL_SUCCESS) {
      ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
    }
  }
  // A confirmed dialog replaces the whole string.
  FILE* f = fopen(path, "w");
  ASSERT_NE(f, nullptr);
  fputs("DSN=sales;UID=typed;PWD=secret\n", f);
  fclose(f);
  ASSERT_EQ(DriverConnect("DSN=nopwd", nullptr, SQL_DRIVER_COMPLETE, window), SQL_SUCCESS);
  EXPECT_EQ(Fake().lastUid, "typed");
  EXPECT_EQ(Fake().lastPwd, "secret");
  unlink(path);
}

TEST_F(ConnectTest, FailedConnectReportsTheBackEndAndReleasesTheServer) {
  Fake().connectCode = ERR_CONN_REJECTED;
  Fake().connectMessages = {"[Informix Server]No such server (-908)[SQLSTATE:08001]"};
  EXPECT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "08001");
  EXPECT_EQ(Message(SQL_HANDLE_DBC, dbc_),
            "[Kestrane][ODBC][Informix Server]No such server (-908)");
  EXPECT_TRUE(Fake().Called("EndServer"));
  SQLHSTMT stmt = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_ERROR);
}

struct CapsCase {
  const char* name;
  std::map<uint32_t, int32_t> answers;
  std::vector<int32_t Conn::*> set;
  bool autocommit;
};

// What the Informix agent declares besides autocommit.
constexpr int32_t kAgentCaps = DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_MORE_RESULTS | DRV_CAPBIT_PARAM_OP |
                               DRV_CAPBIT_SCROLL_CURSORS | DRV_CAPBIT_DYNMIX_CURSORS |
                               DRV_CAPBIT_V2DAE | DRV_CAPBIT_EXECUTE2 | DRV_CAPBIT_COL_ATTRS |
                               DRV_CAPBIT_MAX_LENGTH | DRV_CAPBIT_DTC;

TEST_F(ConnectTest, CapabilitiesFromTheMaskOrItemByItem) {
  const std::vector<int32_t Conn::*> all = {
      &Conn::cn_needbind,        &Conn::cn_hasMoreRes,    &Conn::cn_hasParamOp,
      &Conn::cn_hasScrlCurs,     &Conn::cn_hasDynMixCurs, &Conn::cn_hasV2DAE,
      &Conn::cn_spOutDeferFetch, &Conn::cn_hasExecute2,   &Conn::cn_hasConvInfo,
      &Conn::cn_hasColAttrs,     &Conn::cn_hasPrepExec2,  &Conn::cn_hasMaxLength,
      &Conn::cn_hasDTC,          &Conn::cn_hasFailover};
  const CapsCase cases[] = {
      {"mask with autocommit",
       {{DRVP_CAPABILITIES, kAgentCaps | DRV_CAPBIT_AUTOCOMMIT}},
       {&Conn::cn_needbind, &Conn::cn_hasMoreRes, &Conn::cn_hasParamOp, &Conn::cn_hasScrlCurs,
        &Conn::cn_hasDynMixCurs, &Conn::cn_hasV2DAE, &Conn::cn_hasExecute2, &Conn::cn_hasColAttrs,
        &Conn::cn_hasMaxLength, &Conn::cn_hasDTC},
       true},
      {"mask without autocommit",
       {{DRVP_CAPABILITIES, kAgentCaps}},
       {&Conn::cn_needbind, &Conn::cn_hasMoreRes, &Conn::cn_hasParamOp, &Conn::cn_hasScrlCurs,
        &Conn::cn_hasDynMixCurs, &Conn::cn_hasV2DAE, &Conn::cn_hasExecute2, &Conn::cn_hasColAttrs,
        &Conn::cn_hasMaxLength, &Conn::cn_hasDTC},
       false},
      {"items",
       {{DRVP_NEEDBIND, 1}, {DRVP_SCROLL_CURSORS, 2}, {DRVP_V2DAE, 0}, {DRVP_AUTOCOMMIT, 1}},
       {&Conn::cn_needbind, &Conn::cn_hasScrlCurs},
       true},
      {"nothing answered", {}, {}, false},
  };
  for (const CapsCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fake().ints = c.answers;
    ASSERT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_SUCCESS);
    Conn* conn = Record();
    for (auto field : all) {
      bool expected = std::find(c.set.begin(), c.set.end(), field) != c.set.end();
      EXPECT_EQ(conn->*field, expected ? 1 : 0);
    }
    EXPECT_EQ((conn->flags & CONN_F_AUTOCOMMIT) != 0, c.autocommit);
    ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  }
}

TEST_F(ConnectTest, AutocommitSetBeforeConnectIsHonoured) {
  // The back end starts in autocommit.
  Fake().ints[DRVP_CAPABILITIES] = kAgentCaps | DRV_CAPBIT_AUTOCOMMIT;
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_ACCESS_MODE, (SQLPOINTER)SQL_MODE_READ_ONLY, 0),
            SQL_SUCCESS);
  EXPECT_FALSE(Fake().Called("SetOption"));
  ASSERT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,22030000,0"));
  EXPECT_EQ(Fake().lastParams.readonly, 1);
  SQLUINTEGER ac = 1;
  ASSERT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &ac, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(ac, static_cast<SQLUINTEGER>(SQL_AUTOCOMMIT_OFF));
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("Rollback BBBB0001"));

  // A back end that cannot turn autocommit off fails the connect.
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  Fake().ints[DRVP_AUTOCOMMIT] = 1;
  Fake().setAnswers[DRVP_AUTOCOMMIT] = ERR_NOT_CAPABLE;
  EXPECT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p"), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HYC00");
  EXPECT_TRUE(Fake().Called("EndConnect"));
}

TEST_F(ConnectTest, SettingsAfterConnect) {
  Fake().ints[DRVP_TXN_ISOLATION] = 2;
  ASSERT_EQ(DriverConnect("DSN=sales;UID=u;PWD=p;DLF=yes"), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,2201000F,1"));
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,2201000C,3"));
  SQLUINTEGER iso = 0;
  ASSERT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION, &iso, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(iso, 2u);
  EXPECT_EQ(Record()->opTable.type, 1);
  EXPECT_EQ(Fake().lastParams.loginTimeout, 99);
}

TEST_F(ConnectTest, DriverNameOfTheDataSource) {
  CriticalSectionLock g(&DriverLock);
  const struct {
    const char* in;
    const char* name;
  } cases[] = {{"DSN=sales", "Kestrane Test Driver"}, {"DSN=nowhere", ""}, {"UID=u", ""}};
  for (const auto& c : cases) {
    ParseConnectString(c.in, 'A');
    char* name = GetDsnDriverName();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, c.name) << c.in;
    free(name);
  }
  ParseConnectString(nullptr, 'A');
}

}  // namespace
