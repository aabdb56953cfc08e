// Message boxes: one line on the standard error stream, the same line to the log hook, OK.
#include "platform/windows/msgbox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> logged;
void record(const char* line, uint32_t type) {
  logged.push_back(std::to_string(type) + " " + line);
}

TEST(MessageBox, OneLineAnsweredOk) {
  struct Case {
    const char* text;
    const char* caption;
    std::string line;
  };
  const Case kCases[] = {
      {"Unable to initialize the ODBC layer.", "Kestrane ODBC",
       "Kestrane ODBC: Unable to initialize the ODBC layer.\n"},
      {"Session debugging is enabled.\nCheck x for details.", "C",
       "C: Session debugging is enabled. Check x for details.\n"},
      {"no caption", nullptr, "no caption\n"},
      {nullptr, "", "\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, c.text, c.caption, MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
  }
}

TEST(MessageBox, LogHookGetsTheLineOnceSet) {
  logged.clear();
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "before", "C", MB_OK);
  EXPECT_EQ(SetMessageBoxLogHook(record), nullptr);
  MessageBoxA(nullptr, "two\nlines", "C", MB_ICONINFORMATION);
  EXPECT_EQ(SetMessageBoxLogHook(nullptr), record);
  MessageBoxA(nullptr, "after", "C", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "C: before\nC: two lines\nC: after\n");
  EXPECT_EQ(logged, std::vector<std::string>{"64 C: two lines"});
}

}  // namespace
