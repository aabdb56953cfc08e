// ixr_server.h -- servers and databases of the embedded Informix server. A server is a
// directory under the servers root holding server.conf (its kind and optional user
// list), sysmaster.db (the list of its databases) and one SQLite file per database.
// Threading: functions only touch files; the callers serialise creation and dropping
// under the session registry lock.
#pragma once

#include "platform/informix/ixr_errors.h"

#include <sqlite3.h>

#include <map>
#include <string>

namespace ixr {

struct ServerInfo {
  std::string name;
  std::string dir;
  int kind = 0;  // IXR_SERVER_SE or IXR_SERVER_ONLINE
  bool hasUsers = false;
  std::map<std::string, std::string> users;  // user -> stored password (see passwordMatches)
};

// Whether password is the one stored for a user: a salted, iterated SHA-256 digest
// ("$sha256$rounds$salt$digest"), or the clear text an older server.conf held.
bool passwordMatches(const std::string& stored, const std::string& password);
// The stored form of a password: a digest under a fresh random salt.
std::string passwordHash(const std::string& password);

std::string serversRoot();
IxError serverCreate(const std::string& name, int kind, const char* users);
// IXR_E_NO_SERVER (server name in the error) when there is no such server.
IxError serverLoad(const std::string& name, ServerInfo& out);

std::string lowerName(const std::string& s);
bool validDbName(const std::string& s);
std::string dbPath(const ServerInfo& s, const std::string& db);
std::string sysmasterPath(const ServerInfo& s);
bool dbExists(const ServerInfo& s, const std::string& db);

// Opens a SQLite connection the way every session does (WAL, foreign keys, functions
// registered by the caller). Answers the SQLite code.
int openSqlite(const std::string& path, bool create, sqlite3** out);
// Opens a database for reading only, for a connection that only reads from a directory
// it cannot write: no WAL switch, no files made beside it.
int openSqliteReadOnly(const std::string& path, sqlite3** out);

// Creates the database file with its catalog and records it in sysmaster.
IxError dbCreate(const ServerInfo& s, const std::string& db, int logMode, const std::string& owner);
// Removes the file and its sysmaster row.
IxError dbDrop(const ServerInfo& s, const std::string& db);
// Makes sure sysmaster.db exists.
IxError sysmasterEnsure(const ServerInfo& s);

// Sessions across every process of a server. A registered session has a number no other
// session of the server has had, and a row in sysmaster:syssessions while it lives. A
// killed process ends no session, so a live session also holds a lock on its number in
// the server's sessions.lck, which the kernel drops with the process: registering a
// session first removes the rows of sessions whose lock no one holds any more.
// Answers the new session's number, or 0 when the server cannot register one (a
// directory this process cannot write); the caller then numbers the session itself.
int64_t sessionRegister(const ServerInfo& s, const std::string& user);
// Removes a registered session's row and drops its lock. Only the process that
// registered a number ends it (a forked child's copy of a session is not that session).
void sessionUnregister(const ServerInfo& s, int64_t sid);

}  // namespace ixr
