// The runtime's XA switch: opening sessions from an open text, the protocol of the
// branch calls state by state, two-phase commit across two servers, read-only branches,
// the guard on what an in-doubt branch changed, recovery by a process other than the one
// that prepared (the first one killed), and the binding of a session to its thread.
#include "platform/informix/ixr_xa.h"
#include "tests/platform/informix/ixr_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

namespace ixrtest {
namespace {

const xa_switch_t& sw() { return *ixr_xa_switch(); }

XID makeXid(int gtrid, int bqual = 1) {
  XID x{};
  x.formatID = 0x4B4553;
  std::string g = "gtrid-" + std::to_string(gtrid), b = "bq" + std::to_string(bqual);
  x.gtrid_length = static_cast<long>(g.size());
  x.bqual_length = static_cast<long>(b.size());
  std::memcpy(x.data, g.data(), g.size());
  std::memcpy(x.data + g.size(), b.data(), b.size());
  return x;
}

bool sameXid(const XID& a, const XID& b) {
  return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length &&
         a.bqual_length == b.bqual_length &&
         std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

int xaOpen(const std::string& text, int rmid, long flags = TMNOFLAGS) {
  std::string copy = text;
  return sw().xa_open_entry(copy.data(), rmid, flags);
}
int xaClose(int rmid) {
  char empty[1] = {0};
  return sw().xa_close_entry(empty, rmid, TMNOFLAGS);
}
int xaStart(XID x, int rmid, long flags = TMNOFLAGS) {
  return sw().xa_start_entry(&x, rmid, flags);
}
int xaEnd(XID x, int rmid, long flags = TMSUCCESS) { return sw().xa_end_entry(&x, rmid, flags); }
int xaPrepare(XID x, int rmid) { return sw().xa_prepare_entry(&x, rmid, TMNOFLAGS); }
int xaCommit(XID x, int rmid, long flags = TMNOFLAGS) {
  return sw().xa_commit_entry(&x, rmid, flags);
}
int xaRollback(XID x, int rmid) { return sw().xa_rollback_entry(&x, rmid, TMNOFLAGS); }
int xaForget(XID x, int rmid) { return sw().xa_forget_entry(&x, rmid, TMNOFLAGS); }

std::vector<XID> recoverAll(int rmid) {
  std::vector<XID> out(16);
  int n = sw().xa_recover_entry(out.data(), static_cast<long>(out.size()), rmid,
                                TMSTARTRSCAN | TMENDRSCAN);
  out.resize(static_cast<size_t>(std::max(n, 0)));
  return out;
}

// Database a (logged) on server srv with a few rows, database b (logged) on server srv2,
// database plain (not logged) on srv. No connection is left open.
class XaTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    ASSERT_EQ(ixr_server_create("srv2", IXR_SERVER_ONLINE, nullptr), 0);
    makeDb("a", "log", "maker");
    for (const char* sql :
         {"create table t (id integer, name varchar(20), amount decimal(10,2), price float, "
          "born date)",
          "create unique index t_id on t (id)", "create table u (id integer)",
          "create table s (id serial, v integer)",
          "insert into t (id, name, amount, price, born) values (1, 'one', 1.50, 0.25, "
          "'01/02/2003')",
          "insert into t (id, name) values (2, 'two')", "create database plain"})
      ASSERT_EQ(exec(sql), 0) << sql << " " << ixr_sqlca()->sqlerrm;
    ASSERT_EQ(ixr_disconnect("maker"), 0);
    ASSERT_EQ(ixr_connect("@srv2", "maker"), 0);
    ASSERT_EQ(exec("create database b with log"), 0);
    ASSERT_EQ(exec("create table t (id integer)"), 0);
    ASSERT_EQ(ixr_disconnect("maker"), 0);
  }

  // Runs sql on connection con (made current on this thread).
  int on(const char* con, const std::string& sql) {
    if (int rc = ixr_set_connection(con, 0)) return rc;
    return exec(sql);
  }
  std::string valueOn(const char* con, const std::string& sql) {
    EXPECT_EQ(ixr_set_connection(con, 0), 0) << con;
    return scalar(sql);
  }
  Rows rowsOn(const char* con, const std::string& sql) {
    EXPECT_EQ(ixr_set_connection(con, 0), 0) << con;
    return query(sql);
  }
  // An ordinary session that watches database a.
  void watch() { ASSERT_EQ(ixr_connect("a@srv", "obs"), 0); }

