// ixr_server.cpp -- server directories, their configuration and database files, and the
// server's sessions across processes.
// Threading: callers serialise creation and dropping; SQLite's file locks protect the
// files against other processes; the process's session lock files are guarded by a lock
// of their own.
#include "platform/informix/ixr_server.h"

#include "platform/informix/ixr_api.h"
#include "platform/informix/ixr_catalog.h"
#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_db.h"

#include <fcntl.h>
#include <pwd.h>
#include <sha2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace ixr {
namespace {

// Makes path and its missing parents. Every directory made here is its owner's alone
// (0700, whatever the umask): a server's files hold what only its users may read.
// Directories that exist keep the modes they have.
bool makeDirs(const std::string& path) {
  std::string at;
  size_t from = 0;
  while (from <= path.size()) {
    size_t cut = path.find('/', from);
    if (cut == std::string::npos) cut = path.size();
    at = path.substr(0, cut);
    from = cut + 1;
    if (at.empty()) continue;
    if (mkdir(at.c_str(), 0700) == 0) {
      if (chmod(at.c_str(), 0700) != 0) return false;
    } else if (errno != EEXIST) {
      return false;
    }
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes an empty file for SQLite to build a database in, readable and writable by its
// owner alone (0600, whatever the umask). SQLite gives the journal, WAL and
// shared-memory files it adds beside a database the database file's own mode.
bool makePrivateFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = fchmod(fd, 0600) == 0;
  return close(fd) == 0 && ok;
}

bool validServerName(const std::string& s) {
  if (s.empty() || s.size() > 128) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) return false;
  return true;
}

}  // namespace

