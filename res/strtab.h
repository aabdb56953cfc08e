// strtab.h -- the driver's string table: the captions and load-time messages that the library
// shows, and the names it reports for itself. Both builds carry one table; the few texts that
// differ between the Unicode build (kesdrvw) and the ANSI build (kesdrva) are chosen at lookup
// time, so one compiled library serves both.
// Threading: constant data.
#pragma once

#include <cstdint>

inline constexpr uint32_t IDS_CAPTION = 1;
inline constexpr uint32_t IDS_AGENT_LOADED = 2;
inline constexpr uint32_t IDS_AGENT_UNLOADED = 3;
inline constexpr uint32_t IDS_DEBUG_ENABLED = 4;
inline constexpr uint32_t IDS_ODBC_INIT_FAILED = 5;
inline constexpr uint32_t IDS_NO_INSTALL_DIR = 6;
inline constexpr uint32_t IDS_PARAMS_INIT_FAILED = 200;
inline constexpr uint32_t IDS_NETWORK_INIT_FAILED = 201;
inline constexpr uint32_t IDS_REQUIRES_WIN32 = 202;
inline constexpr uint32_t IDS_DRIVER_FILE = 203;
inline constexpr uint32_t IDS_SETUP_NAME = 204;
inline constexpr uint32_t IDS_VERSION = 205;
inline constexpr uint32_t IDS_PLATFORM = 208;

// The text of string `id` in the given build, or null when the table has no such string.
[[nodiscard]] const char* ResStringFind(uint32_t id, int unicodeBuild) noexcept;