  std::string xaDir() { return root_ + "/srv/xa"; }
  size_t recordCount() {
    std::error_code ec;
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(xaDir(), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
      ++n;
    return n;
  }
};

TEST_F(XaTest, OpenTextAndRefusedOpens) {
  ASSERT_EQ(ixr_server_create("guarded", IXR_SERVER_ONLINE, "ann:pw"), 0);
  ixr_conninfo()->user = "ann";
  ixr_conninfo()->password = "pw";
  ASSERT_EQ(ixr_connect("@guarded", "maker"), 0);
  ASSERT_EQ(exec("create database g with log"), 0);
  ASSERT_EQ(ixr_disconnect("maker"), 0);
  *ixr_conninfo() = IxrConnInfo{};

  struct Case {
    const char* text;
    int rc;
    int32_t sqlcode;
  };
  const Case cases[] = {
      {"DB=a@srv;CON=x;", XA_OK, 0},
      // The data source's own settings come first; keys are matched without regard to case,
      // and a later pair replaces an earlier one.
      {"DSN=whatever;Timeout=3;db=nosuch@srv;Db=a@srv;con=x;", XA_OK, 0},
      {"DB=g@guarded;USER=ann;PASSWD=pw;CON=x;", XA_OK, 0},
      {"DB=g@guarded;USER=ann;PASSWD=bad;CON=x;", XAER_RMERR, IXR_E_BAD_USER},
      {"DB=nosuch@srv;CON=x;", XAER_RMERR, IXR_E_NO_DATABASE},
      {"DB=a@nosuch;CON=x;", XAER_RMERR, IXR_E_NO_SERVER},
      {"DB=plain@srv;CON=x;", XAER_RMERR, IXR_E_NO_TXN},
      {"DB=@srv;CON=x;", XAER_RMERR, IXR_E_NO_DB_SELECTED},
      {"CON=x;", XAER_RMERR, IXR_E_NO_DB_SELECTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(xaOpen(c.text, 7), c.rc);
    EXPECT_EQ(ixr_sqlca()->sqlcode, c.sqlcode);
    if (c.rc == XA_OK) {
      // The session is current under its name, and the name is free again after the close.
      EXPECT_EQ(scalar("select count(*) from systables where tabid = 1"), "1");
      EXPECT_EQ(xaClose(7), XA_OK);
      EXPECT_EQ(ixr_connect("a@srv", "x"), 0);
      EXPECT_EQ(ixr_disconnect("x"), 0);
    }
  }
  EXPECT_EQ(sw().xa_open_entry(nullptr, 7, TMNOFLAGS), XAER_INVAL);
  EXPECT_EQ(xaOpen("DB=a@srv;CON=x;", 7, TMASYNC), XAER_ASYNC);

  // A connection name in use is refused; opening an open rmid again changes nothing.
  ASSERT_EQ(ixr_connect("a@srv", "taken"), 0);
  EXPECT_EQ(xaOpen("DB=a@srv;CON=taken;", 7), XAER_RMERR);
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_E_CONNECTION_IN_USE);
  EXPECT_EQ(xaOpen("DB=a@srv;CON=x;", 7), XA_OK);
  EXPECT_EQ(xaOpen("DB=b@srv2;CON=y;", 7), XA_OK);
  EXPECT_EQ(ixr_set_connection("y", 0), IXR_E_NO_CONNECTION);
  // Without a name the runtime makes one up.
  EXPECT_EQ(xaOpen("DB=a@srv;", 8), XA_OK);
  EXPECT_EQ(xaClose(8), XA_OK);
  EXPECT_EQ(xaClose(7), XA_OK);
  EXPECT_EQ(xaClose(7), XA_OK);  // not open: nothing to do
  EXPECT_EQ(ixr_set_connection("x", 0), IXR_E_NO_CONNECTION);
}

// Every branch call in every state a branch can be in. Each case works on its own XID.
TEST_F(XaTest, ProtocolStateTable) {
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  enum Setup { None, Active, Suspended, Idle, Failed, Prepared };
  enum Call {
    Start,
    Join,
    Resume,
    EndOk,
    EndSuspend,
    EndFail,
    Prep,
    Commit1,
    Commit2,
    Rollback,
    Forget
  };
  struct Case {
    Setup setup;
    Call call;
    int rc;
  };
  const Case cases[] = {
      {None, Start, XA_OK},
      {None, Join, XAER_NOTA},
      {None, Resume, XAER_NOTA},
      {None, EndOk, XAER_PROTO},
      {None, EndSuspend, XAER_PROTO},
      {None, EndFail, XAER_PROTO},
      {None, Prep, XAER_NOTA},
      {None, Commit1, XAER_NOTA},
      {None, Commit2, XAER_NOTA},
      {None, Rollback, XAER_NOTA},
      {None, Forget, XAER_NOTA},

      {Active, Start, XAER_PROTO},
      {Active, Join, XAER_PROTO},
      {Active, Resume, XAER_PROTO},
      {Active, EndOk, XA_OK},
      {Active, EndSuspend, XA_OK},
      {Active, EndFail, XA_OK},
      {Active, Prep, XAER_PROTO},
      {Active, Commit1, XAER_PROTO},
      {Active, Commit2, XAER_PROTO},
      {Active, Rollback, XAER_PROTO},
      {Active, Forget, XAER_NOTA},

      {Suspended, Start, XAER_DUPID},
      {Suspended, Join, XA_RETRY},
      {Suspended, Resume, XA_OK},
      {Suspended, EndOk, XA_OK},
      {Suspended, EndSuspend, XAER_PROTO},
      {Suspended, EndFail, XA_OK},
      {Suspended, Prep, XAER_PROTO},
      {Suspended, Commit1, XAER_PROTO},
      {Suspended, Commit2, XAER_PROTO},
      {Suspended, Rollback, XAER_PROTO},

      {Idle, Start, XAER_DUPID},
      {Idle, Join, XA_OK},
      {Idle, Resume, XAER_NOTA},
      {Idle, EndOk, XAER_PROTO},
      {Idle, Prep, XA_OK},
      {Idle, Commit1, XA_OK},
      {Idle, Commit2, XAER_PROTO},
      {Idle, Rollback, XA_OK},

      {Failed, Join, XA_RBROLLBACK},
      {Failed, Prep, XA_RBROLLBACK},
      {Failed, Commit1, XA_RBROLLBACK},
      {Failed, Rollback, XA_OK},

      {Prepared, Start, XAER_DUPID},
      {Prepared, Join, XAER_NOTA},
      {Prepared, EndOk, XAER_PROTO},
      {Prepared, Prep, XAER_PROTO},
      {Prepared, Commit1, XAER_PROTO},
      {Prepared, Commit2, XA_OK},
      {Prepared, Rollback, XA_OK},
      {Prepared, Forget, XAER_NOTA},
  };
  int n = 0;
  for (const Case& c : cases) {
    XID x = makeXid(++n);
    SCOPED_TRACE("case " + std::to_string(n) + ": setup " + std::to_string(c.setup) + ", call " +
                 std::to_string(c.call));
    if (c.setup != None) {
      ASSERT_EQ(xaStart(x, 1), XA_OK);
      ASSERT_EQ(exec("insert into u values (" + std::to_string(n) + ")"), 0);
    }
    if (c.setup == Suspended) {
      ASSERT_EQ(xaEnd(x, 1, TMSUSPEND), XA_OK);
    }
    if (c.setup >= Idle) {
      ASSERT_EQ(xaEnd(x, 1, c.setup == Failed ? TMFAIL : TMSUCCESS), XA_OK);
    }
    if (c.setup == Prepared) {
      ASSERT_EQ(xaPrepare(x, 1), XA_OK);
    }
    int rc = 0;
    switch (c.call) {
      case Start: rc = xaStart(x, 1); break;
      case Join: rc = xaStart(x, 1, TMJOIN); break;
      case Resume: rc = xaStart(x, 1, TMRESUME); break;
      case EndOk: rc = xaEnd(x, 1, TMSUCCESS); break;
      case EndSuspend: rc = xaEnd(x, 1, TMSUSPEND); break;
      case EndFail: rc = xaEnd(x, 1, TMFAIL); break;
      case Prep: rc = xaPrepare(x, 1); break;
      case Commit1: rc = xaCommit(x, 1, TMONEPHASE); break;
      case Commit2: rc = xaCommit(x, 1); break;
      case Rollback: rc = xaRollback(x, 1); break;
      case Forget: rc = xaForget(x, 1); break;
    }
    EXPECT_EQ(rc, c.rc);
    // Whatever state the call left, the branch goes away again.
    xaEnd(x, 1, TMSUCCESS);
    xaRollback(x, 1);
    EXPECT_EQ(xaStart(x, 1), XA_OK);
    EXPECT_EQ(xaEnd(x, 1, TMSUCCESS), XA_OK);
    EXPECT_EQ(xaRollback(x, 1), XA_OK);
  }
  // A branch that was completed or rolled back is unknown; what committed stays.
  EXPECT_EQ(xaCommit(makeXid(1), 1), XAER_NOTA);
  EXPECT_EQ(scalar("select count(*) from u"), "2");  // Idle/Commit1 and Prepared/Commit2

  // Arguments before state: asynchronous calls, rmids this thread did not open, bad XIDs
  // and flags.
  XID x = makeXid(900);
  XID bad = x;
  bad.gtrid_length = 0;
  XID tooLong = x;
  tooLong.bqual_length = 65;
  EXPECT_EQ(xaStart(x, 1, TMASYNC), XAER_ASYNC);
  EXPECT_EQ(xaStart(x, 99), XAER_PROTO);
  EXPECT_EQ(xaPrepare(x, 99), XAER_PROTO);
  EXPECT_EQ(sw().xa_start_entry(nullptr, 1, TMNOFLAGS), XAER_INVAL);
  EXPECT_EQ(xaStart(bad, 1), XAER_INVAL);
  EXPECT_EQ(xaStart(tooLong, 1), XAER_INVAL);
  EXPECT_EQ(xaStart(x, 1, TMJOIN | TMRESUME), XAER_INVAL);
  EXPECT_EQ(xaStart(x, 1, TMSUCCESS), XAER_INVAL);
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  EXPECT_EQ(xaEnd(x, 1, TMSUCCESS | TMFAIL), XAER_INVAL);
  EXPECT_EQ(xaEnd(makeXid(901), 1), XAER_NOTA);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  EXPECT_EQ(xaPrepare(x, 1), XA_RDONLY);  // wrote nothing
  EXPECT_EQ(xaCommit(x, 1, TMONEPHASE), XAER_NOTA);
  int handle = 0, retval = 0;
  EXPECT_EQ(sw().xa_complete_entry(&handle, &retval, 1, TMNOFLAGS), XAER_PROTO);
  EXPECT_EQ(std::string(sw().name), "IXR");
}

TEST_F(XaTest, LocalTransactionsAndStatementsOutsideABranch) {
  watch();
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  // Outside a branch a statement commits at once.
  EXPECT_EQ(exec("insert into u values (1)"), 0);
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "1");
  // Inside one, local transaction statements are refused and the work stays the branch's.
  XID x = makeXid(1);
  ASSERT_EQ(ixr_set_connection("x", 0), 0);
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  EXPECT_EQ(exec("insert into u values (2)"), 0);
  EXPECT_EQ(exec("begin work"), IXR_E_IN_TXN);
  EXPECT_EQ(exec("commit work"), IXR_E_GLOBAL_TXN);
  EXPECT_EQ(exec("rollback work"), IXR_E_GLOBAL_TXN);
  EXPECT_EQ(ixr_commit_work(), IXR_E_GLOBAL_TXN);
  EXPECT_EQ(exec("database b"), IXR_E_TXN_OPEN);
  EXPECT_EQ(scalar("select count(*) from u"), "2");
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "1");
  // The session cannot go while its branch is associated.
  EXPECT_EQ(xaClose(1), XAER_PROTO);
  ASSERT_EQ(ixr_set_connection("x", 0), 0);
  EXPECT_EQ(ixr_disconnect("x"), IXR_E_TXN_OPEN);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  // A statement between the end and the commit is outside the branch again, and the
  // branch still holds its lock.
  EXPECT_EQ(scalar("select count(*) from u"), "1");
  EXPECT_EQ(exec("insert into u values (3)"), IXR_E_INSERT_FAILED);
  ASSERT_EQ(xaCommit(x, 1, TMONEPHASE), XA_OK);
  EXPECT_EQ(exec("insert into u values (3)"), 0);
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "3");
  // A local transaction keeps a branch from starting.
  ASSERT_EQ(on("x", "begin work"), 0);
  EXPECT_EQ(xaStart(makeXid(2), 1), XAER_OUTSIDE);
  ASSERT_EQ(exec("rollback work"), 0);
  EXPECT_EQ(xaStart(makeXid(2), 1), XA_OK);
  ASSERT_EQ(xaEnd(makeXid(2), 1), XA_OK);
  ASSERT_EQ(xaRollback(makeXid(2), 1), XA_OK);
  // A procedure compiled outside a branch runs its statements inside one once it starts.
  ASSERT_EQ(on("x", "create procedure addu(n integer) insert into u values (n); end procedure"), 0);
  ASSERT_EQ(exec("execute procedure addu(4)"), 0);
  ASSERT_EQ(xaStart(makeXid(4), 1), XA_OK);
  ASSERT_EQ(exec("execute procedure addu(5)"), 0);
  EXPECT_EQ(scalar("select count(*) from u"), "5");
  ASSERT_EQ(xaEnd(makeXid(4), 1), XA_OK);
  ASSERT_EQ(xaRollback(makeXid(4), 1), XA_OK);
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "4");
  // DISCONNECT of the session forgets its rmid as xa_close would.
  ASSERT_EQ(ixr_set_connection("x", 0), 0);
  EXPECT_EQ(ixr_disconnect("x"), 0);
  EXPECT_EQ(xaStart(makeXid(3), 1), XAER_PROTO);
}

