#pragma once
// e2e_db.h -- an application's view of a live database: a connection through the
// Driver Manager to a private database of the embedded server, on either driver
// library, with one statement and the diagnostics of a failed call in readable form.

#include <string>

#include "dm_fixture.h"

class DbTest : public DmTest {
 public:
  static void SetUpTestSuite();

 protected:
  void SetUp() override;
  void TearDown() override;

  bool Wide() const { return GetParam().name[0] == 'w'; }
  // Every diagnostic record of a handle: "STATE native text", one per line.
  static std::string Diags(SQLSMALLINT type, SQLHANDLE h);
  // Runs a statement that returns no rows and closes what it left open.
  ::testing::AssertionResult Exec(const std::string& sql);
  // Drops the table when it exists and creates it with the given column list.
  ::testing::AssertionResult Recreate(const std::string& table, const std::string& columns);
  // Runs an INSERT whose one integer marker takes 1..rows, as one parameter array.
  ::testing::AssertionResult InsertIds(const std::string& insert, int rows);

  SQLHSTMT stmt_ = nullptr;
};

// Both driver libraries, named "w" (Unicode) and "a" (ANSI) in the test names.
#define KES_E2E_BUILDS(suite)                                                               \
  INSTANTIATE_TEST_SUITE_P(Builds, suite,                                                   \
                           ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}), \
                           [](const auto& info) { return std::string(info.param.name); })
