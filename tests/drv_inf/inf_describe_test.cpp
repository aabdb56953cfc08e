// A result description asked without the attribute overrides against one asked
// with them, through the cursor layer as the core reaches the agent: the core
// describes a forward-only result without the overrides and asks for them only
// when an attribute is read, later, so both must name the same columns, and the
// overrides must not depend on when they are asked.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/colattr.h"
#include "drv/errtab.h"
#include "scrs/scr_ops.h"

namespace {

std::string Text(const char* s) { return s != nullptr ? std::string("'") + s + "'" : "null"; }

// Every field of a description, one string per column; the array is freed.
std::vector<std::string> Fields(ColumnInfo* cols, uint16_t n) {
  std::vector<std::string> out;
  for (uint16_t i = 0; i < n; ++i) {
    const ColumnInfo& c = cols[i];
    out.push_back(std::string(c.name) + " catalog=" + Text(c.catalog) +
                  " schema=" + Text(c.schema) + " table=" + Text(c.table) +
                  " full=" + Text(c.fullName) + " native=" + std::to_string(c.nativeType) +
                  " sql=" + std::to_string(c.sqlType) + " flags=" + std::to_string(c.flags) +
                  " p=" + std::to_string(c.precision) + " s=" + std::to_string(c.scale) +
                  " d=" + std::to_string(c.displaySize) + " bind=" + std::to_string(c.bindType) +
                  " octets=" + std::to_string(c.octetLength));
  }
  ColumnInfoFree(cols, n);
  return out;
}

// Every override as "column:attribute=value", in order; the array is freed.
std::vector<std::string> Overrides(ColAttr* attrs, int16_t n) {
  std::vector<std::string> out;
  for (int16_t i = 0; i < n; ++i) {
    const ColAttr& a = attrs[i];
    std::string v =
        a.valueKind == COLATTR_STRING ? Text(a.value.strVal) : std::to_string(a.value.intVal);
    out.push_back(std::to_string(a.column) + ":" + std::to_string(a.attrId) + "=" + v);
    ColAttrFreeValue(&attrs[i]);
  }
  std::free(attrs);
  std::sort(out.begin(), out.end());
  return out;
}

class Describing : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    rec_ = DriverRecord{DRV_CAP_THREADSAFE, &INF_Ops};
    (void)SCR_Interpose(&rec_);
  }
  const DriverOps& ops() const { return *rec_.ops; }
  DriverRecord rec_{};
};

TEST_F(Describing, WithoutOverridesTheResultNamesWhatItNamesWithThem) {
  DrvHandle conn = connect();
  ASSERT_EQ(exec(conn, "create table dk (id serial primary key, name varchar(20), grp integer)"),
            0);
  ASSERT_EQ(exec(conn, "insert into dk values (0, 'one', 1)"), 0);
  ASSERT_EQ(exec(conn, "insert into dk values (0, 'two', null)"), 0);
  struct Case {
    DriverPropId attr;  // 0: the statement as written
    const char* sql;
  };
  const Case cases[] = {
      {0, "select name, id + 1 from dk"},
      {DRVP_ATTR_1052, "select x.*, id + 1 from dk x"},
      {DRVP_ATTR_1054, "select name from dk order by id"},
      {DRVP_ATTR_1054, "select d.name, t.b from dk d, t where t.a = d.id"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.attr) + " " + c.sql);
    DrvHandle cur = 0;
    ASSERT_EQ(ops().DRV_AllocCursor(conn, &cur), 0);
    if (c.attr != 0) {
      const int32_t on = 1;
      ASSERT_EQ(ops().DRV_SetOption(cur, c.attr, &on), 0);
    }
    ASSERT_EQ(ops().DRV_Prepare(cur, c.sql), 0);
    ASSERT_EQ(ops().DRV_Execute(cur), 0);
    uint16_t n = 0;
    ColumnInfo* cols = nullptr;
    ASSERT_EQ(ops().DRV_DescribeColumns(cur, &n, &cols), 0);
    const std::vector<std::string> plain = Fields(cols, n);
    int16_t attrCount = 0;
    ColAttr* attrs = nullptr;
    ASSERT_EQ(ops().DRV_ColAttributes(cur, &n, &attrCount, &cols, &attrs), 0);
    EXPECT_EQ(plain, Fields(cols, n));
    const std::vector<std::string> early = Overrides(attrs, attrCount);
    if (c.attr != 0) {
      // Rewritten: every column names the table it comes from.
      for (const std::string& f : plain) EXPECT_NE(f.find("table='"), std::string::npos) << f;
    }
    // Asked after rows were read, the overrides are the same.
    Dataset ds{};
    ASSERT_EQ(ops().DRV_Fetch(cur, 1, &ds), 0);
    DatasetFree(&ds);
    ASSERT_EQ(ops().DRV_ColAttributes(cur, &n, &attrCount, &cols, &attrs), 0);
    EXPECT_EQ(plain, Fields(cols, n));
    EXPECT_EQ(early, Overrides(attrs, attrCount));
    EXPECT_EQ(ops().DRV_EndCursor(cur), 0);
  }
  EXPECT_EQ(exec(conn, "drop table dk"), 0);
}

}  // namespace
