// Registry lookups served from files: the three answers of a lookup, the value forms, and
// which file wins.
#include "platform/windows/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "scoped_env.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kEnvKey = "Software\\Informix\\Environment";

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kes_registry_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& relative, const std::string& text) {
    fs::path p = dir_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }

  fs::path dir_;
};

// The value as text through the two-step read a caller does: size first, then the data.
std::string readText(HKEY key, const char* name) {
  uint32_t size = 0, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return "<none>";
  std::string buf(size, '#');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<uint8_t*>(buf.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ || buf.back() != '\0')
    return "<bad>";
  buf.pop_back();
  return buf;
}

TEST_F(RegistryTest, MissingKeyMissingValueAndShortBufferAreThreeAnswers) {
  ScopedEnv reg("KES_REGISTRY", write("r.ini",
                                      "[HKEY_CURRENT_USER\\Software\\Informix\\Environment]\n"
                                      "INFORMIXSERVER=ol_demo\n")
                                    .c_str());
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Informix\\Nothing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kEnvKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  uint8_t buf[16];
  uint32_t type = 0, size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(key, "DELIMIDENT", nullptr, &type, buf, &size), ERROR_FILE_NOT_FOUND);

  struct Case {
    uint32_t size;
    int32_t rc;
  };
  // "ol_demo" takes 8 bytes with its NUL.
  for (Case c : {Case{7, ERROR_MORE_DATA}, Case{8, ERROR_SUCCESS}, Case{16, ERROR_SUCCESS}}) {
    SCOPED_TRACE(c.size);
    size = c.size;
    type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "INFORMIXSERVER", nullptr, &type, buf, &size), c.rc);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 8u);
    if (c.rc == ERROR_SUCCESS) {
      EXPECT_STREQ(reinterpret_cast<char*>(buf), "ol_demo");
    }
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, ValueForms) {
  ScopedEnv reg("KES_REGISTRY",
                write("r.ini",
                      "; comment\n"
                      "# comment\n"
                      "  [ hkey_local_machine\\SOFTWARE\\Kestrane Software\\Edition\\ODBC ]  \r\n"
                      "  DebugFile = /tmp/trace $P.log \r\n"
                      "Padded=\"  kept  \"\n"
                      "Empty=\n"
                      "Flags=dword:0000001f\n"
                      "NotHex=dword:xyz\n"
                      "@=the default\n"
                      "Twice=first\n"
                      "twice=second\n"
                      "no equals sign here\n")
                    .c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KESTRANE SOFTWARE\\Edition\\odbc\\", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  struct Case {
    const char* name;
    std::string text;
  };
  const Case kCases[] = {
      {"debugfile", "/tmp/trace $P.log"},
      {"Padded", "  kept  "},
      {"Empty", ""},
      {"NotHex", "dword:xyz"},
      {nullptr, "the default"},
      {"", "the default"},
      {"TWICE", "second"},
      {"no equals sign here", "<none>"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name ? c.name : "(null)");
    EXPECT_EQ(readText(key, c.name), c.text);
  }
  uint8_t dword[4] = {};
  uint32_t type = 0, size = sizeof dword;
  ASSERT_EQ(RegQueryValueExA(key, "Flags", nullptr, &type, dword, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(dword[0], 0x1f);
  EXPECT_EQ(dword[1], 0);
  RegCloseKey(key);
}

TEST_F(RegistryTest, KeysOpenThroughTheirSubkeysAndRelativeToOpenKeys) {
  ScopedEnv reg("KES_REGISTRY",
                write("r.ini", "[HKEY_CLASSES_ROOT\\Interface\\{0000}]\n@=IUnknownish\n").c_str());
  HKEY iface = nullptr, entry = nullptr, root = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Interface", 0, KEY_READ, &iface), ERROR_SUCCESS);
  EXPECT_EQ(readText(iface, nullptr), "<none>");
  ASSERT_EQ(RegOpenKeyExA(iface, "{0000}", 0, KEY_READ, &entry), ERROR_SUCCESS);
  EXPECT_EQ(readText(entry, nullptr), "IUnknownish");
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Inter", 0, KEY_READ, &root), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &root), ERROR_SUCCESS);
  RegCloseKey(root);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Interface", 0, 0x0002 /* set value */, &root),
            ERROR_ACCESS_DENIED);
  RegCloseKey(entry);
  RegCloseKey(iface);
}

TEST_F(RegistryTest, OpenKeyKeepsWhatItRead) {
  std::string file = write("r.ini", "[HKEY_CURRENT_USER\\K]\nv=old\n");
  ScopedEnv reg("KES_REGISTRY", file.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
  write("r.ini", "[HKEY_CURRENT_USER\\K]\nv=new\n");
  EXPECT_EQ(readText(key, "v"), "old");
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(readText(key, "v"), "new");
  RegCloseKey(key);
}

TEST_F(RegistryTest, FilePrecedence) {
  std::string named = write("named.ini", "[HKEY_CURRENT_USER\\K]\nv=named\n");
  write("xdg/kestrane/registry.ini", "[HKEY_CURRENT_USER\\K]\nv=xdg\nonlyUser=u\n");
  write("home/.config/kestrane/registry.ini", "[HKEY_CURRENT_USER\\K]\nv=home\n");
  std::string xdg = (dir_ / "xdg").string(), home = (dir_ / "home").string();

  struct Case {
    const char* registry;
    const char* xdgConfig;
    const char* v;
    const char* onlyUser;
  };
  const Case kCases[] = {
      {named.c_str(), xdg.c_str(), "named", "<none>"},  // the named file alone
      {nullptr, xdg.c_str(), "xdg", "u"},
      {"", xdg.c_str(), "xdg", "u"},  // empty counts as unset
      {nullptr, nullptr, "home", "<none>"},
      {nullptr, "relative/dir", "home", "<none>"},  // not absolute: ignored
  };
  ScopedEnv homeEnv("HOME", home.c_str());
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message()
                 << (c.registry ? c.registry : "-") << " " << (c.xdgConfig ? c.xdgConfig : "-"));
    ScopedEnv reg("KES_REGISTRY", c.registry);
    ScopedEnv xdgEnv("XDG_CONFIG_HOME", c.xdgConfig);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(readText(key, "v"), c.v);
    EXPECT_EQ(readText(key, "onlyUser"), c.onlyUser);
    RegCloseKey(key);
  }
  // A named file that does not exist hides the others: the key is missing.
  ScopedEnv reg("KES_REGISTRY", (dir_ / "absent.ini").c_str());
  ScopedEnv xdgEnv("XDG_CONFIG_HOME", xdg.c_str());
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
