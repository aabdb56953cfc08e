// strtab.cpp -- the texts of the string table, in id order.
#include "res/strtab.h"

#include <iterator>

namespace {

struct ResString {
  uint32_t id;
  const char* text;      // the Unicode build's text
  const char* ansiText;  // the ANSI build's text, null when both builds share `text`
};

// The edition name heads the setup name, which names the driver's setup registry key.
#define KES_EDITION "Kestrane ODBC Driver"

constexpr ResString kStrings[] = {
    {IDS_CAPTION, "Kestrane ODBC", nullptr},
    {IDS_AGENT_LOADED, "Kestrane ODBC Agent Loaded.", nullptr},
    {IDS_AGENT_UNLOADED, "Kestrane ODBC Agent Unloaded.", nullptr},
    {IDS_DEBUG_ENABLED, "Session debugging is enabled.\nCheck %s for details.", nullptr},
    {IDS_ODBC_INIT_FAILED, "Unable to initialize the ODBC layer.", nullptr},
    {IDS_NO_INSTALL_DIR, "Unable to determine the Kestrane installation directory.", nullptr},
    {IDS_PARAMS_INIT_FAILED, "Unable to initialize the working parameters.", nullptr},
    {IDS_NETWORK_INIT_FAILED, "Unable to initialize the network layer.", nullptr},
    {IDS_REQUIRES_WIN32, "The Kestrane ODBC driver requires Win32.", nullptr},
    {IDS_DRIVER_FILE, "kesdrvw.dll", "kesdrva.dll"},
    {IDS_SETUP_NAME, KES_EDITION " for Informix 11 (Unicode)", KES_EDITION " for Informix 11"},
    {IDS_VERSION, "0.9", nullptr},
    {IDS_PLATFORM, "WIN32", nullptr},
};

consteval bool idsAscending() {
  for (std::size_t i = 1; i < std::size(kStrings); ++i)
    if (kStrings[i - 1].id >= kStrings[i].id) return false;
  return true;
}
static_assert(std::size(kStrings) == 13);
static_assert(idsAscending(), "the table is searched in id order");

}  // namespace

const char* ResStringFind(uint32_t id, int unicodeBuild) noexcept {
  for (const ResString& s : kStrings) {
    if (s.id == id) return (!unicodeBuild && s.ansiText) ? s.ansiText : s.text;
    if (s.id > id) break;
  }
  return nullptr;
}
