// Errors of the embedded runtime: what PREPARE refuses (with the object name) and the
// message texts.
#include "tests/platform/informix/ixr_fixture.h"

namespace ixrtest {
namespace {

class ErrorsTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    makeDb();
    ASSERT_EQ(exec("create table t (a int, b char(4))"), 0);
  }
};

TEST_F(ErrorsTest, PrepareRaisesTheStatementsErrors) {
  struct Case {
    const char* sql;
    int rc;
    const char* sqlerrm;
  };
  const Case cases[] = {
      {"selec a from t", IXR_E_SYNTAX, "selec"},
      {"select a from", IXR_E_SYNTAX, ""},
      {"select a from nosuch", IXR_E_NO_TABLE, "nosuch"},
      {"select nosuch from t", IXR_E_NO_COLUMN, "nosuch"},
      {"select x.a from t", IXR_E_NO_TABLE, "x"},
      {"select a from t, t t2", IXR_E_AMBIGUOUS, "a"},
      {"select distinct a from t order by b", IXR_E_ORDER_NOT_SELECTED, "b"},
      {"select a from t union select a from t order by b", IXR_E_ORDER_NOT_SELECTED, "b"},
      {"select a from t where a = 'x'", IXR_E_CHAR_TO_NUMBER, ""},
      {"select a from t where a = nosuchfn(a)", IXR_E_NO_ROUTINE, "nosuchfn"},
      {"insert into t values (1)", IXR_E_INSERT_COUNT, ""},
      {"insert into t (c) values (1)", IXR_E_NO_COLUMN, "c"},
      {"update t set nosuch = 1", IXR_E_NO_COLUMN, "nosuch"},
      {"select a from t where b = datetime(2024-13-01) year to day", IXR_E_DT_BAD_FIELD, ""},
      {"select a from t order by 3", IXR_E_SYNTAX, "3"},
      // A SELECT has a cursor of its own: it is no statement of a batch.
      {"select a from t; select b from t", IXR_E_SYNTAX, "select"},
      {"delete from t;\nselect b from t", IXR_E_SYNTAX, "select"},
      {"delete from t; update t set a = 1", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ixr_prepare("s", c.sql), c.rc);
    EXPECT_STREQ(ixr_sqlca()->sqlerrm, c.sqlerrm);
  }
}

// A write that breaks a foreign key names it, also when its table has several or
// an UPDATE could break one either way.
TEST_F(ErrorsTest, BrokenForeignKeysAreNamed) {
  ASSERT_EQ(exec("create table p1 (k int primary key)"), 0);
  ASSERT_EQ(exec("create table p2 (k int primary key)"), 0);
  ASSERT_EQ(exec("create table c (a int references p1 (k) constraint c_p1, "
                 "b int references p2 (k) constraint c_p2)"),
            0);
  ASSERT_EQ(exec("insert into p1 values (1)"), 0);
  ASSERT_EQ(exec("insert into p2 values (1)"), 0);
  ASSERT_EQ(exec("insert into c values (1, 1)"), 0);
  const struct {
    const char* sql;
    int rc;
    const char* constraint;
  } cases[] = {
      {"insert into c values (1, 9)", IXR_E_REF_MISSING, "c_p2"},
      {"insert into c values (9, 1)", IXR_E_REF_MISSING, "c_p1"},
      {"update c set b = 9", IXR_E_REF_MISSING, "c_p2"},
      {"delete from p1", IXR_E_REF_IN_USE, "c_p1"},
      {"update p2 set k = 5", IXR_E_REF_IN_USE, "c_p2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(exec(c.sql), c.rc);
    EXPECT_STREQ(ixr_sqlca()->sqlerrm, c.constraint);
  }
  // The probe left nothing behind.
  Rows rows;
  ASSERT_EQ(run("select a, b from c", nullptr, rows), 0);
  EXPECT_EQ(rows, (Rows{{"1", "1"}}));
}

// A connect that names no server, with no INFORMIXSERVER either, says so.
TEST_F(ErrorsTest, ConnectWithoutAServerName) {
  unsetenv("INFORMIXSERVER");
  EXPECT_EQ(ixr_connect("db", "c9"), IXR_E_NO_SERVER_NAME);
}

TEST_F(ErrorsTest, MessagesAreFormatsEndingWithALineEnd) {
  const int32_t codes[] = {IXR_E_SYNTAX,      IXR_E_NO_TABLE,       IXR_E_NO_COLUMN,
                           IXR_E_DUPLICATE,   IXR_E_UNIQUE,         IXR_E_NOT_NULL,
                           IXR_E_NO_SERVER,   IXR_E_BAD_USER,       IXR_E_DT_NON_NUMERIC,
                           IXR_E_LINK_LOST,   IXR_E_CANNOT_CONNECT, IXR_E_NOT_CURRENT,
                           IXR_E_INTERRUPTED, IXR_ISAM_LOCKED,      IXR_E_NO_SERVER_NAME};
  for (int32_t code : codes) {
    SCOPED_TRACE(code);
    char buf[300];
    int32_t len = 0;
    ASSERT_EQ(ixr_error_message(code, buf, sizeof buf, &len), 0);
    std::string m = buf;
    EXPECT_EQ(static_cast<size_t>(len), m.size());
    EXPECT_GE(m.size(), 3u);
    EXPECT_EQ(m.substr(m.size() - 2), ".\n");
    size_t first = m.find("%s");
    EXPECT_TRUE(first == std::string::npos || m.find("%s", first + 1) == std::string::npos);
  }
  char buf[8];
  int32_t len = -1;
  EXPECT_EQ(ixr_error_message(-4242, buf, sizeof buf, &len), IXR_E_NO_MESSAGE);
  EXPECT_GE(IXR_E_NO_MESSAGE, -1230);
  EXPECT_LE(IXR_E_NO_MESSAGE, -1227);
  EXPECT_EQ(ixr_error_message(IXR_E_NO_TABLE, buf, sizeof buf, &len), 0);  // cut to the buffer
  EXPECT_EQ(std::strlen(buf), 7u);
  EXPECT_GT(len, 7);
}

}  // namespace
}  // namespace ixrtest
