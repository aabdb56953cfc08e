// inf_error_test.cpp -- the mapping of Informix codes onto driver error codes,
// and the error lists of the agent's records.

#include "drv_inf/inf_error.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "drv/errtab.h"
#include "platform/informix/ixr_api.h"

namespace {

TEST(InfCodeToDrvCode, MapsListedCodesAndTheLowHalfForSqlState) {
  struct Case {
    int32_t code;
    int32_t dflt;
    int32_t drv;
    const char* state;  // of an error entry, chosen by the code's low 16 bits
  };
  const Case cases[] = {
      {0, ERR_GENERAL, 0, "S1000"},
      {-908, ERR_GENERAL, ERR_CONNECT, "08001"},
      {-25588, ERR_GENERAL, ERR_CONNECT, "08001"},
      {-25580, ERR_GENERAL, ERR_COMM_LINK, "08S01"},
      {-1262, ERR_SYNTAX, ERR_DATE_OVERFLOW, "22008"},
      {-217, ERR_GENERAL, ERR_COLUMN_NOT_FOUND, "42S22"},
      {-206, ERR_GENERAL, ERR_TABLE_NOT_FOUND, "42S02"},
      {-201, ERR_GENERAL, ERR_SYNTAX, "37000"},
      {-25560, ERR_GENERAL, ERR_CONNECT, "08001"},
      // Constraints: keys, references, NOT NULL, checks.
      {-100, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-239, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-268, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-391, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-530, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-691, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-692, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      {-703, ERR_SYNTAX, ERR_INTEGRITY, "23000"},
      // Values: not a number, out of range, division by zero.
      {-1213, ERR_SYNTAX, ERR_CAST_CHAR, "22018"},
      {-1214, ERR_SYNTAX, ERR_NUMERIC_RANGE, "22003"},
      {-1215, ERR_SYNTAX, ERR_NUMERIC_RANGE, "22003"},
      {-1226, ERR_SYNTAX, ERR_NUMERIC_RANGE, "22003"},
      {-1202, ERR_SYNTAX, ERR_DIVISION_BY_ZERO, "22012"},
      // Locks: a conflict or deadlock may be retried; a lock wait ran out.
      {-107, ERR_GENERAL, ERR_SERIALIZATION, "40001"},
      {-143, ERR_GENERAL, ERR_SERIALIZATION, "40001"},
      {-154, ERR_GENERAL, ERR_TIMEOUT, "S1T00"},
      // Logins the server refused: a user, a password, an untrusted client.
      {-951, ERR_GENERAL, ERR_AUTHORIZATION, "28000"},
      {-952, ERR_GENERAL, ERR_AUTHORIZATION, "28000"},
      {-956, ERR_GENERAL, ERR_AUTHORIZATION, "28000"},
      {-271, ERR_SYNTAX, ERR_SYNTAX, "S1000"},
      {-65742, ERR_GENERAL, ERR_GENERAL, "42S02"},  // low half reads -206
      {-40000, ERR_GENERAL, ERR_GENERAL, "S1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(InfCodeToDrvCode(c.code, c.dflt), c.drv);
    if (c.code == 0) continue;
    InfError* e = InfErrorNew(c.code);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->sqlstate, c.state);
    EXPECT_EQ(e->native, c.code);
    std::string suffix = " (" + std::to_string(c.code) + ")";
    std::string_view text(e->text);
    EXPECT_TRUE(text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix)
        << text;
    delete e;
  }
}

// A statement code that only says what failed takes its class from the ISAM
// code that says why; a code with a class of its own keeps it.
TEST(ErrorList, StatementCodeTakesTheClassOfItsIsamCause) {
  const struct {
    int32_t code, isam;
    const char* first;
    const char* second;
  } cases[] = {
      {-271, -107, "40001", "40001"},
      {-346, -154, "S1T00", "S1T00"},
      {-268, -100, "23000", "23000"},
      {-206, -111, "42S02", "S1000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    IxrCommArea* ca = ixr_sqlca();
    ca->sqlcode = c.code;
    ca->sqlerrd[1] = c.isam;
    InfErrorList list;
    ErrListAddSqlca(&list);
    ASSERT_NE(list.head, nullptr);
    ASSERT_NE(list.head->next, nullptr);
    EXPECT_STREQ(list.head->sqlstate, c.first);
    EXPECT_EQ(list.head->next->native, c.isam);
    EXPECT_STREQ(list.head->next->sqlstate, c.second);
    ErrListClear(&list);
  }
  ixr_sqlca()->sqlcode = 0;
  ixr_sqlca()->sqlerrd[1] = 0;
}

// A connection refused on another thread tells the application what to do.
TEST(ErrorList, ConnectionInUseNamesTheKeyword) {
  InfError* e = InfErrorNew(-1801);
  ASSERT_NE(e, nullptr);
  EXPECT_NE(std::string_view(e->text).find("FORCEDORMANT=1"), std::string_view::npos) << e->text;
  delete e;
}

TEST(ErrorList, KeepsOnlyTheLatestFailure) {
  InfErrorList list;
  ErrListSetCode(&list, ERR_TXN_STATE);
  ErrListAddInformix(&list, -206);
  ASSERT_NE(list.head, nullptr);
  EXPECT_EQ(list.head->native, -206);
  EXPECT_EQ(list.head->next, nullptr);
  ErrListSetCode(&list, 999);
  EXPECT_STREQ(list.head->sqlstate, "S1000");
  EXPECT_EQ(list.head->native, 0);
  ErrListClear(&list);
  EXPECT_EQ(list.head, nullptr);
}

}  // namespace
