// ixr_xa_store.cpp -- prepared global transaction branches kept in the server directory:
// the rows a branch changed (found through SQLite's pre-update hook, which sees every
// row of every table, where a changeset would miss the rowid tables that hold Informix
// tables), the record file written before a branch is marked in doubt, the marks and the
// write guards on the tables, and the resolution that applies or discards a record.
// Threading: see ixr_xa_store.h. Record files are written once and never changed; a
// preparing process holds an exclusive flock on its record until the marks are committed,
// so that no other process takes the record for a leftover.
// Not here: the XA protocol (ixr_xa.cpp) and the branch's own SQL work (the statements).

// Debian's libsqlite3 is built with the pre-update hook; its header declares the hook
// only when asked.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1

#include "platform/informix/ixr_xa_store.h"

#include "platform/informix/ixr_db.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

namespace ixr {
namespace {

// A record starts with this and ends with the FNV-1a hash of everything before the hash.
constexpr char kMagic[8] = {'I', 'X', 'R', 'X', 'A', '0', '1', '\n'};
// Resolving a branch waits at least this long for the write lock before answering XA_RETRY.
constexpr int kResolveWaitMs = 5000;
// The table whose Informix rows are SERIAL counters: changed with the rows of a user table,
// it needs no guard of its own.
constexpr const char* kSerialTable = "ixr_serial";
constexpr const char* kMarks = "main.ixr_xa_indoubt";

struct Value {
  int type = SQLITE_NULL;  // SQLite's storage class
  int64_t i = 0;
  double r = 0;
  std::string bytes;  // text or blob
};

struct RowChange {
  int64_t rowid = 0;
  bool existed = false;  // before the branch: deleted when applied
  bool present = false;  // after the branch: inserted with values when applied
  std::vector<Value> values;
};

struct TableChanges {
  std::string name;
  std::vector<std::string> columns;
  std::vector<RowChange> rows;
};

struct Record {
  std::string db;
  std::string xid;  // xidKey
  std::string branch;
  std::vector<TableChanges> tables;
};

IxError ioError(const std::string& what) {
  return ixErr(IXR_E_UNSUPPORTED, what + ": " + std::strerror(errno));
}

uint64_t fnv1a(std::string_view bytes) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// ----------------------------------------------------------------- record encoding

class Writer {
 public:
  void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u64(uint64_t v) {
    for (int k = 0; k < 8; ++k) out_.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
  }
  void str(std::string_view s) {
    u64(s.size());
    out_.append(s);
  }
  std::string& bytes() { return out_; }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool u8(uint8_t& v) {
    if (at_ + 1 > in_.size()) return false;
    v = static_cast<uint8_t>(in_[at_++]);
    return true;
  }
  bool u64(uint64_t& v) {
    if (at_ + 8 > in_.size()) return false;
    v = 0;
    for (int k = 0; k < 8; ++k)
      v |= static_cast<uint64_t>(static_cast<uint8_t>(in_[at_ + k])) << (8 * k);
    at_ += 8;
    return true;
  }
  bool i64(int64_t& v) {
    uint64_t u;
    if (!u64(u)) return false;
    v = static_cast<int64_t>(u);
    return true;
  }
  bool str(std::string& s) {
    uint64_t n;
    if (!u64(n) || n > in_.size() - at_) return false;
    s.assign(in_.substr(at_, n));
    at_ += n;
    return true;
  }
  // A count of items of at least minBytes each that the rest of the input can hold.
  bool count(uint64_t& n, size_t minBytes) { return u64(n) && n <= (in_.size() - at_) / minBytes; }
  bool done() const { return at_ == in_.size(); }

