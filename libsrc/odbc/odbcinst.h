#pragma once
// odbcinst.h -- the ODBC installer library (odbc.ini, file DSNs), loaded by name
// at the first use and kept for the life of the process.
// Only its 8-bit functions are called, in both builds: its wide forms narrow
// every UTF-16 unit to one byte. The wide forms here take and give UTF-16 and
// reach the library's 8-bit functions through UTF-8. Buffers are zeroed before
// every call, because the library leaves them untouched for an absent value.
// These are C++ functions of the driver's own: the library's exports of the
// same names (C functions) are never bound to them, nor they to the library.
// Threading: the library is loaded once under a lock; the calls may run on any
// thread.

#include <cstdint>

// The installer's functions of the same names: the value (empty when absent)
// and its length; 0 when the library or the function is missing.
int SQLGetPrivateProfileString(const char* section, const char* entry, const char* def, char* buf,
                               int size, const char* file);
// Non-zero when the file DSN's key was read.
int SQLReadFileDSN(const char* file, const char* section, const char* key, char* buf, uint16_t size,
                   uint16_t* len);

// The same with UTF-16 texts; sizes and lengths count UTF-16 units, and a value
// is cut to the buffer at a whole character.
int SQLGetPrivateProfileStringW(const char16_t* section, const char16_t* entry, const char16_t* def,
                                char16_t* buf, int size, const char16_t* file);
int SQLReadFileDSNW(const char16_t* file, const char16_t* section, const char16_t* key,
                    char16_t* buf, uint16_t size, uint16_t* len);

// Address of an installer function, loading the library on first use; null
// (after one message box per process) when the library or function is missing.
void* GetInstallerProc(const char* name);
// The library's handle, or null.
void* LoadInstallerLibrary();
