#pragma once
// stmt_fake.h -- the statement side of the recording back end: prepare and
// execute, result and parameter descriptions with attribute overrides, further
// results, NativeSql, cursor names and the type-information rows. It extends
// the core's fake back end (fake_backend.h) slot for slot.
// StmtTest gives each test a connected ODBC 3 environment and a statement.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "fake_backend.h"

struct Stmt;
struct Desc;

// A column or parameter as the back end describes it.
struct FakeColumn {
  std::string name;
  int32_t sqlType = SQL_CHAR;
  int32_t precision = 0;
  int16_t scale = 0;
  int32_t displaySize = 0;
  uint32_t bindType = DS_CHAR;
  uint32_t octetLength = 0;
  uint32_t flags = SQL_NULLABLE;
  std::string fullName;
  std::string table;
  std::string schema;
  std::string catalog;
};

struct StmtFake {
  std::vector<FakeColumn> columns;  // the result the next describe hands out
  std::vector<FakeColumn> params;
  std::vector<ColAttr> attrs;          // string values are duplicated when handed out
  std::vector<std::string> attrTexts;  // the texts of string-kind attrs, by index
  int32_t prepareCode = 0;
  int32_t describeCode = 0;
  int32_t executeCode = 0;
  std::vector<int32_t> moreResults;                  // DRV_MoreResults answers in turn, then 73
  std::vector<std::vector<FakeColumn>> nextResults;  // descriptions after each further result
  std::string nativeSql;                             // the translation DRV_NativeSql hands out
  int32_t nativeSqlCode = 0;
  std::string cursorName = "SQL_CUR1";
  int32_t cursorNameCode = 0;
  int32_t setCursorNameCode = 0;
  std::map<int16_t, std::vector<std::string>> typeInfo;  // the five text columns by SQL type
  std::string lastPrepared;
  int describeCalls = 0;

  void Reset();
};

StmtFake& SFake();
int32_t StmtFakeBind(DriverRecord* rec);

class StmtTest : public CoreTest {
 protected:
  void SetUp() override;
  // Connects with the capability mask given to the back end.
  void Open(uint32_t capabilities = 0, int version = SQL_OV_ODBC3);
  SQLHSTMT NewStmt();
  static Stmt* StmtOf(SQLHSTMT h);
  static Desc* DescOf(SQLHANDLE h);
  SQLHANDLE DescAttr(SQLHSTMT h, SQLINTEGER attr);

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
};
