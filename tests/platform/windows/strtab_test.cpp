// String table as each build loads it.
#include "res/strtab.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/windows/module.h"

namespace {

const KesModule kUnicode{1};
const KesModule kAnsi{0};

struct Case {
  uint32_t id;
  std::string_view unicodeText;
  std::string_view ansiText;
};
constexpr Case kCases[] = {
    {IDS_CAPTION, "Kestrane ODBC", "Kestrane ODBC"},
    {IDS_DEBUG_ENABLED, "Session debugging is enabled.\nCheck %s for details.",
     "Session debugging is enabled.\nCheck %s for details."},
    {IDS_ODBC_INIT_FAILED, "Unable to initialize the ODBC layer.",
     "Unable to initialize the ODBC layer."},
    {IDS_REQUIRES_WIN32, "The Kestrane ODBC driver requires Win32.",
     "The Kestrane ODBC driver requires Win32."},
    {IDS_DRIVER_FILE, "kesdrvw.dll", "kesdrva.dll"},
    {IDS_SETUP_NAME, "Kestrane ODBC Driver for Informix 11 (Unicode)",
     "Kestrane ODBC Driver for Informix 11"},
    {IDS_VERSION, "0.9", "0.9"},
    {IDS_PLATFORM, "WIN32", "WIN32"},
};

TEST(StringTable, EachBuildLoadsItsOwnText) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.id);
    char buf[256];
    int n = LoadStringA(&kUnicode, c.id, buf, sizeof buf);
    EXPECT_EQ(std::string_view(buf, n), c.unicodeText);
    n = LoadStringA(&kAnsi, c.id, buf, sizeof buf);
    EXPECT_EQ(std::string_view(buf, n), c.ansiText);
  }
}

TEST(StringTable, UnknownIdsAnswerZero) {
  for (uint32_t id : {0u, 7u, 199u, 206u, 207u, 209u, 1000u}) {
    SCOPED_TRACE(id);
    char buf[16] = "x";
    EXPECT_EQ(LoadStringA(&kAnsi, id, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
  }
}

TEST(StringTable, ShortBufferCutsAndTerminates) {
  struct Cut {
    int bufferMax;
    int copied;
    std::string_view text;
  };
  constexpr Cut kCuts[] = {{1, 0, ""},
                           {2, 1, "K"},
                           {9, 8, "Kestrane"},
                           {13, 12, "Kestrane ODB"},
                           {14, 13, "Kestrane ODBC"},
                           {15, 13, "Kestrane ODBC"}};
  for (const Cut& c : kCuts) {
    SCOPED_TRACE(c.bufferMax);
    char buf[32];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(LoadStringA(&kUnicode, IDS_CAPTION, buf, c.bufferMax), c.copied);
    EXPECT_EQ(std::string(buf), c.text);
    EXPECT_EQ(buf[c.bufferMax], '#');  // nothing beyond the buffer
  }
  char buf[4] = "abc";
  EXPECT_EQ(LoadStringA(&kUnicode, IDS_CAPTION, buf, 0), 0);
  EXPECT_STREQ(buf, "abc");
}

}  // namespace