// A branch suspended on one session, resumed there, joined from another session of the same
// database and committed by a third call from the first: its work stays one unit.
TEST_F(XaTest, SuspendResumeAndJoinKeepOneBranch) {
  watch();
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  ASSERT_EQ(xaOpen("DB=a@srv;CON=y;", 2), XA_OK);
  XID x = makeXid(1), other = makeXid(2);
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  ASSERT_EQ(on("x", "insert into s (v) values (10)"), 0);
  ASSERT_EQ(xaEnd(x, 1, TMSUSPEND), XA_OK);
  // While suspended, the session reads outside the branch and starts another one.
  EXPECT_EQ(valueOn("x", "select count(*) from s"), "0");
  ASSERT_EQ(xaStart(other, 1), XA_OK);
  EXPECT_EQ(valueOn("x", "select count(*) from s"), "0");
  ASSERT_EQ(xaEnd(other, 1), XA_OK);
  ASSERT_EQ(xaRollback(other, 1), XA_OK);
  ASSERT_EQ(xaStart(x, 1, TMRESUME), XA_OK);
  ASSERT_EQ(on("x", "insert into s (v) values (20)"), 0);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  ASSERT_EQ(xaStart(x, 2, TMJOIN), XA_OK);
  EXPECT_EQ(valueOn("y", "select count(*) from s"), "2");
  ASSERT_EQ(on("y", "insert into s (v) values (30)"), 0);
  ASSERT_EQ(on("y", "update t set name = 'uno' where id = 1"), 0);
  ASSERT_EQ(xaEnd(x, 2), XA_OK);
  // The session that started it is gone; the branch is not.
  ASSERT_EQ(xaClose(1), XA_OK);
  ASSERT_EQ(xaPrepare(x, 2), XA_OK);
  EXPECT_EQ(valueOn("obs", "select count(*) from s"), "0");
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  ASSERT_EQ(xaCommit(x, 1), XA_OK);
  EXPECT_EQ(rowsOn("obs", "select id, v from s order by v"),
            (Rows{{"1", "10"}, {"2", "20"}, {"3", "30"}}));
  EXPECT_EQ(valueOn("obs", "select name from t where id = 1"), "uno");
  // The SERIAL counter went with the rows.
  ASSERT_EQ(on("obs", "insert into s (v) values (40)"), 0);
  EXPECT_EQ(valueOn("obs", "select id from s where v = 40"), "4");
  EXPECT_EQ(recordCount(), 0u);
}

