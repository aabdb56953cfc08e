#include "util/log.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::mutex captured_lock;
std::vector<std::string> captured;

// Whole-line match of a POSIX extended regular expression.
bool matches(const std::string& text, const char* pattern) {
  regex_t re;
  if (regcomp(&re, (std::string("^") + pattern + "$").c_str(), REG_EXTENDED | REG_NOSUB) != 0)
    return false;
  bool ok = regexec(&re, text.c_str(), 0, nullptr, 0) == 0;
  regfree(&re);
  return ok;
}

void capture(LogSink*, int, const char* line) {
  std::lock_guard<std::mutex> g(captured_lock);
  captured.emplace_back(line);
}

class Log : public testing::Test {
 protected:
  void TearDown() override {
    for (LogSink* s : sinks) {
      log_close(s);
      free(s);
    }
    captured.clear();
  }
  LogSink* open(int level, uint32_t flags = 0, LogOutputFn out = capture) {
    LogSink* s = log_open_callback(out, nullptr, level, 0xFFFFFFFFu, flags);
    sinks.push_back(s);
    return s;
  }
  std::vector<LogSink*> sinks;
};

const char kDayLine[] =
    "\n\t\t(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    "[0-3][0-9] [0-9]{4}\n";

// The library lives in other people's processes: without a sink it writes
// nothing anywhere, before the first sink as after the last one.
TEST(LogDeathTest, NothingOnStandardErrorWithoutASink) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        log_printf(LOG_ERR, "util/x", 3, "before %d", 5);
        LogSink* s = log_open(LOG_DEBUG, 0xFFFFFFFFu, LOG_F_LEVEL);
        log_close(s);
        free(s);
        log_printf(LOG_ERR, "util/x", 3, "after");
        fputs("END", stderr);
        exit(0);
      },
      testing::ExitedWithCode(0), "^END$");
}

