// exports_test.cpp -- what each driver library shows to the outside: its own
// forms of the ODBC functions, the XA and setup exports, and nothing internal.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct Library {
  const char* name;
  const char* path;
  bool unicode;
};

class ExportsTest : public ::testing::TestWithParam<Library> {
 protected:
  void SetUp() override {
    handle_ = dlopen(GetParam().path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  // The library stays mapped (it is linked not to unload), so no dlclose.
  bool Has(const std::string& symbol) { return dlsym(handle_, symbol.c_str()) != nullptr; }
  void* handle_ = nullptr;
};

TEST_P(ExportsTest, OwnFormsOnly) {
  const bool w = GetParam().unicode;
  for (const char* text : {"SQLConnect", "SQLDriverConnect", "SQLGetDiagRec", "SQLError",
                           "SQLGetInfo", "SQLTables", "SQLGetTypeInfo"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Has(text), !w);
    EXPECT_EQ(Has(std::string(text) + "W"), w);
  }
  for (const char* plain :
       {"SQLAllocHandle", "SQLFreeHandle", "SQLCancel", "SQLFetch", "SQLEndTran", "SQLGetFunctions",
        "GetXaSwitch", "kes_xa_switch", "SQLGetXaEnv", "SQLGetXaConnect", "GetSetupDatabase",
        "GetSetupRegistry", "LibMain", "WEP"})
    EXPECT_TRUE(Has(plain)) << plain;
  for (const char* internal :
       {"CallODBC", "HandlesInit", "ConnOpen", "INF_Bind", "TraceODBC",
        "SQLGetPrivateProfileString", "SQLColAttributes", "DllMain", "log_printf", "s_alloc"})
    EXPECT_FALSE(Has(internal)) << internal;
}

TEST_P(ExportsTest, SetupNamesTheBuild) {
  using SetupFn = int (*)(char*, uint64_t);
  auto registry = reinterpret_cast<SetupFn>(dlsym(handle_, "GetSetupRegistry"));
  auto database = reinterpret_cast<SetupFn>(dlsym(handle_, "GetSetupDatabase"));
  ASSERT_NE(registry, nullptr);
  ASSERT_NE(database, nullptr);
  char buf[256];
  ASSERT_EQ(database(buf, sizeof buf), 1);
  std::string setup = buf;
  EXPECT_EQ(setup.find("for Informix 11") != std::string::npos, true) << setup;
  EXPECT_EQ(setup.find("(Unicode)") != std::string::npos, GetParam().unicode) << setup;
  ASSERT_EQ(registry(buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), "SOFTWARE\\Kestrane Software\\" + setup);
  // A short buffer gets the path cut and terminated.
  char small[9];
  ASSERT_EQ(registry(small, sizeof small), 1);
  EXPECT_STREQ(small, "SOFTWARE");
}

INSTANTIATE_TEST_SUITE_P(Builds, ExportsTest,
                         ::testing::Values(Library{"w", KES_DRIVER_W, true},
                                           Library{"a", KES_DRIVER_A, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