// One global transaction over a database of each of two servers, committed, rolled back,
// and with a branch that only read.
TEST_F(XaTest, TwoPhaseCommitAcrossTwoServers) {
  watch();
  ASSERT_EQ(xaOpen("DB=a@srv;CON=ra;", 1), XA_OK);
  ASSERT_EQ(xaOpen("DB=b@srv2;CON=rb;", 2), XA_OK);
  auto run = [&](int gtrid, bool writeB) {
    XID xa = makeXid(gtrid, 1), xb = makeXid(gtrid, 2);
    EXPECT_EQ(xaStart(xa, 1), XA_OK);
    EXPECT_EQ(xaStart(xb, 2), XA_OK);
    std::string id = std::to_string(gtrid * 10);
    EXPECT_EQ(on("ra", "insert into t (id, name) values (" + id + ", 'g')"), 0);
    EXPECT_EQ(on("ra", "delete from t where id = 2"), 0);
    if (writeB) {
      EXPECT_EQ(on("rb", "insert into t values (" + id + ")"), 0);
    }
    EXPECT_EQ(valueOn("rb", "select count(*) from t where id = " + id), writeB ? "1" : "0");
    EXPECT_EQ(xaEnd(xa, 1), XA_OK);
    EXPECT_EQ(xaEnd(xb, 2), XA_OK);
    EXPECT_EQ(xaPrepare(xa, 1), XA_OK);
    EXPECT_EQ(xaPrepare(xb, 2), writeB ? XA_OK : XA_RDONLY);
    return std::make_pair(xa, xb);
  };

  auto [ca, cb] = run(1, true);
  // In doubt: the changes are invisible, and writers of the tables they touched get the
  // lock error; other tables are free.
  EXPECT_EQ(valueOn("obs", "select count(*) from t"), "2");
  EXPECT_EQ(on("obs", "insert into t (id) values (99)"), IXR_E_INSERT_FAILED);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], IXR_ISAM_TABLE_LOCKED);
  EXPECT_EQ(on("obs", "update t set name = 'x' where id = 1"), IXR_E_UPDATE_FAILED);
  EXPECT_EQ(on("obs", "delete from t"), IXR_E_DELETE_FAILED);
  EXPECT_EQ(on("obs", "create index t_name on t (name)"), IXR_E_LOCK_FAILED);
  EXPECT_EQ(on("obs", "insert into u values (1)"), 0);
  EXPECT_EQ(xaCommit(ca, 1), XA_OK);
  EXPECT_EQ(xaCommit(cb, 2), XA_OK);
  EXPECT_EQ(xaCommit(ca, 1), XAER_NOTA);
  EXPECT_EQ(rowsOn("obs", "select id, name from t order by id"), (Rows{{"1", "one"}, {"10", "g"}}));
  EXPECT_EQ(valueOn("rb", "select count(*) from t"), "1");
  EXPECT_EQ(on("obs", "insert into t (id) values (99)"), 0);

  auto [ra, rb] = run(2, true);
  EXPECT_EQ(xaRollback(ra, 1), XA_OK);
  EXPECT_EQ(xaRollback(rb, 2), XA_OK);
  EXPECT_EQ(xaRollback(ra, 1), XAER_NOTA);
  EXPECT_EQ(valueOn("obs", "select count(*) from t where id = 20"), "0");
  EXPECT_EQ(valueOn("rb", "select count(*) from t"), "1");

  // A read-only branch is finished by its prepare; the other one commits alone.
  auto [oa, ob] = run(3, false);
  EXPECT_EQ(xaCommit(ob, 2), XAER_NOTA);
  EXPECT_EQ(xaCommit(oa, 1), XA_OK);
  EXPECT_EQ(valueOn("obs", "select count(*) from t where id = 30"), "1");
  EXPECT_EQ(on("obs", "create index t_name on t (name)"), 0);
  EXPECT_EQ(recordCount(), 0u);
}