TEST_F(Log, LevelsAreClampedAndFiltered) {
  LogSink* s0 = open(0);
  LogSink* s4 = open(4);
  LogSink* s7 = open(7);
  struct Case {
    int level;
    std::vector<LogSink*> admitted;
  } const cases[] = {
      {-1, {s7, s4, s0}}, {0, {s7, s4, s0}}, {4, {s7, s4}}, {5, {s7}}, {7, {s7}}, {9, {s7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    captured.clear();
    log_printf(c.level, nullptr, 0, "m");
    EXPECT_EQ(captured.size(), c.admitted.size());
  }
  captured.clear();
  log_printf_mask(LOG_DEBUG, nullptr, 0, 0, "every sink");  // mask 0 ignores the levels
  EXPECT_EQ(captured.size(), 3u);
  captured.clear();
  log_set_level(s7, 2);
  log_printf_mask(LOG_ERR, nullptr, 0, 0x2, "x");
  EXPECT_EQ(captured.size(), 1u);  // only s4
}

TEST_F(Log, Prefixes) {
  struct Case {
    uint32_t flags;
    const char* file;
    const char* pattern;
  } const cases[] = {
      {LOG_F_LEVEL, nullptr, "ERROR: msg\n"},
      {LOG_F_TIME, nullptr, "[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} msg\n"},
      {LOG_F_FILELINE, "util/x", "\\(util/x:12\\): msg\n"},
      {LOG_F_FILELINE, nullptr, "msg\n"},
      {LOG_F_LEVEL | LOG_F_FILELINE, "a", "ERROR \\(a:12\\): msg\n"},
      {LOG_F_PROGNAME, nullptr, "\\?: msg\n"},
      {LOG_F_TIME | LOG_F_LEVEL, nullptr,
       "[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} ERROR: msg\n"},
      {0, "a", "msg\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    LogSink* s = open(LOG_DEBUG, c.flags);
    captured.clear();
    log_printf(LOG_ERR, c.file, 12, "msg");
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_TRUE(matches(captured[0], c.pattern)) << captured[0];
    log_close(s);
  }
}

TEST_F(Log, DayLineBeforeTheFirstMessageOfEachDate) {
  LogSink* s = open(LOG_DEBUG, LOG_F_DATE | LOG_F_TIME);
  log_printf(LOG_INFO, nullptr, 0, "one");
  log_printf(LOG_INFO, nullptr, 0, "two");
  s->lastDay = 0;  // as if the date changed since
  log_printf(LOG_INFO, nullptr, 0, "three");
  ASSERT_EQ(captured.size(), 5u);
  const char* day = kDayLine;
  const char* stamped = "[0-9]{2}:[0-9]{2}:[0-9]{2} (one|two|three)\n";
  EXPECT_TRUE(matches(captured[0], day)) << captured[0];
  EXPECT_TRUE(matches(captured[1], stamped)) << captured[1];
  EXPECT_TRUE(matches(captured[2], stamped)) << captured[2];
  EXPECT_TRUE(matches(captured[3], day)) << captured[3];
  EXPECT_TRUE(matches(captured[4], stamped)) << captured[4];
}

TEST_F(Log, FormatDirectives) {
  open(LOG_DEBUG);
  struct Case {
    const char* format;
    const char* file;
    int err;
    const char* line;
  } const cases[] = {
      {"a\nb", nullptr, 0, "a\n"},
      {"%F:%L", "dir/100%s", 0, "dir/100%s:7\n"},  // pasted text is not a format
      {"[%F]", nullptr, 0, "[]\n"},
      {"open: %m", nullptr, ENOENT, "open: No such file or directory\n"},
      {"%m", nullptr, 9999, "Unknown error 9999\n"},
      {"100%% %5d|%-3s|", nullptr, 0, "100%    42|ab |\n"},
      {"trailing %", nullptr, 0, "trailing %\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    captured.clear();
    errno = c.err;
    if (strstr(c.format, "%5d") != nullptr) {
      log_printf(LOG_ERR, c.file, 7, c.format, 42, "ab");
    } else {
      log_printf(LOG_ERR, c.file, 7, c.format);
    }
    EXPECT_EQ(errno, c.err);
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_EQ(captured[0], c.line);
  }
}

TEST_F(Log, ErrnoOfTheEntryEvenWhenAnOutputChangesIt) {
  open(LOG_DEBUG);
  open(LOG_DEBUG, 0, [](LogSink* s, int level, const char* line) {
    capture(s, level, line);
    errno = EINVAL;
  });
  errno = EACCES;
  log_printf(LOG_ERR, nullptr, 0, "%m");
  ASSERT_EQ(captured.size(), 2u);
  EXPECT_EQ(captured[0], "Permission denied\n");
  EXPECT_EQ(captured[1], "Permission denied\n");
}

TEST_F(Log, LongMessagesAreCutIntoOneLine) {
  open(LOG_DEBUG, LOG_F_LEVEL);
  std::string longFormat(3000, 'f');
  std::string longArg(5000, 'a');
  std::string cutDirective = std::string(LOG_LINE_MAX - 4, 'x') + "%5d";
  for (const std::string* format : {&longFormat, &cutDirective}) {
    captured.clear();
    log_printf(LOG_ERR, nullptr, 0, format->c_str(), 1);
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_LE(captured[0].size(), static_cast<size_t>(LOG_LINE_MAX - 1));
    EXPECT_EQ(captured[0].back(), '\n');
    EXPECT_EQ(captured[0].find('%'), std::string::npos);
  }
  captured.clear();
  log_printf(LOG_ERR, nullptr, 0, "%s", longArg.c_str());
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].size(), static_cast<size_t>(LOG_LINE_MAX - 1));
  EXPECT_EQ(captured[0].substr(0, 8), "ERROR: a");
  EXPECT_EQ(captured[0].back(), '\n');
}

TEST_F(Log, StreamSinksAndFileSinks) {
  char buf[256] = {};
  FILE* stream = fmemopen(buf, sizeof buf - 1, "w");
  LogSink* s = log_open_stream(stream, LOG_DEBUG, 0xFFFFFFFFu, LOG_F_LEVEL);
  log_printf(LOG_WARNING, nullptr, 0, "to stream");
  log_close(s);
  free(s);
  log_printf(LOG_WARNING, nullptr, 0, "gone");
  EXPECT_GE(fputs("still open\n", stream), 0);  // closing the sink left the stream alone
  fclose(stream);
  EXPECT_STREQ(buf, "WARNING: to stream\nstill open\n");

  char path[] = "/tmp/kes_log_testXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  LogSink* f = log_open_path(path, LOG_DEBUG, 0xFFFFFFFFu, 0);
  ASSERT_NE(f, nullptr);
  log_printf(LOG_INFO, nullptr, 0, "to file");
  log_close(f);  // closes the stream (the leak checker would see it otherwise)
  free(f);
  FILE* in = fopen(path, "r");
  char line[64] = {};
  ASSERT_NE(fgets(line, sizeof line, in), nullptr);
  fclose(in);
  unlink(path);
  EXPECT_STREQ(line, "to file\n");
  EXPECT_EQ(log_open_path("/nonexistent-dir/x.log", LOG_DEBUG, 1, 0), nullptr);

  LogSink* quiet = log_open_null(nullptr, 0, 0, LOG_DEBUG, 0xFFFFFFFFu, LOG_F_LEVEL);
  log_printf(LOG_ERR, nullptr, 0, "swallowed");
  log_close(quiet);
  free(quiet);
}

TEST_F(Log, CloseAllRunsEveryCloseCallback) {
  static int closes = 0;
  closes = 0;
  LogCloseFn onClose = [](LogSink*) { ++closes; };
  LogSink* a = log_open_callback(capture, onClose, LOG_DEBUG, 1, 0);
  LogSink* b = log_open_callback(capture, onClose, LOG_DEBUG, 1, 0);
  log_close_all();
  EXPECT_EQ(closes, 2);
  log_printf(LOG_ERR, nullptr, 0, "nobody");
  EXPECT_TRUE(captured.empty());
  free(a);
  free(b);
}

TEST(LogMask, Parse) {
  const LogMaskName names[] = {{"sql", 0x1}, {"net", 0x2}, {"io", 0x8}};
  struct Case {
    const char* text;
    int rc;
    uint32_t mask;
  } const cases[] = {
      {"sql", 0, 0x1}, {"sql,io", 0, 0x9},   {"net,net", 0, 0x2},
      {"SQL", -1, 0},  {"sql, io", -1, 0x1}, {"", -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t mask = 0xDEAD;
    EXPECT_EQ(log_parse_mask(c.text, names, 3, &mask), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(mask, c.mask);
    }
  }
}

// Sinks come and go while other threads log: every line reaches a live sink
// whole, and a closed sink is never touched again.
TEST_F(Log, ClosingSinksWhileOtherThreadsLog) {
  static std::atomic<long> lines{0};
  std::atomic<bool> stop{false};
  LogOutputFn count = [](LogSink* s, int, const char* line) {
    if (s->levelMask[LOG_INFO] != 0 && strcmp(line, "tick 7\n") == 0) ++lines;
  };
  std::vector<std::thread> writers;
  for (int i = 0; i < 3; ++i) {
    writers.emplace_back([&] {
      while (!stop.load()) log_printf(LOG_INFO, __FILE__, __LINE__, "tick %d", 7);
    });
  }
  for (int round = 0; round < 3000 || lines.load() == 0; ++round) {
    LogSink* s = log_open_callback(count, nullptr, LOG_DEBUG, 0xFFFFFFFFu, 0);
    std::this_thread::yield();
    log_close(s);
    memset(static_cast<void*>(s), 0xA5, sizeof *s);  // a late writer would crash here
    free(s);
  }
  stop = true;
  for (auto& t : writers) t.join();
  EXPECT_GT(lines.load(), 0);
}

}  // namespace
