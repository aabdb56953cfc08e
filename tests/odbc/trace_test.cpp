// trace_test.cpp -- trace file names, the trace file itself, and what never
// reaches it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_backend.h"
#include "odbc/startup.h"
#include "odbc/trace.h"
#include "util/log.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(TraceName, DollarMacros) {
  const char* oldHome = getenv("HOME");
  const std::string savedHome = oldHome != nullptr ? oldHome : "";
  setenv("HOME", "/home/tracer", 1);
  const std::string pid = std::to_string(getpid());
  const struct {
    const char* name;
    const char* suffix;
    std::string expected;
  } cases[] = {
      {"trace.log", "", "trace.log"},
      {"a$$b", "", "a$b"},
      {"x$Xy", "", "xy"},
      {"end$", "", "end"},
      {"t$P.log", "-xa", "t" + pid + ".log-xa"},
      {"t$p", "", "t" + pid},
      {"$Hkes.log", "", "/home/tracer/kes.log"},
      {"$hkes", "-tp", "/home/tracer/kes-tp"},
  };
  for (const auto& c : cases) EXPECT_EQ(TraceExpandName(c.name, c.suffix), c.expected) << c.name;
  std::string t = TraceExpandName("$T", "");
  ASSERT_EQ(t.size(), 15u) << t;
  EXPECT_EQ(t[8], '-');
  EXPECT_EQ(t.find_first_not_of("0123456789-"), std::string::npos);
  setenv("HOME", savedHome.c_str(), 1);
}

TEST(TraceName, RegistryValueWhenTheVariableIsUnset) {
  char root[512];
  GetSetupRegistry(root, sizeof root);
  char path[] = "/tmp/kes_registry_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string ini =
      std::string("[HKEY_LOCAL_MACHINE\\") + root + "\\ODBC]\nDebugFile=/tmp/from-registry$P\n";
  ASSERT_EQ(write(fd, ini.data(), ini.size()), static_cast<ssize_t>(ini.size()));
  close(fd);
  setenv("KES_REGISTRY", path, 1);
  unsetenv("KES_DEBUGFILE");
  EXPECT_EQ(TraceConfiguredName(), "/tmp/from-registry$P");
  setenv("KES_DEBUGFILE", "/tmp/from-variable", 1);
  EXPECT_EQ(TraceConfiguredName(), "/tmp/from-variable");
  unsetenv("KES_DEBUGFILE");
  unsetenv("KES_REGISTRY");
  unlink(path);
}

class TraceFileTest : public CoreTest {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/kes_trace_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    setenv("KES_DEBUGFILE", (dir_ + "/odbc$P.trc").c_str(), 1);
    path_ = dir_ + "/odbc" + std::to_string(getpid()) + ".trc";
    CoreTest::SetUp();
    TraceOpen(TRACE_ODBC);
    OpenLogSinks();
  }
  void TearDown() override {
    CloseLogSinks();
    TraceClose(TRACE_ODBC);
    unsetenv("KES_DEBUGFILE");
    CoreTest::TearDown();
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_, path_;
};

TEST_F(TraceFileTest, PrivateFileWithBannersAndCalls) {
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  SQLHENV env = NewEnv();
  SQLHDBC dbc = Connected(env, "DSN=;UID=tracer;PWD=s3cr3t;DATABASE=d");
  SQLDisconnect(dbc);
  SQLConnect(dbc, (SQLCHAR*)"sales", SQL_NTS, (SQLCHAR*)"u", SQL_NTS, (SQLCHAR*)"pw;x", SQL_NTS);
  log_printf(LOG_WARNING, __FILE__, __LINE__, "agent says %s", "hello");
  TraceClose(TRACE_ODBC);

  std::string text = ReadFile(path_);
  EXPECT_EQ(text.rfind("** Kestrane ODBC Trace file for ", 0), 0u) << text;
  EXPECT_NE(text.find("** started on "), std::string::npos);
  EXPECT_NE(text.find("] SQLAllocHandle\nhandleType=1\n"), std::string::npos);
  EXPECT_NE(text.find("] SQLDriverConnect hDbc="), std::string::npos);
  EXPECT_NE(text.find("] SQLDriverConnect: returning SQL_SUCCESS\n"), std::string::npos);
  EXPECT_NE(text.find("key=[UID] data=[tracer] supplied=1"), std::string::npos);
  EXPECT_NE(text.find("agent says hello"), std::string::npos);
  EXPECT_NE(text.find("\n** finished on "), std::string::npos);
  EXPECT_NE(text.find("** normal end **\n"), std::string::npos);
  EXPECT_EQ(text.find("s3cr3t"), std::string::npos);
  EXPECT_EQ(text.find("pw;x"), std::string::npos);
}

TEST_F(TraceFileTest, LinesFromManyThreadsStayWhole) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::string body(300, static_cast<char>('a' + t));
      for (int i = 0; i < 200; ++i) TraceODBC("<%s>", body.c_str());
    });
  }
  for (auto& th : threads) th.join();
  TraceClose(TRACE_ODBC);
  std::istringstream in(ReadFile(path_));
  std::string line;
  int whole = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] != '<') continue;
    ASSERT_EQ(line.size(), 302u);
    EXPECT_EQ(line.find_first_not_of(line[1], 1), 301u);
    ++whole;
  }
  EXPECT_EQ(whole, 800);
}

TEST(TraceOpen, UnwritableLocationLeavesTracingOff) {
  setenv("KES_DEBUGFILE", "/nonexistent-dir/sub/trace.log", 1);
  TraceOpen(TRACE_ODBC);
  EXPECT_FALSE(TraceIsOpen(TRACE_ODBC));
  EXPECT_EQ(TraceLevel.load(), 0);
  unsetenv("KES_DEBUGFILE");
  TraceOpen(TRACE_ODBC);
  EXPECT_FALSE(TraceIsOpen(TRACE_ODBC));
}

// The trace path is not trusted: a link planted there is not followed, a file that
// is no regular file of this user is left alone, and an existing file of this user
// is emptied and made private.
TEST(TraceOpen, OnlyAPrivateRegularFileOfThisUser) {
  char dir[] = "/tmp/kes_trace_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string d = dir, path = d + "/t.trc", target = d + "/victim";
  auto put = [](const std::string& p, const char* text, mode_t mode) {
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text, strlen(text)), static_cast<ssize_t>(strlen(text)));
    fchmod(fd, mode);
    close(fd);
  };
  setenv("KES_DEBUGFILE", path.c_str(), 1);

  put(target, "precious", 0644);
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  TraceOpen(TRACE_ODBC);
  EXPECT_FALSE(TraceIsOpen(TRACE_ODBC));
  EXPECT_EQ(ReadFile(target), "precious");
  unlink(path.c_str());

  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  TraceOpen(TRACE_ODBC);
  EXPECT_FALSE(TraceIsOpen(TRACE_ODBC));
  unlink(path.c_str());

  if (geteuid() == 0) {
    put(path, "theirs", 0644);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    TraceOpen(TRACE_ODBC);
    EXPECT_FALSE(TraceIsOpen(TRACE_ODBC));
    EXPECT_EQ(ReadFile(path), "theirs");
    unlink(path.c_str());
  }

  put(path, "old text of a readable file", 0644);
  TraceOpen(TRACE_ODBC);
  EXPECT_TRUE(TraceIsOpen(TRACE_ODBC));
  TraceClose(TRACE_ODBC);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(path).find("old text"), std::string::npos);

  unsetenv("KES_DEBUGFILE");
  unlink(path.c_str());
  unlink(target.c_str());
  rmdir(dir);
}

}  // namespace