TEST_F(XaTest, SchemaChangesInsideABranchCommitOnlyInOnePhase) {
  watch();
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  XID x = makeXid(1), y = makeXid(2);
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  ASSERT_EQ(on("x", "create table v (id integer)"), 0);
  ASSERT_EQ(on("x", "insert into u values (1)"), 0);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  EXPECT_EQ(xaPrepare(x, 1), XA_RBROLLBACK);
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_E_UNSUPPORTED);
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "0");
  EXPECT_EQ(valueOn("obs", "select count(*) from systables where tabname = 'v'"), "0");
  ASSERT_EQ(xaStart(y, 1), XA_OK);
  ASSERT_EQ(on("x", "create table v (id integer)"), 0);
  ASSERT_EQ(xaEnd(y, 1), XA_OK);
  EXPECT_EQ(xaCommit(y, 1, TMONEPHASE), XA_OK);
  EXPECT_EQ(valueOn("obs", "select count(*) from v"), "0");
  // Temporary tables live with the connection they were made on.
  ASSERT_EQ(on("x", "create temp table tmp (id integer)"), 0);
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  EXPECT_EQ(on("x", "insert into tmp values (1)"), IXR_E_NO_TABLE);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  ASSERT_EQ(xaRollback(x, 1), XA_OK);
  EXPECT_EQ(on("x", "insert into tmp values (1)"), 0);
}

