#pragma once
// export.h -- marks the functions a driver library exports. Everything else is
// hidden; the version script of each build then picks the exact export list.

#define KES_EXPORT_BEGIN _Pragma("GCC visibility push(default)")
#define KES_EXPORT_END _Pragma("GCC visibility pop")
