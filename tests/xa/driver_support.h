#pragma once
// driver_support.h -- the whole driver in one test process: the core started
// with the agent bound under the cursor layer and the XA proxy (as the driver
// library binds it), the core's own ODBC functions, and a private odbc.ini
// whose data sources xa1 and xa2 reach the logged databases one@xa_one and
// two@xa_two, each with a table t (a integer, b varchar(20)); xa_long reaches
// one@xa_one with an XaInfo value too long for an XA open string.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

// The driver's file as odbcinst.ini names it for the data sources.
inline constexpr char kXaDriverFile[] = "/opt/Kestrane/libkesdrvw.so";

class DriverTest : public ::testing::Test {
 public:
  static void SetUpTestSuite();

 protected:
  void SetUp() override;
  void TearDown() override;

  // A connection of the core through a connection string; null on failure.
  SQLHDBC connect(const char* connStr);
  void disconnect(SQLHDBC dbc);
  // Runs one statement that returns no rows on a connection.
  SQLRETURN exec(SQLHDBC dbc, const std::string& sql);
  // Rows of t in a data source, read through a connection of its own.
  int rows(const char* dsn, const std::string& where = "");
  static std::string State(SQLSMALLINT type, SQLHANDLE h);

  SQLHENV env_ = nullptr;
};