// The scan of xa_recover goes on where the previous call stopped.
TEST_F(XaTest, RecoverIsAScan) {
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  std::vector<XID> prepared;
  // Each branch changes a table of its own: a prepared branch keeps writers out of its tables.
  const char* const writes[] = {"insert into u values (1)", "insert into s (v) values (2)",
                                "insert into t (id) values (3)"};
  for (int n = 1; n <= 3; ++n) {
    XID x = makeXid(n);
    ASSERT_EQ(xaStart(x, 1), XA_OK);
    ASSERT_EQ(on("x", writes[n - 1]), 0);
    ASSERT_EQ(xaEnd(x, 1), XA_OK);
    ASSERT_EQ(xaPrepare(x, 1), XA_OK);
    prepared.push_back(x);
  }
  XID out[2] = {};
  EXPECT_EQ(sw().xa_recover_entry(out, 2, 1, TMNOFLAGS), XAER_PROTO);
  EXPECT_EQ(sw().xa_recover_entry(out, -1, 1, TMSTARTRSCAN), XAER_INVAL);
  EXPECT_EQ(sw().xa_recover_entry(nullptr, 2, 1, TMSTARTRSCAN), XAER_INVAL);
  EXPECT_EQ(sw().xa_recover_entry(out, 2, 1, TMSTARTRSCAN | TMONEPHASE), XAER_INVAL);
  std::vector<XID> seen;
  ASSERT_EQ(sw().xa_recover_entry(out, 2, 1, TMSTARTRSCAN), 2);
  seen.insert(seen.end(), out, out + 2);
  ASSERT_EQ(sw().xa_recover_entry(out, 2, 1, TMNOFLAGS), 1);
  seen.push_back(out[0]);
  EXPECT_EQ(sw().xa_recover_entry(out, 2, 1, TMENDRSCAN), 0);
  EXPECT_EQ(sw().xa_recover_entry(out, 2, 1, TMNOFLAGS), XAER_PROTO);
  EXPECT_EQ(sw().xa_recover_entry(nullptr, 0, 1, TMSTARTRSCAN | TMENDRSCAN), 0);
  for (const XID& p : prepared)
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [&](const XID& s) { return sameXid(s, p); }),
              1);
  for (const XID& p : prepared) EXPECT_EQ(xaRollback(p, 1), XA_OK);
  EXPECT_TRUE(recoverAll(1).empty());
}

