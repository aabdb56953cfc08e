// registry.cpp -- read-only registry over INI-style files.
// Opening a key reads the files and keeps the key's values with the open key; a query on a
// predefined root reads them at the time of the query. Nothing is written, ever.
#include "platform/windows/registry.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

struct RegValue {
  std::string name;  // "" is the key's default value
  uint32_t type;
  std::string data;  // REG_SZ: the text without NUL; REG_DWORD: 4 bytes, little-endian
};

struct KeyData {
  std::string path;
  std::vector<RegValue> values;
};

}  // namespace

struct KesRegKey {
  const char* root;  // the root's path for a predefined key, null for an opened one
  KeyData* data;     // an opened key's path and values, null for a predefined key
};

KesRegKey KesRegClassesRoot{"HKEY_CLASSES_ROOT", nullptr};
KesRegKey KesRegCurrentUser{"HKEY_CURRENT_USER", nullptr};
KesRegKey KesRegLocalMachine{"HKEY_LOCAL_MACHINE", nullptr};

namespace {

// Reading is all the registry allows; the WOW64 view bits choose nothing here.
constexpr uint32_t kReadAccess = KEY_READ | KEY_QUERY_VALUE | 0x0100 | 0x0200;

std::mutex keyLock;
std::unordered_set<HKEY>& openKeys() {
  static auto* keys = new std::unordered_set<HKEY>;  // outlives every static destructor
  return *keys;
}

bool isRoot(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

bool validKey(HKEY key) {
  if (isRoot(key)) return true;
  std::lock_guard<std::mutex> guard(keyLock);
  return key && openKeys().count(key) != 0;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Appends the components of `path` to `out`, one backslash between them, none at the ends.
void appendPath(std::string& out, std::string_view path) {
  while (!path.empty()) {
    size_t cut = path.find('\\');
    std::string_view part = path.substr(0, cut);
    if (!part.empty()) {
      if (!out.empty()) out += '\\';
      out += part;
    }
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
}

std::vector<std::string> registryFiles() {
  if (const char* file = std::getenv("KES_REGISTRY"); file && *file) return {file};
  std::vector<std::string> files;
  // A relative XDG_CONFIG_HOME is invalid and falls back to the default.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    files.push_back(std::string(xdg) + "/kestrane/registry.ini");
  else if (const char* home = std::getenv("HOME"); home && *home)
    files.push_back(std::string(home) + "/.config/kestrane/registry.ini");
  files.push_back("/etc/kestrane/registry.ini");
  return files;
}

bool readFile(const std::string& name, std::string& text) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = asciiLower(c);
  return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

RegValue parseValue(std::string_view name, std::string_view text) {
  if (name == "@") name = {};
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return {std::string(name), REG_SZ, std::string(text.substr(1, text.size() - 2))};
  constexpr std::string_view kDword = "dword:";
  if (text.size() > kDword.size() && text.size() <= kDword.size() + 8 &&
      sameText(text.substr(0, kDword.size()), kDword)) {
    uint32_t v = 0;
    bool hex = true;
    for (char c : text.substr(kDword.size())) {
      int d = hexDigit(c);
      if (d < 0) {
        hex = false;
        break;
      }
      v = v << 4 | static_cast<uint32_t>(d);
    }
    if (hex) {
      char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
      return {std::string(name), REG_DWORD, std::string(bytes, 4)};
    }
  }
  return {std::string(name), REG_SZ, std::string(text)};
}

// Reads `path` from every file: answers whether any file has the key (its own section or a
// section below it) and fills `values`, the first file that has a value giving it.
bool loadKey(const std::string& path, std::vector<RegValue>& values) {
  bool found = false;
  for (const std::string& file : registryFiles()) {
    std::string text;
    if (!readFile(file, text)) continue;
    std::vector<RegValue> fileValues;  // a later line of the same file replaces an earlier one
    bool inKey = false;
    std::string_view rest = text;
    while (!rest.empty()) {
      size_t eol = rest.find('\n');
      std::string_view line = trim(rest.substr(0, eol));
      rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
      if (line.empty() || line.front() == ';' || line.front() == '#') continue;
      if (line.front() == '[' && line.back() == ']') {
        std::string section;
        appendPath(section, trim(line.substr(1, line.size() - 2)));
        inKey = sameText(section, path);
        if (inKey || (section.size() > path.size() && section[path.size()] == '\\' &&
                      sameText(std::string_view(section).substr(0, path.size()), path)))
          found = true;
        continue;
      }
      size_t eq = line.find('=');
      if (!inKey || eq == std::string_view::npos) continue;
      RegValue v = parseValue(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
      bool replaced = false;
      for (RegValue& old : fileValues)
        if (sameText(old.name, v.name)) {
          old = v;
          replaced = true;
        }
      if (!replaced) fileValues.push_back(std::move(v));
    }
    for (RegValue& v : fileValues) {
      bool known = false;
      for (const RegValue& old : values) known = known || sameText(old.name, v.name);
      if (!known) values.push_back(std::move(v));
    }
  }
  return found;
}

}  // namespace

int32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t /*options*/, uint32_t access,
                      HKEY* result) noexcept {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!validKey(key)) return ERROR_INVALID_HANDLE;
  if (access & ~kReadAccess) return ERROR_ACCESS_DENIED;
  try {
    auto data = std::make_unique<KeyData>();
    data->path = isRoot(key) ? key->root : key->data->path;
    appendPath(data->path, subKey ? subKey : "");
    // A predefined root exists whether or not a file mentions it.
    bool isRootPath = data->path.find('\\') == std::string::npos;
    if (!loadKey(data->path, data->values) && !isRootPath) return ERROR_FILE_NOT_FOUND;
    auto opened = std::make_unique<KesRegKey>(KesRegKey{nullptr, data.get()});
    std::lock_guard<std::mutex> guard(keyLock);
    openKeys().insert(opened.get());
    data.release();
    *result = opened.release();
    return ERROR_SUCCESS;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* /*reserved*/, uint32_t* type,
                         uint8_t* data, uint32_t* size) noexcept {
  if (!validKey(key)) return ERROR_INVALID_HANDLE;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  try {
    std::vector<RegValue> rootValues;
    if (isRoot(key)) loadKey(key->root, rootValues);
    const std::vector<RegValue>& values = isRoot(key) ? rootValues : key->data->values;
    std::string_view wanted = name ? name : "";
    for (const RegValue& v : values) {
      if (!sameText(v.name, wanted)) continue;
      uint32_t needed = static_cast<uint32_t>(v.data.size() + (v.type == REG_SZ ? 1 : 0));
      if (type) *type = v.type;
      if (!size) return ERROR_SUCCESS;
      if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
      }
      if (data) {
        v.data.copy(reinterpret_cast<char*>(data), v.data.size());
        if (v.type == REG_SZ) data[v.data.size()] = 0;
      }
      *size = needed;
      return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

int32_t RegCloseKey(HKEY key) noexcept {
  if (isRoot(key)) return ERROR_SUCCESS;
  {
    std::lock_guard<std::mutex> guard(keyLock);
    if (!key || !openKeys().erase(key)) return ERROR_INVALID_HANDLE;
  }
  delete key->data;
  delete key;
  return ERROR_SUCCESS;
}
