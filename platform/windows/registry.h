// registry.h -- read-only registry lookups, served from INI-style files.
// Files, in order of precedence: the file named by KES_REGISTRY when that variable is set (then
// no other file is read); otherwise $XDG_CONFIG_HOME/kestrane/registry.ini (~/.config when the
// variable is unset or not absolute), then /etc/kestrane/registry.ini. A value is taken from the
// first file whose section has it; a key opens when any file has its section or a section below
// it. The format:
//   [HKEY_CURRENT_USER\Software\Informix\Environment]   ; a section is the whole key path
//   INFORMIXSERVER=ol_demo                               ; text value (REG_SZ)
//   Flags=dword:0000001f                                 ; 32-bit value (REG_DWORD), hex
//   @=text                                               ; the key's default (unnamed) value
// Key paths and value names compare without regard to ASCII case; leading and trailing blanks
// of names and values are dropped unless the value is in double quotes; lines starting with ';'
// or '#' are comments.
// A key reads its files when it is opened and keeps what it read until closed.
// Threading: any thread; an open key may be shared.
#pragma once

#include <cstdint>

#include "platform/windows/errors.h"

struct KesRegKey;  // opaque
using HKEY = KesRegKey*;

extern KesRegKey KesRegClassesRoot;
extern KesRegKey KesRegCurrentUser;
extern KesRegKey KesRegLocalMachine;
inline constexpr HKEY HKEY_CLASSES_ROOT = &KesRegClassesRoot;
inline constexpr HKEY HKEY_CURRENT_USER = &KesRegCurrentUser;
inline constexpr HKEY HKEY_LOCAL_MACHINE = &KesRegLocalMachine;

inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_DWORD = 4;

// ERROR_SUCCESS and the key in `result`; ERROR_FILE_NOT_FOUND when no file has the key;
// ERROR_ACCESS_DENIED when `access` asks for more than reading. `subKey` may be null or empty
// (the key itself, opened again).
int32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t options, uint32_t access,
                      HKEY* result) noexcept;
// `name` null or empty is the default value. ERROR_SUCCESS with the type and the size (a text
// counts its terminating NUL, which is stored); ERROR_FILE_NOT_FOUND when the key has no such
// value; ERROR_MORE_DATA when `*size` is too small: the type and the size needed are set and the
// buffer holds nothing useful. With `data` null only the type and size are answered. `type`
// and `reserved` may be null.
int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* size) noexcept;
int32_t RegCloseKey(HKEY key) noexcept;