// A process prepares branches in two databases and is killed; this process finds them,
// sees their tables guarded, and commits them: every change arrives exactly once.
TEST_F(XaTest, RecoveryAfterThePreparingProcessWasKilled) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    auto step = [&](bool ok) {
      if (!ok) {
        (void)!write(ready[1], "f", 1);
        _exit(1);
      }
    };
    XID xa = makeXid(7, 1), xb = makeXid(7, 2);
    step(xaOpen("DB=a@srv;CON=ra;", 1) == XA_OK && xaOpen("DB=b@srv2;CON=rb;", 2) == XA_OK);
    step(xaStart(xa, 1) == XA_OK && xaStart(xb, 2) == XA_OK);
    step(on("ra",
            "insert into t (id, name, amount, price, born) values (3, 'three', 12345678.90, "
            "-1.5e300, '12/31/1999')") == 0);
    step(on("ra", "insert into t (id, name) values (4, null)") == 0);
    step(on("ra", "update t set id = 5, name = 'one moved' where id = 1") == 0);
    step(on("ra", "delete from t where id = 2") == 0);
    step(on("ra", "insert into t (id, name) values (2, 'two again')") == 0);
    step(on("ra", "insert into s (v) values (1)") == 0 &&
         on("ra", "insert into s (v) values (2)") == 0);
    step(on("rb", "insert into t values (70)") == 0);
    step(xaEnd(xa, 1) == XA_OK && xaEnd(xb, 2) == XA_OK);
    step(xaPrepare(xa, 1) == XA_OK && xaPrepare(xb, 2) == XA_OK);
    (void)!write(ready[1], "p", 1);
    for (;;) pause();
  }
  close(ready[1]);
  char got = 0;
  ASSERT_EQ(read(ready[0], &got, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(got, 'p');

  watch();
  const Rows before = {{"1", "one", "1.50"}, {"2", "two", "NULL"}};
  EXPECT_EQ(rowsOn("obs", "select id, name, amount from t order by id"), before);
  EXPECT_EQ(on("obs", "delete from t where id = 1"), IXR_E_DELETE_FAILED);
  EXPECT_EQ(on("obs", "insert into s (v) values (9)"), IXR_E_INSERT_FAILED);

  ASSERT_EQ(xaOpen("DB=a@srv;CON=ra;", 1), XA_OK);
  ASSERT_EQ(xaOpen("DB=b@srv2;CON=rb;", 2), XA_OK);
  std::vector<XID> inA = recoverAll(1), inB = recoverAll(2);
  ASSERT_EQ(inA.size(), 1u);
  ASSERT_EQ(inB.size(), 1u);
  EXPECT_TRUE(sameXid(inA[0], makeXid(7, 1)));
  EXPECT_TRUE(sameXid(inB[0], makeXid(7, 2)));
  EXPECT_EQ(xaStart(inA[0], 1), XAER_DUPID);
  EXPECT_EQ(xaCommit(inA[0], 1), XA_OK);
  EXPECT_EQ(xaCommit(inB[0], 2), XA_OK);
  EXPECT_EQ(xaCommit(inA[0], 1), XAER_NOTA);
  EXPECT_EQ(xaRollback(inB[0], 2), XAER_NOTA);
  EXPECT_TRUE(recoverAll(1).empty());

  EXPECT_EQ(rowsOn("obs", "select id, name, amount, price, born from t order by id"),
            (Rows{{"2", "two again", "NULL", "NULL", "NULL"},
                  {"3", "three", "12345678.90", "-1.5e+300", "12/31/1999"},
                  {"4", "NULL", "NULL", "NULL", "NULL"},
                  {"5", "one moved", "1.50", "0.25", "01/02/2003"}}));
  EXPECT_EQ(rowsOn("obs", "select id, v from s order by id"), (Rows{{"1", "1"}, {"2", "2"}}));
  EXPECT_EQ(valueOn("rb", "select count(*) from t where id = 70"), "1");
  // The guards went with the commit, and the SERIAL counter came along.
  ASSERT_EQ(on("obs", "insert into s (v) values (3)"), 0);
  EXPECT_EQ(valueOn("obs", "select id from s where v = 3"), "3");
  EXPECT_EQ(on("obs", "delete from t where id = 4"), 0);
  EXPECT_EQ(recordCount(), 0u);
}

// A record that cannot be read leaves its branch in doubt instead of committing part of it;
// records without marks are leftovers that the next scan removes.
TEST_F(XaTest, DamagedAndLeftoverRecords) {
  watch();
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  XID x = makeXid(1);
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  ASSERT_EQ(on("x", "insert into u values (1)"), 0);
  ASSERT_EQ(on("x", "insert into t (id) values (3)"), 0);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  ASSERT_EQ(xaPrepare(x, 1), XA_OK);
  ASSERT_EQ(recordCount(), 1u);
  std::filesystem::path record = std::filesystem::directory_iterator(xaDir())->path();
  auto size = std::filesystem::file_size(record);
  std::filesystem::resize_file(record, size - 1);
  EXPECT_EQ(xaCommit(x, 1), XAER_RMERR);
  EXPECT_EQ(ixr_sqlca()->sqlcode, IXR_E_UNSUPPORTED);
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "0");
  EXPECT_EQ(recoverAll(1).size(), 1u);
  EXPECT_EQ(xaRollback(x, 1), XA_OK);
  EXPECT_EQ(on("obs", "insert into u values (2)"), 0);
  EXPECT_EQ(valueOn("obs", "select count(*) from u"), "1");

  std::ofstream(xaDir() + "/a.0123.xa") << "left over";
  std::ofstream(xaDir() + "/a.0456.xa.tmp") << "left over";
  std::ofstream(xaDir() + "/b.0789.xa") << "another database's";
  EXPECT_TRUE(recoverAll(1).empty());
  EXPECT_EQ(recordCount(), 1u);
  EXPECT_TRUE(std::filesystem::exists(xaDir() + "/b.0789.xa"));
}

