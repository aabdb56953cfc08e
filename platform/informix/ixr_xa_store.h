// ixr_xa_store.h -- the durable side of global transaction branches: what a branch
// changed, its prepared record in the server directory, and the in-doubt marks in its
// database that keep other writers out of the tables it changed until it is resolved.
// A prepared branch lives in two places: its record (server dir/xa/<db>.<branch>.xa, the
// rows it leaves behind) and its rows of the database's table ixr_xa_indoubt. The marks
// decide: a branch is in doubt exactly while its marks exist, so resolving it (removing
// the marks, with its rows applied on commit) is one SQLite transaction, and a record
// without marks is left over from a crash and is removed.
// Threading: a ChangeLog belongs to its branch's connection; the functions run on the
// caller's thread with connections of their own (SQLite's locks order them across threads
// and processes).
#pragma once

#include "platform/informix/ixr_session.h"
#include "platform/xa/xa.h"

#include <map>
#include <string>
#include <vector>

namespace ixr {

// An XID as text: "<formatID>.<gtrid hex>.<bqual hex>", equal for equal XIDs.
std::string xidKey(const XID& xid);
bool xidFromKey(const std::string& key, XID& out);
// XAER_INVAL for a null XID or lengths out of range, else XA_OK.
int xidCheck(const XID* xid);

// The rows a branch's work touched, recorded as SQLite changes them: for each row of a
// table of the main database, whether it existed before the branch first touched it.
class ChangeLog {
 public:
  // Starts recording the changes made on db (replacing any other pre-update hook).
  void attach(sqlite3* db);
  static void detach(sqlite3* db);
  bool empty() const { return rows_.empty(); }
  bool failed() const { return failed_; }
  // table -> rowid -> existed before the branch
  const std::map<std::string, std::map<int64_t, bool>>& rows() const { return rows_; }

 private:
  static void hook(void* self, sqlite3* db, int op, const char* schema, const char* table,
                   sqlite3_int64 oldKey, sqlite3_int64 newKey);
  void touch(const char* table, int64_t rowid, bool existed);

  std::map<std::string, std::map<int64_t, bool>> rows_;
  bool failed_ = false;  // a change could not be recorded: the branch cannot be prepared
};

// Prepares a branch of database db whose work is in the open SQLite transaction of link
// (begun with the savepoint ixr_branch) and recorded by log. XA_OK: the record is durable,
// the work has left the connection and the database is marked; XA_RDONLY: nothing was
// changed and the transaction is committed; XA_RBROLLBACK: the work was rolled back (why
// tells the reason). In every case the link's transaction has ended.
int branchPrepare(const ServerInfo& server, const std::string& db, const XID& xid, DbLink& link,
                  const ChangeLog& log, IxError& why);

// Commits (applies its record) or rolls back the prepared branch xid of the session's
// database, whichever process prepared it. XA_OK; XAER_NOTA when no such branch is in
// doubt; XA_RETRY when the database stayed locked; XAER_RMERR when its record cannot be
// read or applied (it stays in doubt; why tells the reason).
int branchResolve(Session& s, const XID& xid, bool commit, IxError& why);

// The XIDs in doubt in the session's database, in key order. Removes records left over
// from a crash on the way. Answers 0 or an Informix code.
IxError branchesInDoubt(Session& s, std::vector<XID>& out);

// Whether xid is in doubt in the database of connection db.
bool branchInDoubt(sqlite3* db, const std::string& key);

// Schema changes wait for every in-doubt branch of the database to be resolved: answers
// the lock error while there is one.
IxError branchSchemaGuard(Session& s);

}  // namespace ixr
