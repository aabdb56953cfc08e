#pragma once
// odbcinst.h -- the ODBC installer library (odbc.ini, file DSNs), loaded by name
// at the first use and kept for the life of the process.
// Only its 8-bit functions are used, in both builds: its wide forms narrow
// every UTF-16 unit to one byte. Buffers are zeroed before every call, because
// the library leaves them untouched for an absent value.
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

// Address of an installer function, loading the library on first use; null
// (after one message box per process) when the library or function is missing.
void* GetInstallerProc(const char* name);
// The library's handle, or null.
void* LoadInstallerLibrary();
