#pragma once
// dm_fixture.h -- a private ODBC configuration naming the built driver
// libraries, so that the Driver Manager loads them and nothing else.
// Two data sources: "kes_w" on the Unicode build, "kes_a" on the ANSI build.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <ostream>
#include <string>

struct DmBuild {
  const char* name;  // "w" or "a"
  const char* dsn;
};
// Names the build in test listings (a byte dump there changes with every run).
inline void PrintTo(const DmBuild& b, std::ostream* os) { *os << b.name; }

class DmTest : public ::testing::TestWithParam<DmBuild> {
 public:
  static void SetUpTestSuite();
  // An online server of the embedded runtime with one logged database, made
  // once per process in the private servers directory.
  static void MakeDatabase(const char* server, const char* database);

 protected:
  void SetUp() override;
  void TearDown() override;
  // Diagnostic record n of a handle: state and message.
  static std::string State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1);
  static std::string Message(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1);

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};
