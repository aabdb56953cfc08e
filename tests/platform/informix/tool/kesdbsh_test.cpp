// The kesdbsh shell: creates a server and a database, runs a script from a file and
// from standard input, prints rows, and reports errors with a failing exit status.
#include "tests/platform/informix/ixr_fixture.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>

namespace ixrtest {
namespace {

class ToolTest : public IxrTest {
 protected:
  // Runs the tool with args (and stdin text); answers its output, status in *rc.
  std::string tool(const std::string& args, const std::string& input, int* rc) {
    std::string in = root_ + "/stdin.sql";
    std::ofstream(in) << input;
    std::string cmd = std::string(KESDBSH_PATH) + " " + args + " < " + in + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    while (p && std::fgets(buf, sizeof buf, p)) out += buf;
    int st = p ? pclose(p) : -1;
    *rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
  }
};

TEST_F(ToolTest, CreatesADatabaseAndRunsAScript) {
  int rc = 0;
  // What the shell makes is its owner's alone, whatever the umask it runs under.
  const mode_t was = umask(0);
  tool("--create-server shop --se -e \"create database sales with log\"", "", &rc);
  umask(was);
  ASSERT_EQ(rc, 0);
  for (const char* path : {"", "/sales.db", "/sysmaster.db"}) {
    struct stat st {};
    ASSERT_EQ(stat((root_ + "/shop" + path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0777, *path != '\0' ? 0600u : 0700u) << path;
  }
  std::string script = root_ + "/load.sql";
  std::ofstream(script)
      << "create table item (id serial, name varchar(20), price money(8,2));\n"
         "insert into item (name, price) values ('tea; green', 2.5); -- ';' in a literal\n"
         "create procedure p() returning integer;\n  return 1;\nend procedure;\n"
         "insert into item (name, price) values ('cake', 3);\n";
  EXPECT_EQ(tool("-s shop -d sales " + script, "", &rc), "");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(
      tool("-s shop -d sales",
           "select id, name, price from item order by id;\nselect count(*) from sysprocedures;",
           &rc),
      "id|name|price\n1|tea; green|2.50\n2|cake|3.00\n(count(*))\n1\n");
  EXPECT_EQ(rc, 0);
  std::string err = tool("-q -s shop -d sales -e \"select * from nosuch\"", "", &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("error -206"), std::string::npos) << err;
  // A failing statement that is not a SELECT reports its own code too.
  err = tool("-q -s shop -d sales -e \"insert into nosuch values (1)\"", "", &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("error -206"), std::string::npos) << err;
}

}  // namespace
}  // namespace ixrtest
