// envr_test.cpp -- allocation and release of every kind of handle, and the
// handle-type selection of the entry points.

#include "drv/errtab.h"
#include "fake_backend.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"

namespace {

class HandleTest : public CoreTest {};

SQLINTEGER EnvVersion(SQLHENV env) {
  SQLINTEGER v = 0;
  EXPECT_EQ(SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr), SQL_SUCCESS);
  return v;
}

TEST_F(HandleTest, EnvironmentVersionByEntryPoint) {
  SQLHENV v3 = NewEnv(SQL_OV_ODBC3);
  SQLHENV v2 = NewEnv(SQL_OV_ODBC2);
  EXPECT_EQ(EnvVersion(v3), SQL_OV_ODBC3);
  EXPECT_EQ(EnvVersion(v2), SQL_OV_ODBC2);
  // An unknown version is ignored; attribute 1056 answers 2.
  EXPECT_EQ(SQLSetEnvAttr(v3, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)4, 0), SQL_SUCCESS);
  EXPECT_EQ(EnvVersion(v3), SQL_OV_ODBC3);
  SQLINTEGER v = 0;
  EXPECT_EQ(SQLGetEnvAttr(v3, 1056, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, v3), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeEnv(v2), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeEnv(v2), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, StatementAndDescriptorNeedAnOpenConnection) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewDbc(env);
  SQLHSTMT stmt = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "08003");
  SQLHDESC desc = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_ERROR);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_ENV, env), "HY009");
  EXPECT_EQ(SQLAllocHandle(5, env, &stmt), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, StatementLifeCycleThroughTheBackEnd) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = Connected(env);
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("AllocCursor"));

  // A statement handle is not a connection handle.
  EXPECT_EQ(SQLDisconnect(stmt), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeStmt(stmt, 4), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt), "HY092");
  EXPECT_EQ(SQLCloseCursor(stmt), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt), "24000");
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);

  EXPECT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("EndCursor"));
  EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, DisconnectReleasesStatementsAndExplicitDescriptors) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = Connected(env);
  SQLHSTMT s1 = nullptr, s2 = nullptr;
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s1), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocStmt(dbc, &s2), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s1), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s2), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, desc), SQL_INVALID_HANDLE);
  EXPECT_TRUE(Fake().Called("EndConnect"));
  EXPECT_TRUE(Fake().Called("EndServer"));
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "08003");
}

TEST_F(HandleTest, FailedDisconnectKeepsTheConnection) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = Connected(env);
  Fake().endConnectCode = ERR_TXN_STATE;
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc), "25000");
  Fake().endConnectCode = 0;
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(dbc), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, FreeEnvReleasesEveryConnection) {
  SQLHENV env = NewEnv();
  SQLHDBC open = Connected(env);
  SQLHDBC idle = NewDbc(env);
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, open, &stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, open), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, idle), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, EnvironmentTransactionsVisitEveryConnection) {
  SQLHENV env = NewEnv();
  SQLHDBC open = Connected(env);
  NewDbc(env);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_ENV, env), "08003");
  EXPECT_TRUE(Fake().Called("Commit BBBB0001"));
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, open, 2), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, open), "HY012");
  // Other handle types do nothing; a stale handle is invalid.
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, open, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(nullptr, open, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("Rollback BBBB0001"));
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT), SQL_INVALID_HANDLE);
}

TEST_F(HandleTest, ImplicitDescriptorCannotBeFreed) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = Connected(env);
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  auto* s = static_cast<Stmt*>(HandleLookup(&StmtHandles, HandleOf(stmt)));
  ASSERT_NE(s, nullptr);
  SQLHDESC ard = AsHandle(s->st_implicitArd->handle);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, ard), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, ard), "HY017");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
}

TEST_F(HandleTest, CallsBeforeStartOrAfterEndAreRefused) {
  SQLHENV env = NewEnv();
  HandlesTerm();
  SQLHENV other = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &other), SQL_ERROR);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_ERROR);
  ASSERT_EQ(HandlesInit(), 0);
}

}  // namespace
