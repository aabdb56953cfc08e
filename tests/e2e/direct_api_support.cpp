// direct_api_support.cpp -- the driver library's functions found with dlsym.

#include "direct_api.h"

#include <dlfcn.h>

#include <vector>

namespace {

// The texts of these tests are ASCII: one UTF-16 unit per byte, NULs included.
std::vector<SQLWCHAR> Units(const std::string& s) {
  std::vector<SQLWCHAR> w(s.begin(), s.end());
  w.push_back(0);
  return w;
}

std::string Narrow(const SQLWCHAR* w, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && w[i] != 0; ++i) s += static_cast<char>(w[i]);
  return s;
}

}  // namespace

DirectApi::DirectApi(const DmBuild& build) : wide_(build.name[0] == 'w') {
  lib_ = dlopen(wide_ ? KES_DRIVER_W : KES_DRIVER_A, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(lib_, nullptr) << dlerror();
}

void* DirectApi::sym(const char* name) const {
  void* f = lib_ != nullptr ? dlsym(lib_, name) : nullptr;
  EXPECT_NE(f, nullptr) << name;
  return f;
}

void* DirectApi::text_sym(const char* name) const {
  return sym(wide_ ? (std::string(name) + "W").c_str() : name);
}

#define KES_CALL(name, type) reinterpret_cast<type>(sym(#name))

SQLRETURN DirectApi::AllocHandle(SQLSMALLINT type, SQLHANDLE parent, SQLHANDLE* out) const {
  return KES_CALL(SQLAllocHandle, SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*))(type, parent,
                                                                                    out);
}
SQLRETURN DirectApi::FreeHandle(SQLSMALLINT type, SQLHANDLE h) const {
  return KES_CALL(SQLFreeHandle, SQLRETURN (*)(SQLSMALLINT, SQLHANDLE))(type, h);
}
SQLRETURN DirectApi::FreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) const {
  return KES_CALL(SQLFreeStmt, SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT))(stmt, option);
}
SQLRETURN DirectApi::Fetch(SQLHSTMT stmt) const {
  return KES_CALL(SQLFetch, SQLRETURN (*)(SQLHSTMT))(stmt);
}
SQLRETURN DirectApi::Cancel(SQLHSTMT stmt) const {
  return KES_CALL(SQLCancel, SQLRETURN (*)(SQLHSTMT))(stmt);
}
SQLRETURN DirectApi::GetInteger(SQLHSTMT stmt, SQLUSMALLINT column, SQLINTEGER* value) const {
  using Fn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLLEN ind = 0;
  return reinterpret_cast<Fn>(sym("SQLGetData"))(stmt, column, SQL_C_SLONG, value, 0, &ind);
}
SQLRETURN DirectApi::Disconnect(SQLHDBC dbc) const {
  return KES_CALL(SQLDisconnect, SQLRETURN (*)(SQLHDBC))(dbc);
}
SQLRETURN DirectApi::SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value) const {
  using Fn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  return reinterpret_cast<Fn>(text_sym("SQLSetStmtAttr"))(stmt, attr, value, 0);
}
SQLRETURN DirectApi::GetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value) const {
  using Fn = SQLRETURN (*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
  return reinterpret_cast<Fn>(text_sym("SQLGetStmtAttr"))(stmt, attr, value, 0, nullptr);
}

SQLHENV DirectApi::NewEnv() const {
  SQLHENV env = nullptr;
  EXPECT_EQ(AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
  using Fn = SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  EXPECT_EQ(reinterpret_cast<Fn>(sym("SQLSetEnvAttr"))(env, SQL_ATTR_ODBC_VERSION,
                                                       (SQLPOINTER)SQL_OV_ODBC3, 0),
            SQL_SUCCESS);
  return env;
}

SQLHDBC DirectApi::Connect(SQLHENV env, const std::string& in) const {
  SQLHDBC dbc = nullptr;
  if (env == nullptr || AllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) {
    ADD_FAILURE() << "no connection handle";
    return nullptr;
  }
  if (!SQL_SUCCEEDED(DriverConnect(dbc, in))) {
    ADD_FAILURE() << in << ": " << DiagRec(SQL_HANDLE_DBC, dbc);
    FreeHandle(SQL_HANDLE_DBC, dbc);
    return nullptr;
  }
  return dbc;
}

void DirectApi::Release(SQLHENV env, SQLHDBC dbc) const {
  EXPECT_EQ(Disconnect(dbc), SQL_SUCCESS) << DiagRec(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
  EXPECT_EQ(FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

SQLRETURN DirectApi::DriverConnect(SQLHDBC dbc, const std::string& in, int length) const {
  if (wide_) {
    auto w = Units(in);
    using Fn = SQLRETURN (*)(SQLHDBC, SQLHWND, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                             SQLSMALLINT*, SQLUSMALLINT);
    return reinterpret_cast<Fn>(text_sym("SQLDriverConnect"))(
        dbc, nullptr, w.data(), static_cast<SQLSMALLINT>(length), nullptr, 0, nullptr,
        SQL_DRIVER_NOPROMPT);
  }
  using Fn = SQLRETURN (*)(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                           SQLSMALLINT*, SQLUSMALLINT);
  return reinterpret_cast<Fn>(text_sym("SQLDriverConnect"))(
      dbc, nullptr, (SQLCHAR*)in.c_str(), static_cast<SQLSMALLINT>(length), nullptr, 0, nullptr,
      SQL_DRIVER_NOPROMPT);
}

SQLRETURN DirectApi::Connect3(SQLHDBC dbc, const std::string& dsn, int length) const {
  if (wide_) {
    auto w = Units(dsn);
    using Fn = SQLRETURN (*)(SQLHDBC, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                             SQLSMALLINT);
    return reinterpret_cast<Fn>(text_sym("SQLConnect"))(dbc, w.data(),
                                                         static_cast<SQLSMALLINT>(length), nullptr,
                                                         0, nullptr, 0);
  }
  using Fn = SQLRETURN (*)(SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                           SQLSMALLINT);
  return reinterpret_cast<Fn>(text_sym("SQLConnect"))(dbc, (SQLCHAR*)dsn.c_str(),
                                                       static_cast<SQLSMALLINT>(length), nullptr,
                                                       0, nullptr, 0);
}

namespace {

template <typename Len>
SQLRETURN StmtText(void* f, bool wide, SQLHANDLE h, const std::string& text, int length) {
  if (wide) {
    auto w = Units(text);
    return reinterpret_cast<SQLRETURN (*)(SQLHANDLE, SQLWCHAR*, Len)>(f)(h, w.data(),
                                                                         static_cast<Len>(length));
  }
  return reinterpret_cast<SQLRETURN (*)(SQLHANDLE, SQLCHAR*, Len)>(f)(h, (SQLCHAR*)text.c_str(),
                                                                      static_cast<Len>(length));
}

}  // namespace

SQLRETURN DirectApi::ExecDirect(SQLHSTMT stmt, const std::string& sql, int length) const {
  return StmtText<SQLINTEGER>(text_sym("SQLExecDirect"), wide_, stmt, sql, length);
}
SQLRETURN DirectApi::Prepare(SQLHSTMT stmt, const std::string& sql, int length) const {
  return StmtText<SQLINTEGER>(text_sym("SQLPrepare"), wide_, stmt, sql, length);
}
SQLRETURN DirectApi::SetCursorName(SQLHSTMT stmt, const std::string& name, int length) const {
  return StmtText<SQLSMALLINT>(text_sym("SQLSetCursorName"), wide_, stmt, name, length);
}

SQLRETURN DirectApi::NativeSql(SQLHDBC dbc, const std::string& sql, int length,
                               std::string* out) const {
  SQLINTEGER outLen = 0;
  if (wide_) {
    auto w = Units(sql);
    SQLWCHAR buf[512] = {};
    using Fn = SQLRETURN (*)(SQLHDBC, SQLWCHAR*, SQLINTEGER, SQLWCHAR*, SQLINTEGER, SQLINTEGER*);
    SQLRETURN rc =
        reinterpret_cast<Fn>(text_sym("SQLNativeSql"))(dbc, w.data(), length, buf, 512, &outLen);
    *out = Narrow(buf, 512);
    return rc;
  }
  SQLCHAR buf[512] = {};
  using Fn = SQLRETURN (*)(SQLHDBC, SQLCHAR*, SQLINTEGER, SQLCHAR*, SQLINTEGER, SQLINTEGER*);
  SQLRETURN rc = reinterpret_cast<Fn>(text_sym("SQLNativeSql"))(dbc, (SQLCHAR*)sql.c_str(), length,
                                                                buf, 512, &outLen);
  *out = reinterpret_cast<const char*>(buf);
  return rc;
}

namespace {

// A catalog function of four names, the third one given.
SQLRETURN Catalog4(void* f, bool wide, SQLHSTMT stmt, const std::string& table, int length) {
  const auto n = static_cast<SQLSMALLINT>(length);
  if (wide) {
    auto w = Units(table);
    using Fn = SQLRETURN (*)(SQLHSTMT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                             SQLSMALLINT, SQLWCHAR*, SQLSMALLINT);
    return reinterpret_cast<Fn>(f)(stmt, nullptr, 0, nullptr, 0, w.data(), n, nullptr, 0);
  }
  using Fn = SQLRETURN (*)(SQLHSTMT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                           SQLSMALLINT, SQLCHAR*, SQLSMALLINT);
  return reinterpret_cast<Fn>(f)(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)table.c_str(), n, nullptr,
                                 0);
}

}  // namespace

SQLRETURN DirectApi::Tables(SQLHSTMT stmt, const std::string& table, int length) const {
  return Catalog4(text_sym("SQLTables"), wide_, stmt, table, length);
}
SQLRETURN DirectApi::Columns(SQLHSTMT stmt, const std::string& table, int length) const {
  return Catalog4(text_sym("SQLColumns"), wide_, stmt, table, length);
}

std::string DirectApi::DiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT n) const {
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (wide_) {
    SQLWCHAR state[6] = {}, text[512] = {};
    using Fn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*,
                             SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);
    SQLRETURN rc =
        reinterpret_cast<Fn>(text_sym("SQLGetDiagRec"))(type, h, n, state, &native, text, 512, &len);
    if (!SQL_SUCCEEDED(rc)) return "NO_DATA";
    return Narrow(state, 6) + " " + Narrow(text, 512);
  }
  SQLCHAR state[6] = {}, text[512] = {};
  using Fn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*,
                           SQLSMALLINT, SQLSMALLINT*);
  SQLRETURN rc =
      reinterpret_cast<Fn>(text_sym("SQLGetDiagRec"))(type, h, n, state, &native, text, 512, &len);
  if (!SQL_SUCCEEDED(rc)) return "NO_DATA";
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

std::string DirectApi::State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT n) const {
  std::string rec = DiagRec(type, h, n);
  return rec.substr(0, rec.find(' '));
}

std::string DirectApi::Error(SQLHSTMT stmt) const {
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (wide_) {
    SQLWCHAR state[6] = {}, text[512] = {};
    using Fn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*,
                             SQLSMALLINT, SQLSMALLINT*);
    SQLRETURN rc = reinterpret_cast<Fn>(text_sym("SQLError"))(nullptr, nullptr, stmt, state,
                                                               &native, text, 512, &len);
    return SQL_SUCCEEDED(rc) ? Narrow(state, 6) : "NO_DATA";
  }
  SQLCHAR state[6] = {}, text[512] = {};
  using Fn = SQLRETURN (*)(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT,
                           SQLSMALLINT*);
  SQLRETURN rc = reinterpret_cast<Fn>(text_sym("SQLError"))(nullptr, nullptr, stmt, state, &native,
                                                             text, 512, &len);
  return SQL_SUCCEEDED(rc) ? std::string(reinterpret_cast<char*>(state)) : "NO_DATA";
}
