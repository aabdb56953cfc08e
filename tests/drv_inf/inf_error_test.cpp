// inf_error_test.cpp -- the mapping of Informix codes onto driver error codes,
// and the error lists of the agent's records.

#include "drv_inf/inf_error.h"

#include <gtest/gtest.h>

#include <string>

#include "drv/errtab.h"

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
      {-100, ERR_SYNTAX, ERR_SYNTAX, "S1000"},
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
