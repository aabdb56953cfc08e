#pragma once
// direct_api.h -- a driver library loaded directly (dlopen), with no Driver Manager
// between the test and the driver: what the Driver Manager would hide (calls on one
// handle from several threads at once, texts of explicit length as the application
// gave them) reaches the driver as it is. The text calls take UTF-8 and go through the
// build's own form: the 8-bit functions of the ANSI build, the W functions of the
// Unicode build.

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "dm_fixture.h"

class DirectApi {
 public:
  // The library of the build ("w" or "a"); failures are test failures.
  explicit DirectApi(const DmBuild& build);

  bool wide() const { return wide_; }

  SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE parent, SQLHANDLE* out) const;
  SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE h) const;
  SQLRETURN FreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) const;
  SQLRETURN Fetch(SQLHSTMT stmt) const;
  SQLRETURN Cancel(SQLHSTMT stmt) const;
  // SQLGetData of a column as a 32-bit integer.
  SQLRETURN GetInteger(SQLHSTMT stmt, SQLUSMALLINT column, SQLINTEGER* value) const;
  SQLRETURN Disconnect(SQLHDBC dbc) const;
  SQLRETURN SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value) const;
  SQLRETURN GetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value) const;
  // An ODBC 3 environment, and a connection of it through the connection string; null
  // (with a test failure) when either fails.
  SQLHENV NewEnv() const;
  SQLHDBC Connect(SQLHENV env, const std::string& in) const;
  // Disconnects and frees what NewEnv and Connect made, expecting each step to succeed.
  void Release(SQLHENV env, SQLHDBC dbc) const;

  // Text calls; `length` is passed as it is (SQL_NTS or a count of bytes in the text,
  // turned into a count of UTF-16 units for the wide form).
  SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& in, int length = SQL_NTS) const;
  SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& sql, int length = SQL_NTS) const;
  SQLRETURN Prepare(SQLHSTMT stmt, const std::string& sql, int length = SQL_NTS) const;
  SQLRETURN NativeSql(SQLHDBC dbc, const std::string& sql, int length, std::string* out) const;
  SQLRETURN SetCursorName(SQLHSTMT stmt, const std::string& name, int length) const;
  SQLRETURN Tables(SQLHSTMT stmt, const std::string& table, int length) const;
  SQLRETURN Columns(SQLHSTMT stmt, const std::string& table, int length) const;
  SQLRETURN Connect3(SQLHDBC dbc, const std::string& dsn, int length) const;

  // Diagnostic record n: "STATE text", or "NO_DATA"; and SQLError's next record.
  std::string DiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT n = 1) const;
  std::string Error(SQLHSTMT stmt) const;
  // Diagnostic record n's state alone, or "NO_DATA".
  std::string State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT n = 1) const;

 private:
  void* sym(const char* name) const;
  // The build's form of a text function: name, or name + "W".
  void* text_sym(const char* name) const;

  void* lib_ = nullptr;
  bool wide_ = false;
};
