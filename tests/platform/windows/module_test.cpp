// The library's attach and detach hooks, its identity, file name and version check. This
// program plays a driver library: it defines the per-build module record and DllMain.
#include "platform/windows/module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "res/strtab.h"

extern "C" const KesModule KesThisModule = {1};

namespace {
int attachCalls = 0;
int detachCalls = 0;
int failAttach = 0;           // DllMain refuses the attach while set
bool announceDetach = false;  // DllMain writes a line on detach while set
}  // namespace

extern "C" int DllMain(HMODULE module, uint32_t reason, void*) {
  if (module != &KesThisModule) return 0;
  if (reason == DLL_PROCESS_ATTACH) {
    ++attachCalls;
    return failAttach ? 0 : 1;
  }
  if (reason == DLL_PROCESS_DETACH) {
    ++detachCalls;
    if (announceDetach) std::fputs("detached at exit\n", stderr);
  }
  return 1;
}

namespace {

TEST(Module, AttachRunsOnLoadAndEachWayAtMostOnce) {
  EXPECT_GE(attachCalls, 1);  // by the constructor, before main
  ASSERT_EQ(kes_library_attach(), 1);
  const int attaches = attachCalls, detaches = detachCalls;
  EXPECT_EQ(kes_library_attached(), 1);
  EXPECT_EQ(kes_library_attach(), 1);  // what LibMain does after the loader already attached
  EXPECT_EQ(attachCalls, attaches);

  kes_library_detach();
  kes_library_detach();
  EXPECT_EQ(detachCalls, detaches + 1);
  EXPECT_EQ(kes_library_attached(), 0);

  failAttach = 1;
  EXPECT_EQ(kes_library_attach(), 0);
  EXPECT_EQ(kes_library_attached(), 0);
  kes_library_detach();  // nothing to undo after a failed attach
  EXPECT_EQ(detachCalls, detaches + 1);
  failAttach = 0;
  EXPECT_EQ(kes_library_attach(), 1);
  EXPECT_EQ(attachCalls, attaches + 2);
  EXPECT_EQ(kes_library_attached(), 1);
}

TEST(ModuleDeathTest, DetachRunsWhenTheProgramEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        kes_library_attach();
        announceDetach = true;
        std::exit(0);
      },
      testing::ExitedWithCode(0), "detached at exit");
}

TEST(Module, ThisModuleSelectsItsStringTable) {
  EXPECT_EQ(kes_this_module(), &KesThisModule);
  char buf[64];
  ASSERT_GT(LoadStringA(nullptr, IDS_DRIVER_FILE, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "kesdrvw.dll");
}

TEST(Module, WindowsVersionCheckPasses) {
  uint32_t v = GetVersion();
  bool oldOrNonNt = v > 0x80000000u && (v & 0xFF) <= 3;
  EXPECT_FALSE(oldOrNonNt);
  EXPECT_LT(v, 0x80000000u);
  EXPECT_GE(v & 0xFF, 4u);
}

TEST(Module, FileNameOfTheModuleAndOfTheProgram) {
  char exe[PATH_MAX] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  for (HMODULE m : {kes_this_module(), static_cast<HMODULE>(nullptr)}) {
    SCOPED_TRACE(m ? "module" : "program");
    char buf[PATH_MAX];
    uint32_t n = GetModuleFileNameA(m, buf, sizeof buf);
    EXPECT_EQ(n, std::strlen(exe));
    EXPECT_STREQ(buf, exe);
  }
  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(std::string(small), std::string(exe, 4));
}

}  // namespace