// A session of xa_open belongs to its thread: another thread can neither make it current
// nor drive its rmid, and closing that rmid there touches nothing.
TEST_F(XaTest, SessionsAreBoundToTheOpeningThread) {
  ASSERT_EQ(xaOpen("DB=a@srv;CON=x;", 1), XA_OK);
  ASSERT_EQ(xaOpen("DB=b@srv2;CON=y;", 2), XA_OK);
  ASSERT_EQ(ixr_set_connection("x", 0), 0);
  ASSERT_EQ(ixr_set_connection("x", 1), 0);  // dormant, and still not free for others
  XID x = makeXid(1);
  std::thread other([&] {
    EXPECT_EQ(ixr_set_connection("x", 0), IXR_E_CONNECTION_IN_USE);
    EXPECT_EQ(xaStart(x, 1), XAER_PROTO);
    EXPECT_EQ(xaClose(1), XA_OK);
    EXPECT_EQ(sw().xa_recover_entry(nullptr, 0, 2, TMSTARTRSCAN), XAER_PROTO);
    // The same rmid opened on this thread is a session of its own.
    EXPECT_EQ(xaOpen("DB=a@srv;CON=z;", 1), XA_OK);
    EXPECT_EQ(xaStart(x, 1), XA_OK);
    EXPECT_EQ(xaEnd(x, 1), XA_OK);
    EXPECT_EQ(xaRollback(x, 1), XA_OK);
    EXPECT_EQ(xaClose(1), XA_OK);
  });
  other.join();
  ASSERT_EQ(xaStart(x, 1), XA_OK);
  ASSERT_EQ(on("x", "insert into u values (1)"), 0);
  ASSERT_EQ(xaEnd(x, 1), XA_OK);
  ASSERT_EQ(xaStart(makeXid(1, 2), 2), XA_OK);
  ASSERT_EQ(on("y", "insert into t values (1)"), 0);
  ASSERT_EQ(xaEnd(makeXid(1, 2), 2), XA_OK);
  EXPECT_EQ(xaCommit(x, 1, TMONEPHASE), XA_OK);
  EXPECT_EQ(xaCommit(makeXid(1, 2), 2, TMONEPHASE), XA_OK);
  EXPECT_EQ(valueOn("x", "select count(*) from u"), "1");
  EXPECT_EQ(valueOn("y", "select count(*) from t"), "1");
}

}  // namespace
}  // namespace ixrtest
