// ixr_db.h -- small owners over the SQLite C API for the embedded server's own
// bookkeeping statements (catalog reads and writes, transaction control).
// Threading: a statement belongs to the connection it was prepared on.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ixr {

// A prepared statement, finalised with its owner. Bind indexes start at 1, column
// indexes at 0; step answers the SQLite code (SQLITE_ROW, SQLITE_DONE or an error).
class Sql {
 public:
  Sql(sqlite3* db, std::string_view sql) {
    rc_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &st_, nullptr);
  }
  ~Sql() { sqlite3_finalize(st_); }
  Sql(const Sql&) = delete;
  Sql& operator=(const Sql&) = delete;

  int prepared() const { return rc_; }
  Sql& bind(int i, int64_t v) {
    sqlite3_bind_int64(st_, i, v);
    return *this;
  }
  Sql& bind(int i, std::string_view v) {
    sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Sql& bind(int i, const char* v) { return bind(i, std::string_view(v)); }
  Sql& bind(int i, const std::string& v) { return bind(i, std::string_view(v)); }
  Sql& bindNull(int i) {
    sqlite3_bind_null(st_, i);
    return *this;
  }
  int step() { return st_ ? sqlite3_step(st_) : rc_; }
  void reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
  }
  int64_t i64(int c) const { return sqlite3_column_int64(st_, c); }
  std::string str(int c) const {
    const unsigned char* p = sqlite3_column_text(st_, c);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<size_t>(sqlite3_column_bytes(st_, c)))
             : std::string();
  }
  bool isNull(int c) const { return sqlite3_column_type(st_, c) == SQLITE_NULL; }
  // Runs a statement that returns no rows; answers SQLITE_OK or the error.
  int run() {
    int rc = step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
  }
  sqlite3_stmt* get() const { return st_; }

 private:
  sqlite3_stmt* st_ = nullptr;
  int rc_ = SQLITE_OK;
};

inline int execSql(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

// "name" with embedded quotes doubled.
inline std::string quoteId(std::string_view name) {
  std::string s = "\"";
  for (char c : name) {
    if (c == '"') s.push_back('"');
    s.push_back(c);
  }
  s.push_back('"');
  return s;
}

// 'text' with embedded quotes doubled.
inline std::string quoteStr(std::string_view text) {
  std::string s = "'";
  for (char c : text) {
    if (c == '\'') s.push_back('\'');
    s.push_back(c);
  }
  s.push_back('\'');
  return s;
}

}  // namespace ixr