 private:
  std::string_view in_;
  size_t at_ = 0;
};

std::string encode(const Record& r) {
  Writer w;
  w.bytes().append(kMagic, sizeof kMagic);
  w.str(r.db);
  w.str(r.xid);
  w.str(r.branch);
  w.u64(r.tables.size());
  for (const TableChanges& t : r.tables) {
    w.str(t.name);
    w.u64(t.columns.size());
    for (const std::string& c : t.columns) w.str(c);
    w.u64(t.rows.size());
    for (const RowChange& row : t.rows) {
      w.u64(static_cast<uint64_t>(row.rowid));
      w.u8(static_cast<uint8_t>((row.existed ? 1 : 0) | (row.present ? 2 : 0)));
      if (!row.present) continue;
      for (const Value& v : row.values) {
        w.u8(static_cast<uint8_t>(v.type));
        switch (v.type) {
          case SQLITE_INTEGER: w.u64(static_cast<uint64_t>(v.i)); break;
          case SQLITE_FLOAT: {
            uint64_t bits;
            std::memcpy(&bits, &v.r, sizeof bits);
            w.u64(bits);
            break;
          }
          case SQLITE_TEXT:
          case SQLITE_BLOB: w.str(v.bytes); break;
          default: break;
        }
      }
    }
  }
  w.u64(fnv1a(w.bytes()));
  return std::move(w.bytes());
}

bool decode(std::string_view in, Record& r) {
  if (in.size() < sizeof kMagic + 8 || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0)
    return false;
  std::string_view body = in.substr(0, in.size() - 8);
  Reader tail(in.substr(in.size() - 8));
  uint64_t sum;
  if (!tail.u64(sum) || sum != fnv1a(body)) return false;
  Reader rd(body.substr(sizeof kMagic));
  uint64_t tables;
  if (!rd.str(r.db) || !rd.str(r.xid) || !rd.str(r.branch) || !rd.count(tables, 24)) return false;
  r.tables.resize(tables);
  for (TableChanges& t : r.tables) {
    uint64_t cols, rows;
    if (!rd.str(t.name) || !rd.count(cols, 8)) return false;
    t.columns.resize(cols);
    for (std::string& c : t.columns)
      if (!rd.str(c)) return false;
    if (!rd.count(rows, 9)) return false;
    t.rows.resize(rows);
    for (RowChange& row : t.rows) {
      uint8_t flags;
      if (!rd.i64(row.rowid) || !rd.u8(flags)) return false;
      row.existed = flags & 1;
      row.present = flags & 2;
      if (!row.present) continue;
      row.values.resize(cols);
      for (Value& v : row.values) {
        uint8_t type;
        if (!rd.u8(type)) return false;
        v.type = type;
        switch (type) {
          case SQLITE_INTEGER:
            if (!rd.i64(v.i)) return false;
            break;
          case SQLITE_FLOAT: {
            uint64_t bits;
            if (!rd.u64(bits)) return false;
            std::memcpy(&v.r, &bits, sizeof bits);
            break;
          }
          case SQLITE_TEXT:
          case SQLITE_BLOB:
            if (!rd.str(v.bytes)) return false;
            break;
          case SQLITE_NULL: break;
          default: return false;
        }
      }
    }
  }
  return rd.done();
}

// ----------------------------------------------------------------- files

std::string recordDir(const ServerInfo& server) { return server.dir + "/xa"; }

std::string recordPath(const ServerInfo& server, const std::string& db, const std::string& branch) {
  return recordDir(server) + "/" + db + "." + branch + ".xa";
}

std::string newBranchId() {
  static std::atomic<uint32_t> counter{0};
  uint64_t r = 0;
  try {
    std::random_device rd;
    r = (static_cast<uint64_t>(rd()) << 32) ^ rd();
  } catch (...) {
    r = static_cast<uint64_t>(time(nullptr));
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%08x%04x%016llx", static_cast<unsigned>(getpid()),
                static_cast<unsigned>(++counter & 0xFFFF), static_cast<unsigned long long>(r));
  return buf;
}

void syncDir(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Writes the record under its final name through a temporary file, durably. On success
// *lockFd is the open record with an exclusive flock that the caller releases (close)
// once the marks are committed.
IxError writeRecord(const ServerInfo& server, const std::string& path, const std::string& bytes,
                    int* lockFd) {
  std::string dir = recordDir(server);
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return ioError("mkdir " + dir);
  std::string tmp = path + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return ioError("open " + tmp);
  auto fail = [&](const std::string& what) {
    IxError e = ioError(what + " " + tmp);
    unlink(tmp.c_str());
    close(fd);
    return e;
  };
  if (flock(fd, LOCK_EX) != 0) return fail("flock");
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail("write");
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0) return fail("fsync");
  if (rename(tmp.c_str(), path.c_str()) != 0) return fail("rename");
  syncDir(dir);
  *lockFd = fd;
  return {};
}

bool readFile(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

// ----------------------------------------------------------------- database side

std::string guardName(char op, const std::string& table) {
  return std::string("ixr_branch_") + op + "_" + table;
}

// Every write of the table fails with the lock error, whoever makes it.
int addGuards(sqlite3* db, const std::string& table) {
  static const struct {
    char tag;
    const char* event;
  } kEvents[] = {{'i', "INSERT"}, {'u', "UPDATE"}, {'d', "DELETE"}};
  for (const auto& ev : kEvents) {
    std::string sql = "CREATE TRIGGER IF NOT EXISTS main." + quoteId(guardName(ev.tag, table)) +
                      " BEFORE " + ev.event + " ON " + quoteId(table) +
                      " BEGIN SELECT RAISE(ABORT, " +
                      quoteStr(std::string("ixr:") + kLockedByBranch) + "); END";
    if (int rc = execSql(db, sql)) return rc;
  }
  return SQLITE_OK;
}

int dropGuards(sqlite3* db, const std::string& table) {
  for (char tag : {'i', 'u', 'd'})
    if (int rc = execSql(db, "DROP TRIGGER IF EXISTS main." + quoteId(guardName(tag, table))))
      return rc;
  return SQLITE_OK;
}

// The rows the branch leaves behind, read inside its own transaction. A table of the
// catalog among them means the branch changed the schema, which a record cannot carry.
IxError collect(sqlite3* db, const ChangeLog& log, Record& rec) {
  for (const auto& [table, rows] : log.rows()) {
    if (table != kSerialTable) {
      Sql q(db, "SELECT tabid FROM main.systables WHERE tabname = ?1");
      q.bind(1, table);
      if (q.step() != SQLITE_ROW || q.i64(0) < 100)
        return ixErr(IXR_E_UNSUPPORTED, "a branch that changed the schema cannot be prepared");
    }
    Sql q(db, "SELECT * FROM main." + quoteId(table) + " WHERE rowid = ?1");
    if (int rc = q.prepared()) return fromSqlite(db, rc, Op::Read, false);
    TableChanges t;
    t.name = table;
    int n = sqlite3_column_count(q.get());
    for (int k = 0; k < n; ++k) t.columns.emplace_back(sqlite3_column_name(q.get(), k));
    for (const auto& [rowid, existed] : rows) {
      q.reset();
      q.bind(1, rowid);
      RowChange row;
      row.rowid = rowid;
      row.existed = existed;
      int rc = q.step();
      if (rc == SQLITE_ROW) {
        row.present = true;
        for (int k = 0; k < n; ++k) {
          Value v;
          sqlite3_stmt* st = q.get();
          v.type = sqlite3_column_type(st, k);
          if (v.type == SQLITE_INTEGER) v.i = sqlite3_column_int64(st, k);
          if (v.type == SQLITE_FLOAT) v.r = sqlite3_column_double(st, k);
          if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) {
            const void* p = v.type == SQLITE_TEXT
                                ? static_cast<const void*>(sqlite3_column_text(st, k))
                                : sqlite3_column_blob(st, k);
            v.bytes.assign(static_cast<const char*>(p ? p : ""),
                           static_cast<size_t>(sqlite3_column_bytes(st, k)));
          }
          row.values.push_back(std::move(v));
        }
      } else if (rc != SQLITE_DONE) {
        return fromSqlite(db, rc, Op::Read, false);
      }
      if (row.existed || row.present) t.rows.push_back(std::move(row));
    }
    if (!t.rows.empty()) rec.tables.push_back(std::move(t));
  }
  return {};
}

void bindValue(sqlite3_stmt* st, int i, const Value& v) {
  switch (v.type) {
    case SQLITE_INTEGER: sqlite3_bind_int64(st, i, v.i); break;
    case SQLITE_FLOAT: sqlite3_bind_double(st, i, v.r); break;
    case SQLITE_TEXT:
      sqlite3_bind_text64(st, i, v.bytes.data(), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
      break;
    case SQLITE_BLOB:
      sqlite3_bind_blob64(st, i, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
      break;
    default: sqlite3_bind_null(st, i); break;
  }
}

// Puts the record's rows in place: the rows the branch found are removed, then the rows
// it left are inserted, so that values moving between rows never collide on a unique
// index. Foreign keys are off on the connection: the branch's cascades are rows of the
// record themselves.
IxError apply(sqlite3* db, const Record& rec) {
  auto mismatch = [](const std::string& table) {
    return ixErr(IXR_E_UNSUPPORTED, "a prepared branch no longer matches table " + table);
  };
  for (const TableChanges& t : rec.tables) {
    Sql del(db, "DELETE FROM main." + quoteId(t.name) + " WHERE rowid = ?1");
    if (int rc = del.prepared()) return fromSqlite(db, rc, Op::Delete, false);
    for (const RowChange& row : t.rows) {
      if (!row.existed) continue;
      del.reset();
      del.bind(1, row.rowid);
      if (int rc = del.run()) return fromSqlite(db, rc, Op::Delete, false);
      if (sqlite3_changes(db) != 1) return mismatch(t.name);
    }
  }
  for (const TableChanges& t : rec.tables) {
    std::string sql = "INSERT INTO main." + quoteId(t.name) + " (rowid";
    std::string marks = "?1";
    for (size_t k = 0; k < t.columns.size(); ++k) {
      sql += ", " + quoteId(t.columns[k]);
      marks += ", ?" + std::to_string(k + 2);
    }
    Sql ins(db, sql + ") VALUES (" + marks + ")");
    if (int rc = ins.prepared()) return fromSqlite(db, rc, Op::Insert, false);
    for (const RowChange& row : t.rows) {
      if (!row.present) continue;
      if (row.values.size() != t.columns.size()) return mismatch(t.name);
      ins.reset();
      ins.bind(1, row.rowid);
      for (size_t k = 0; k < row.values.size(); ++k)
        bindValue(ins.get(), static_cast<int>(k + 2), row.values[k]);
      if (int rc = ins.run()) {
        if ((rc & 0xFF) == SQLITE_CONSTRAINT) return mismatch(t.name);
        return fromSqlite(db, rc, Op::Insert, false);
      }
    }
  }
  return {};
}

bool isBusy(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

// A connection of the session's database for work of the XA layer itself: no session
// handlers; waits for the write lock as long as the session would, and at least a little.
IxError openOwn(Session& s, DbLink& link) {
  if (auto e = linkOpen(s, link)) return e;
  sqlite3_progress_handler(link.db, 0, nullptr, nullptr);
  sqlite3_busy_timeout(link.db, std::max(s.lockWaitMs, kResolveWaitMs));
  if (int rc = execSql(link.db, "PRAGMA synchronous=FULL"))
    return fromSqlite(link.db, rc, Op::Other, false);
  return {};
}

bool branchMarked(sqlite3* db, const std::string& branch) {
  Sql q(db, std::string("SELECT 1 FROM ") + kMarks + " WHERE branch = ?1 LIMIT 1");
  if (q.prepared()) return false;
  q.bind(1, branch);
  return q.step() == SQLITE_ROW;
}

// Removes the records of server dir/xa for database db that no mark names and whose
// writer has gone (its flock is free): leftovers of a crash during prepare or after a
// resolution.
void removeLeftovers(Session& s, sqlite3* db, const std::set<std::string>& marked) {
  std::string dir = recordDir(s.server);
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::string prefix = s.dbname + ".";
  std::vector<std::string> names;
  while (struct dirent* e = readdir(d)) {
    std::string_view n = e->d_name;
    if (n.substr(0, prefix.size()) == prefix) names.emplace_back(n);
  }
  closedir(d);
  for (const std::string& n : names) {
    std::string_view rest = std::string_view(n).substr(prefix.size());
    size_t dot = rest.find('.');
    if (dot == std::string_view::npos) continue;
    std::string_view suffix = rest.substr(dot);
    if (suffix != ".xa" && suffix != ".xa.tmp") continue;
    std::string branch(rest.substr(0, dot));
    if (marked.count(branch)) continue;
    std::string path = dir + "/" + n;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    // Taken only once its writer has committed its marks or gone: look again under it.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && !branchMarked(db, branch)) unlink(path.c_str());
    close(fd);
  }
}

}  // namespace

// ----------------------------------------------------------------- XIDs

std::string xidKey(const XID& xid) {
  static const char kHex[] = "0123456789abcdef";
  std::string k = std::to_string(xid.formatID);
  for (long part = 0, at = 0; part < 2; ++part) {
    k += '.';
    long len = part == 0 ? xid.gtrid_length : xid.bqual_length;
    for (long i = 0; i < len; ++i, ++at) {
      auto c = static_cast<unsigned char>(xid.data[at]);
      k += kHex[c >> 4];
      k += kHex[c & 15];
    }
  }
  return k;
}

bool xidFromKey(const std::string& key, XID& out) {
  out = XID{};
  size_t d1 = key.find('.');
  size_t d2 = d1 == std::string::npos ? d1 : key.find('.', d1 + 1);
  if (d2 == std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  long f = std::strtol(key.c_str(), &end, 10);
  if (errno || end != key.c_str() + d1) return false;
  auto hexPart = [&](size_t from, size_t to, long& len) {
    if ((to - from) % 2 || (to - from) / 2 > MAXGTRIDSIZE) return false;
    len = static_cast<long>((to - from) / 2);
    return true;
  };
  if (!hexPart(d1 + 1, d2, out.gtrid_length) || !hexPart(d2 + 1, key.size(), out.bqual_length))
    return false;
  std::string hex = key.substr(d1 + 1, d2 - d1 - 1) + key.substr(d2 + 1);
  for (size_t i = 0; i < hex.size() / 2; ++i) {
    unsigned v = 0;
    for (char c : {hex[2 * i], hex[2 * i + 1]}) {
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<unsigned>(c - 'a' + 10);
      else
        return false;
    }
    out.data[i] = static_cast<char>(v);
  }
  out.formatID = f;
  return out.gtrid_length > 0;
}

int xidCheck(const XID* xid) {
  if (!xid || xid->formatID == -1) return XAER_INVAL;
  if (xid->gtrid_length < 1 || xid->gtrid_length > MAXGTRIDSIZE) return XAER_INVAL;
  if (xid->bqual_length < 0 || xid->bqual_length > MAXBQUALSIZE) return XAER_INVAL;
  return XA_OK;
}

// ----------------------------------------------------------------- change log

void ChangeLog::attach(sqlite3* db) { sqlite3_preupdate_hook(db, hook, this); }

void ChangeLog::detach(sqlite3* db) { sqlite3_preupdate_hook(db, nullptr, nullptr); }

void ChangeLog::touch(const char* table, int64_t rowid, bool existed) {
  // The first change of a row tells what it was before the branch.
  rows_[table].emplace(rowid, existed);
}

void ChangeLog::hook(void* self, sqlite3*, int op, const char* schema, const char* table,
                     sqlite3_int64 oldKey, sqlite3_int64 newKey) {
  auto* log = static_cast<ChangeLog*>(self);
  // Temporary tables end with their connection; sysmaster is not written inside a branch.
  if (!schema || std::strcmp(schema, "main") != 0 || !table) return;
  try {
    switch (op) {
      case SQLITE_INSERT: log->touch(table, newKey, false); break;
      case SQLITE_DELETE: log->touch(table, oldKey, true); break;
      case SQLITE_UPDATE:
        log->touch(table, oldKey, true);
        if (newKey != oldKey) log->touch(table, newKey, false);
        break;
      default: break;
    }
  } catch (...) {
    log->failed_ = true;
  }
}

// ----------------------------------------------------------------- prepare and resolve

int branchPrepare(const ServerInfo& server, const std::string& db, const XID& xid, DbLink& link,
                  const ChangeLog& log, IxError& why) {
  ChangeLog::detach(link.db);
  auto rolledBack = [&](IxError e) {
    if (link.sqlTxn) execSql(link.db, "ROLLBACK");
    link.sqlTxn = link.inTxn = false;
    why = std::move(e);
    return XA_RBROLLBACK;
  };
  if (log.failed()) return rolledBack(ixErr(IXR_E_NO_MEMORY));
  Record rec;
  rec.db = db;
  rec.xid = xidKey(xid);
  try {
    if (auto e = collect(link.db, log, rec)) return rolledBack(e);
  } catch (...) {
    return rolledBack(ixErr(IXR_E_NO_MEMORY));
  }
  if (rec.tables.empty()) {
    if (link.sqlTxn)
      if (int rc = execSql(link.db, "COMMIT"))
        return rolledBack(fromSqlite(link.db, rc, Op::Other, false));
    link.sqlTxn = link.inTxn = false;
    return XA_RDONLY;
  }
  rec.branch = newBranchId();
  std::string path = recordPath(server, db, rec.branch);
  int lockFd = -1;
  std::string bytes;
  try {
    bytes = encode(rec);
  } catch (...) {
    return rolledBack(ixErr(IXR_E_NO_MEMORY));
  }
  if (auto e = writeRecord(server, path, bytes, &lockFd)) return rolledBack(e);
  // The work leaves the connection and the marks take its place in one transaction that
  // never lets go of the write lock.
  int rc = execSql(link.db, "ROLLBACK TO ixr_branch");
  if (link.cat) link.cat->invalidate();
  if (!rc)
    rc = execSql(link.db, std::string("CREATE TABLE IF NOT EXISTS ") + kMarks +
                              " (branch TEXT NOT NULL, xid TEXT NOT NULL, tabname TEXT NOT NULL)");
  if (!rc) {
    Sql mark(link.db, std::string("INSERT INTO ") + kMarks + " VALUES (?1, ?2, ?3)");
    rc = mark.prepared();
    for (size_t k = 0; !rc && k < rec.tables.size(); ++k) {
      mark.reset();
      mark.bind(1, rec.branch).bind(2, rec.xid).bind(3, rec.tables[k].name);
      rc = mark.run();
      if (!rc && rec.tables[k].name != kSerialTable) rc = addGuards(link.db, rec.tables[k].name);
    }
  }
  if (!rc) rc = execSql(link.db, "COMMIT");
  if (rc) {
    IxError e = fromSqlite(link.db, rc, Op::Other, false);
    unlink(path.c_str());
    close(lockFd);
    return rolledBack(e);
  }
  link.sqlTxn = link.inTxn = false;
  close(lockFd);
  return XA_OK;
}

int branchResolve(Session& s, const XID& xid, bool commit, IxError& why) {
  DbLink link;
  if (auto e = openOwn(s, link)) {
    why = e;
    return XAER_RMERR;
  }
  sqlite3* db = link.db;
  auto failed = [&](int rc) {
    execSql(db, "ROLLBACK");
    if (isBusy(rc)) return XA_RETRY;
    why = fromSqlite(db, rc, Op::Other, false);
    return XAER_RMERR;
  };
  execSql(db, "PRAGMA foreign_keys=OFF");
  if (int rc = execSql(db, "BEGIN IMMEDIATE")) return failed(rc);
  std::string branch;
  std::vector<std::string> tables;
  {
    Sql q(db, std::string("SELECT branch, tabname FROM ") + kMarks + " WHERE xid = ?1");
    if (q.prepared() == SQLITE_OK) {
      q.bind(1, xidKey(xid));
      while (q.step() == SQLITE_ROW) {
        branch = q.str(0);
        tables.push_back(q.str(1));
      }
    }
  }
  if (branch.empty()) {
    execSql(db, "ROLLBACK");
    return XAER_NOTA;
  }
  std::string path = recordPath(s.server, s.dbname, branch);
  if (commit) {
    std::string bytes;
    Record rec;
    if (!readFile(path, bytes) || !decode(bytes, rec) || rec.branch != branch ||
        rec.xid != xidKey(xid)) {
      execSql(db, "ROLLBACK");
      why = ixErr(IXR_E_UNSUPPORTED,
                  "the record of prepared branch " + branch + " is missing or damaged");
      return XAER_RMERR;
    }
    for (const std::string& t : tables)
      if (int rc = dropGuards(db, t)) return failed(rc);
    if (auto e = apply(db, rec)) {
      execSql(db, "ROLLBACK");
      why = e;
      return XAER_RMERR;
    }
  } else {
    for (const std::string& t : tables)
      if (int rc = dropGuards(db, t)) return failed(rc);
  }
  {
    Sql del(db, std::string("DELETE FROM ") + kMarks + " WHERE branch = ?1");
    del.bind(1, branch);
    if (int rc = del.run()) return failed(rc);
  }
  if (int rc = execSql(db, "COMMIT")) return failed(rc);
  // The branch is resolved; its record is only a leftover now, removed here or later.
  unlink(path.c_str());
  syncDir(recordDir(s.server));
  return XA_OK;
}

IxError branchesInDoubt(Session& s, std::vector<XID>& out) {
  out.clear();
  DbLink link;
  if (auto e = openOwn(s, link)) return e;
  std::set<std::string> branches;
  std::set<std::string> keys;
  {
    Sql q(link.db, std::string("SELECT branch, xid FROM ") + kMarks);
    if (q.prepared() == SQLITE_OK)
      while (q.step() == SQLITE_ROW) {
        branches.insert(q.str(0));
        keys.insert(q.str(1));
      }
  }
  for (const std::string& k : keys) {
    XID x;
    if (xidFromKey(k, x)) out.push_back(x);
  }
  removeLeftovers(s, link.db, branches);
  return {};
}

bool branchInDoubt(sqlite3* db, const std::string& key) {
  Sql q(db, std::string("SELECT 1 FROM ") + kMarks + " WHERE xid = ?1 LIMIT 1");
  if (q.prepared()) return false;
  q.bind(1, key);
  return q.step() == SQLITE_ROW;
}

IxError branchSchemaGuard(Session& s) {
  if (!s.db || s.dbname.empty()) return {};
  Sql q(s.db, std::string("SELECT 1 FROM ") + kMarks + " LIMIT 1");
  if (q.prepared() == SQLITE_OK && q.step() == SQLITE_ROW)
    return ixErr(IXR_E_LOCK_FAILED, {}, IXR_ISAM_TABLE_LOCKED);
  return {};
}

}  // namespace ixr
