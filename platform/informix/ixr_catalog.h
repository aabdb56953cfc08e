// ixr_catalog.h -- the Informix system catalog of the embedded server. Every database
// file holds the catalog as real tables (systables, syscolumns, sysindexes, ...) that
// the DDL keeps; this module creates them with a new database and reads table
// descriptions from them, caching per session. Temporary tables live only in their
// session and are described here from the session's own registry.
// Threading: a Catalog belongs to one session.
#pragma once

#include "platform/informix/ixr_ast.h"
#include "platform/informix/ixr_errors.h"
#include "platform/informix/ixr_types.h"

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ixr {

struct ColumnDef {
  std::string name;
  IxType type;
  int colno = 0;
};

struct TableDef {
  int tabid = 0;
  std::string name;
  std::string owner;
  char tabtype = 'T';           // systables.tabtype: T table, V view; Q derived table (translator)
  std::string schema = "main";  // SQLite schema: main, temp or sysmaster
  std::vector<ColumnDef> cols;
  int serialCol = -1;
  int serialStart = 1;
  bool temp = false;

  int find(const std::string& col) const;
  // The table as SQLite SQL names it.
  std::string sqlName() const;
};

using TableRefPtr = std::shared_ptr<const TableDef>;

// Creates the catalog tables in a new, empty database file.
IxError catalogCreate(sqlite3* db, const std::string& dbname, const std::string& owner,
                      int logMode);
// Creates the server's sysmaster database (the lists of databases and sessions).
IxError catalogCreateSysmaster(sqlite3* db);
// Adds the sysmaster tables an older sysmaster.db lacks. Runs inside the caller's write
// transaction.
IxError catalogUpgradeSysmaster(sqlite3* db);
// Reads the database kind recorded at creation; -1 when the file has no catalog.
int catalogLogMode(sqlite3* db);

// Next value of a serial counter kept for the catalog's own SERIAL columns.
int64_t catalogNextId(sqlite3* db, const char* table);

// Builds the SQLite CREATE TABLE column list for the columns (affinity, collation,
// NOT NULL); the caller adds constraints.
std::string sqliteColumn(const ColumnDef& c, const std::string& defaultSql);

class Catalog {
 public:
  explicit Catalog(sqlite3* db) : db_(db) {}
  void setDb(sqlite3* db) {
    db_ = db;
    invalidate();
  }
  void invalidate() { cache_.clear(); }
  // Keeps the cached descriptions only while the database's schema and data versions are
  // the ones they were read under: catalog rows change with DDL, or with another
  // connection's commit (a synonym dropped without SQLite DDL). A version of -1 keeps
  // nothing.
  void keepWhile(int64_t schema, int64_t data) {
    if (schema != schema_ || data != data_ || data < 0) cache_.clear();
    schema_ = schema;
    data_ = data;
  }
  // The table, view or synonym target named by tn; IXR_E_NO_TABLE when there is none.
  IxError lookup(const TableName& tn, TableRefPtr& out);
  IxError lookupByName(const std::string& name, TableRefPtr& out);
  IxError lookupById(int tabid, const std::string& schema, TableRefPtr& out);

  void addTemp(std::shared_ptr<TableDef> t) { temps_[t->name] = std::move(t); }
  void dropTemp(const std::string& name) { temps_.erase(name); }
  const TableDef* temp(const std::string& name) const {
    auto it = temps_.find(name);
    return it == temps_.end() ? nullptr : it->second.get();
  }
  void clearTemps() { temps_.clear(); }
  const std::map<std::string, std::shared_ptr<TableDef>>& temps() const { return temps_; }
  // The server's sysmaster file (a URI for a connection that only reads), attached when
  // a statement first names one of its tables: most sessions never do, and attaching it
  // reads its schema.
  void setSysmaster(std::string path) { sysmasterPath_ = std::move(path); }
  void setDbName(const std::string& n) { dbname_ = n; }

 private:
  IxError load(const std::string& schema, bool byId, const std::string& key, int64_t id,
               TableRefPtr& out);
  bool attachSysmaster();

  sqlite3* db_;
  std::string sysmasterPath_;
  bool sysmaster_ = false;  // attached
  std::string dbname_;
  std::map<std::string, TableRefPtr> cache_;
  int64_t schema_ = -1;
  int64_t data_ = -1;
  std::map<std::string, std::shared_ptr<TableDef>> temps_;
};

}  // namespace ixr