std::string lowerName(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

bool validDbName(const std::string& s) {
  if (s.empty() || s.size() > 128 || s == "sysmaster") return false;
  if (!((s[0] >= 'a' && s[0] <= 'z') || s[0] == '_')) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$')) return false;
  return true;
}

std::string serversRoot() {
  if (const char* r = std::getenv("KES_INFORMIX_SERVERS"); r && *r) return r;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (struct passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  if (home && *home) return std::string(home) + "/.kestrane/informix";
  return "/tmp/kestrane-informix-" + std::to_string(getuid());
}

namespace {

constexpr const char* kHashTag = "$sha256$";
constexpr unsigned kHashRounds = 4096;

std::string hex(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

std::string digest(const std::string& salt, const std::string& password, unsigned rounds) {
  uint8_t h[SHA256_DIGEST_LENGTH] = {};
  for (unsigned r = 0; r <= rounds; ++r) {
    SHA2_CTX ctx;
    SHA256Init(&ctx);
    if (r > 0) SHA256Update(&ctx, h, sizeof h);
    SHA256Update(&ctx, reinterpret_cast<const uint8_t*>(salt.data()), salt.size());
    SHA256Update(&ctx, reinterpret_cast<const uint8_t*>(password.data()), password.size());
    SHA256Final(h, &ctx);
  }
  return hex(h, sizeof h);
}

// The configuration as text: users in their stored forms.
std::string confText(int kind, bool hasUsers, const std::map<std::string, std::string>& users) {
  std::string text = std::string("kind=") + (kind == IXR_SERVER_ONLINE ? "online" : "se") + "\n";
  if (hasUsers) {
    text += "users=on\n";
    for (const auto& [user, stored] : users) text += "user=" + user + ":" + stored + "\n";
  }
  return text;
}

// Replaces dir/server.conf with text as one step: a private temporary file written
// whole, flushed, then renamed over the old one, so that no reader ever sees half a
// file and no other user can read the password digests.
bool writeConf(const std::string& dir, const std::string& text) {
  std::string tmp = dir + "/server.conf.XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(tmp.c_str(), (dir + "/server.conf").c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

}  // namespace

std::string passwordHash(const std::string& password) {
  uint8_t salt[16] = {};
  size_t got = 0;
  while (got < sizeof salt) {
    ssize_t n = getrandom(salt + got, sizeof salt - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  const std::string s = hex(salt, sizeof salt);
  return kHashTag + std::to_string(kHashRounds) + "$" + s + "$" + digest(s, password, kHashRounds);
}

bool passwordMatches(const std::string& stored, const std::string& password) {
  std::string want;
  if (stored.compare(0, std::strlen(kHashTag), kHashTag) == 0) {
    // $sha256$rounds$salt$digest
    std::string rest = stored.substr(std::strlen(kHashTag));
    size_t a = rest.find('$'), b = a == std::string::npos ? a : rest.find('$', a + 1);
    if (b == std::string::npos) return false;
    unsigned long rounds = std::strtoul(rest.substr(0, a).c_str(), nullptr, 10);
    if (rounds > 1000000) return false;
    want = rest.substr(b + 1);
    std::string got = digest(rest.substr(a + 1, b - a - 1), password, static_cast<unsigned>(rounds));
    if (got.size() != want.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < got.size(); ++i) diff |= static_cast<unsigned char>(got[i] ^ want[i]);
    return diff == 0;
  }
  // An older file's clear text, until the file is next written.
  if (stored.size() != password.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < stored.size(); ++i)
    diff |= static_cast<unsigned char>(stored[i] ^ password[i]);
  return diff == 0;
}

IxError serverCreate(const std::string& name0, int kind, const char* users) {
  std::string name = lowerName(name0);
  if (!validServerName(name)) return ixErr(IXR_E_NO_SERVER, name0);
  std::string dir = serversRoot() + "/" + name;
  if (!makeDirs(dir)) return ixErr(IXR_E_NO_SERVER, name0);
  std::map<std::string, std::string> stored;
  if (users) {
    std::stringstream ss(users);
    std::string item;
    while (std::getline(ss, item, ',')) {
      if (item.empty()) continue;
      size_t c = item.find(':');
      stored[item.substr(0, c)] =
          passwordHash(c == std::string::npos ? std::string() : item.substr(c + 1));
    }
  }
  if (!writeConf(dir, confText(kind, users != nullptr, stored)))
    return ixErr(IXR_E_NO_SERVER, name0);
  ServerInfo s;
  if (auto e = serverLoad(name, s)) return e;
  return sysmasterEnsure(s);
}

IxError serverLoad(const std::string& name0, ServerInfo& out) {
  std::string name = lowerName(name0);
  if (!validServerName(name)) return ixErr(IXR_E_NO_SERVER, name0);
  out = ServerInfo{};
  out.name = name;
  out.dir = serversRoot() + "/" + name;
  std::ifstream f(out.dir + "/server.conf");
  if (!f) return ixErr(IXR_E_NO_SERVER, name0);
  std::string line;
  bool clearText = false;
  while (std::getline(f, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string k = line.substr(0, eq), v = line.substr(eq + 1);
    if (k == "kind")
      out.kind = v == "online" ? IXR_SERVER_ONLINE : IXR_SERVER_SE;
    else if (k == "users")
      out.hasUsers = true;
    else if (k == "user") {
      size_t c = v.find(':');
      std::string stored = c == std::string::npos ? std::string() : v.substr(c + 1);
      if (stored.compare(0, std::strlen(kHashTag), kHashTag) != 0) {
        clearText = true;
        stored = passwordHash(stored);
      }
      out.users[v.substr(0, c)] = stored;
      out.hasUsers = true;
    }
  }
  f.close();
  // A file of an older release holds passwords in clear text: it is written again with
  // their digests. A directory that cannot be written keeps it as it is; the digests
  // in memory check the passwords all the same.
  if (clearText) (void)writeConf(out.dir, confText(out.kind, out.hasUsers, out.users));
  return {};
}

std::string dbPath(const ServerInfo& s, const std::string& db) {
  return s.dir + "/" + lowerName(db) + ".db";
}
std::string sysmasterPath(const ServerInfo& s) { return s.dir + "/sysmaster.db"; }

bool dbExists(const ServerInfo& s, const std::string& db) {
  struct stat st;
  return validDbName(lowerName(db)) && stat(dbPath(s, db).c_str(), &st) == 0;
}

int openSqlite(const std::string& path, bool create, sqlite3** out) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), out, flags, nullptr);
  if (rc) return rc;
  sqlite3_extended_result_codes(*out, 1);
  if (path != ":memory:") {
    sqlite3_busy_timeout(*out, 10000);
    rc = sqlite3_exec(*out, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                      nullptr);
    sqlite3_busy_timeout(*out, 0);
    if (rc) return rc;
  }
  return sqlite3_exec(*out, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
}

int openSqliteReadOnly(const std::string& path, sqlite3** out) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '?' || c == '#' || c == '%') {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
      uri += buf;
    } else {
      uri += c;
    }
  }
  const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2((uri + "?mode=ro").c_str(), out, flags, nullptr);
  // A database left in WAL mode needs its shared-memory file, which a directory that
  // cannot be written cannot hold: nothing can change the file there, so it is read
  // as it stands.
  if (rc == SQLITE_OK) rc = sqlite3_exec(*out, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK && !isDamage(rc)) {
    sqlite3_close_v2(*out);
    *out = nullptr;
    rc = sqlite3_open_v2((uri + "?immutable=1").c_str(), out, flags, nullptr);
  }
  if (rc) return rc;
  sqlite3_extended_result_codes(*out, 1);
  return sqlite3_exec(*out, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
}

IxError sysmasterEnsure(const ServerInfo& s) {
  std::string path = sysmasterPath(s);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return {};
  std::string tmp = path + ".new";
  std::remove(tmp.c_str());
  sqlite3* db = nullptr;
  int rc = makePrivateFile(tmp) ? openSqlite(tmp, true, &db) : SQLITE_CANTOPEN;
  IxError e;
  if (rc) {
    e = ixErr(IXR_E_NO_SERVER, s.name);
  } else {
    execSql(db, "BEGIN");
    e = catalogCreateSysmaster(db);
    execSql(db, e ? "ROLLBACK" : "COMMIT");
    execSql(db, "PRAGMA journal_mode=DELETE");
  }
  sqlite3_close(db);
  // Renamed into place only when complete, so that a half-made file is never used.
  if (!e && std::rename(tmp.c_str(), path.c_str()) != 0) e = ixErr(IXR_E_NO_SERVER, s.name);
  std::remove(tmp.c_str());
  return e;
}

namespace {

// The session lock files this process holds, one open description per server directory.
// A live session holds a read lock on the byte at its number through it. The locks are
// those of the open file description (F_OFD_*): a probe through another description sees
// them, this process's own included, and they go when the process ends.
struct LockFiles {
  std::mutex mu;
  pid_t pid = 0;                   // the process that opened fds
  std::map<std::string, int> fds;  // server directory -> descriptor
};

LockFiles& lockFiles() {
  static auto* l = new LockFiles();  // lives to the end of the process
  return *l;
}

std::string lockPath(const ServerInfo& s) { return s.dir + "/sessions.lck"; }

int openLockFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    if (fchmod(fd, 0600) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  // Read locks need no write access: a directory this process may only read still has
  // its sessions told apart.
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  return fd;
}

// REQUIRES: lockFiles().mu held.
int heldLockFile(const ServerInfo& s) {
  LockFiles& l = lockFiles();
  if (l.pid != getpid()) {
    // A forked child shares its parent's descriptions and with them the parent's locks:
    // it takes descriptions of its own. Closing its copies drops none of the parent's.
    for (auto& [dir, fd] : l.fds) close(fd);
    l.fds.clear();
    l.pid = getpid();
  }
  if (auto it = l.fds.find(s.dir); it != l.fds.end()) return it->second;
  int fd = openLockFile(lockPath(s));
  if (fd >= 0) l.fds[s.dir] = fd;
  return fd;
}

bool lockByte(int fd, int64_t at, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(at);
  fl.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

// Whether some process holds session sid's lock. probe is a description of the lock
// file that holds no lock. A session that cannot be told gone is taken as alive.
bool sessionAlive(int probe, int64_t sid) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(sid);
  fl.l_len = 1;
  if (fcntl(probe, F_OFD_GETLK, &fl) != 0) return true;
  return fl.l_type != F_UNLCK;
}

// The place of syssessions among the sysmaster tables: its numbers are the SERIAL of
// that table, counted in ixr_serial.
constexpr int64_t kSessionsTabid = 4;

// Inside the registering transaction: the rows of sessions that are gone leave, and the
// new session's number is counted and recorded. Answers the number, 0 on failure.
int64_t registerIn(sqlite3* m, const ServerInfo& s, const std::string& user) {
  if (catalogUpgradeSysmaster(m)) return 0;
  if (int probe = open(lockPath(s).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); probe >= 0) {
    std::vector<int64_t> gone;
    {
      Sql q(m, "SELECT sid FROM syssessions");
      while (q.step() == SQLITE_ROW)
        if (!sessionAlive(probe, q.i64(0))) gone.push_back(q.i64(0));
    }
    close(probe);
    Sql del(m, "DELETE FROM syssessions WHERE sid = ?1");
    for (int64_t sid : gone) {
      del.reset();
      if (del.bind(1, sid).run() != SQLITE_OK) return 0;
    }
  }
  int64_t sid = 0;
  {
    Sql first(m, "INSERT OR IGNORE INTO ixr_serial (tabid, last) VALUES (?1, 0)");
    if (first.bind(1, kSessionsTabid).run() != SQLITE_OK) return 0;
    Sql next(m, "UPDATE ixr_serial SET last = last + 1 WHERE tabid = ?1 RETURNING last");
    if (next.bind(1, kSessionsTabid).step() == SQLITE_ROW) sid = next.i64(0);
  }
  // Numbers are INTEGERs to SQL; the row-version table writes them in 8 hex digits.
  if (sid <= 0 || sid > INT32_MAX) return 0;
  char host[256] = {};
  (void)gethostname(host, sizeof host - 1);
  Sql ins(m,
          "INSERT INTO syssessions (sid, username, uid, pid, hostname, connected) "
          "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  ins.bind(1, sid).bind(2, user).bind(3, static_cast<int64_t>(getuid()));
  ins.bind(4, static_cast<int64_t>(getpid())).bind(5, std::string(host));
  ins.bind(6, static_cast<int64_t>(std::time(nullptr)));
  return ins.run() == SQLITE_OK ? sid : 0;
}

// A process's connections to the sysmaster of each server it registers sessions in,
// opened once: a connect and a disconnect used to open sysmaster anew and read its
// catalog's schema each time, the larger part of their cost. One connection serves
// every thread of the process, one registration or removal at a time; a sysmaster
// replaced on disk (its server created again) is opened again, and a forked child
// opens its own, leaving its parent's untouched.
struct SysmasterLinks {
  struct Link {
    sqlite3* db = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
  };
  std::mutex mu;
  pid_t pid = 0;
  std::map<std::string, Link> open;  // server directory -> connection
  std::vector<sqlite3*> inherited;   // a parent's, never used again
};

SysmasterLinks& sysmasterLinks() {
  static auto* l = new SysmasterLinks();  // lives to the end of the process
  return *l;
}

// This process's connection to the server's sysmaster, under l.mu (held by the caller);
// null when it cannot be opened.
sqlite3* sysmasterLink(SysmasterLinks& l, const ServerInfo& s) {
  if (l.pid != getpid()) {
    for (auto& [dir, link] : l.open) l.inherited.push_back(link.db);
    l.open.clear();
    l.pid = getpid();
  }
  const std::string path = sysmasterPath(s);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return nullptr;
  SysmasterLinks::Link& link = l.open[s.dir];
  if (link.db != nullptr && (link.dev != st.st_dev || link.ino != st.st_ino)) {
    sqlite3_close(link.db);
    link.db = nullptr;
  }
  if (link.db == nullptr) {
    if (openSqlite(path, false, &link.db) != SQLITE_OK) {
      sqlite3_close(link.db);
      link.db = nullptr;
      return nullptr;
    }
    link.dev = st.st_dev;
    link.ino = st.st_ino;
  }
  return link.db;
}

}  // namespace

int64_t sessionRegister(const ServerInfo& s, const std::string& user) {
  int fd = -1;
  {
    std::lock_guard<std::mutex> g(lockFiles().mu);
    fd = heldLockFile(s);
  }
  if (fd < 0 || sysmasterEnsure(s)) return 0;
  SysmasterLinks& links = sysmasterLinks();
  std::lock_guard<std::mutex> held(links.mu);
  sqlite3* m = sysmasterLink(links, s);
  int64_t sid = 0;
  if (m != nullptr) {
    sqlite3_busy_timeout(m, 10000);
    if (execSql(m, "BEGIN IMMEDIATE") == SQLITE_OK) {
      sid = registerIn(m, s, user);
      // The lock is taken before the row is seen: no registration in between finds the
      // new session gone.
      if (sid != 0) {
        std::lock_guard<std::mutex> g(lockFiles().mu);
        if (!lockByte(fd, sid, F_RDLCK)) sid = 0;
      }
      if (sid != 0 && execSql(m, "COMMIT") != SQLITE_OK) {
        std::lock_guard<std::mutex> g(lockFiles().mu);
        (void)lockByte(fd, sid, F_UNLCK);
        sid = 0;
      }
      if (sid == 0) execSql(m, "ROLLBACK");
    }
    // The connection outlives the call: it never keeps a transaction open.
    if (sqlite3_get_autocommit(m) == 0) execSql(m, "ROLLBACK");
  }
  return sid;
}

void sessionUnregister(const ServerInfo& s, int64_t sid) {
  {
    // A row left behind goes with the next registration, once the lock is gone: a busy
    // sysmaster does not hold the disconnect up for long.
    SysmasterLinks& links = sysmasterLinks();
    std::lock_guard<std::mutex> held(links.mu);
    if (sqlite3* m = sysmasterLink(links, s); m != nullptr) {
      sqlite3_busy_timeout(m, 1000);
      Sql del(m, "DELETE FROM syssessions WHERE sid = ?1");
      (void)del.bind(1, sid).run();
    }
  }
  LockFiles& l = lockFiles();
  std::lock_guard<std::mutex> g(l.mu);
  if (l.pid != getpid()) return;
  if (auto it = l.fds.find(s.dir); it != l.fds.end()) (void)lockByte(it->second, sid, F_UNLCK);
}

IxError dbCreate(const ServerInfo& s, const std::string& db0, int logMode,
                 const std::string& owner) {
  std::string db = lowerName(db0);
  if (!validDbName(db)) return ixErr(IXR_E_BAD_DATABASE_NAME, db0);
  if (auto e = sysmasterEnsure(s)) return e;
  std::string path = dbPath(s, db);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return ixErr(IXR_E_DATABASE_EXISTS, db);
  std::string tmp = path + ".new";
  std::remove(tmp.c_str());
  sqlite3* h = nullptr;
  IxError e;
  if (!makePrivateFile(tmp) || openSqlite(tmp, true, &h)) {
    e = ixErr(IXR_E_DATABASE_EXISTS, db);
  } else {
    execSql(h, "BEGIN");
    e = catalogCreate(h, db, owner, logMode);
    execSql(h, e ? "ROLLBACK" : "COMMIT");
    // A WAL file cannot be renamed with its database: checkpoint and go back to a
    // rollback journal for the move; sessions switch to WAL when they open it.
    execSql(h, "PRAGMA journal_mode=DELETE");
  }
  sqlite3_close(h);
  if (!e && std::rename(tmp.c_str(), path.c_str()) != 0) e = ixErr(IXR_E_DATABASE_EXISTS, db);
  std::remove(tmp.c_str());
  if (e) return e;
  sqlite3* m = nullptr;
  if (openSqlite(sysmasterPath(s), false, &m) == 0) {
    sqlite3_busy_timeout(m, 10000);
    Sql ins(m,
            "INSERT INTO sysdatabases (name, partnum, owner, created, is_logging, is_buff_log, "
            "is_ansi, "
            "is_nls, flags) VALUES (?1, 0, ?2, ?3, ?4, ?5, ?6, 0, 0)");
    ins.bind(1, db).bind(2, owner).bind(3, dateToday());
    ins.bind(4, logMode != kNoLog ? 1 : 0)
        .bind(5, logMode == kBufferedLog ? 1 : 0)
        .bind(6, logMode == kAnsi ? 1 : 0);
    ins.run();
  }
  sqlite3_close(m);
  return {};
}

IxError dbDrop(const ServerInfo& s, const std::string& db0) {
  std::string db = lowerName(db0);
  if (!dbExists(s, db)) return ixErr(IXR_E_NO_DATABASE, db, IXR_ISAM_NOT_FOUND);
  std::string path = dbPath(s, db);
  if (std::remove(path.c_str()) != 0) return ixErr(IXR_E_DATABASE_EXISTS, db);
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
  std::remove((path + "-journal").c_str());
  sqlite3* m = nullptr;
  if (openSqlite(sysmasterPath(s), false, &m) == 0) {
    sqlite3_busy_timeout(m, 10000);
    Sql del(m, "DELETE FROM sysdatabases WHERE name = ?1");
    del.bind(1, db).run();
  }
  sqlite3_close(m);
  return {};
}

}  // namespace ixr
