#pragma once
// getinfo.h -- SQLGetInfo and SQLGetFunctions.
// GetFunctions answers from the driver's own list. GetInfo answers a few items
// itself and asks the back end for the rest, keeping every answer in the
// connection's caches so that each item crosses the operation table at most
// once per connection (the current database excepted).
// Threading: connection workers, under the connection's call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Conn;

// args: [function id, supported pointer].
SQLRETURN GetFunctionsImpl(Conn* conn, const CallSlot* args);
// args: [info type, value buffer, buffer length, out length pointer, marker].
SQLRETURN GetInfoImpl(Conn* conn, const CallSlot* args);

// Output forms of GetInfo; a string that does not fit leaves ERR_TRUNCATED on
// the connection and answers SQL_SUCCESS_WITH_INFO.
SQLRETURN InfoOutShort(Conn* conn, uint16_t value, void* buf, int16_t len, int16_t* outLen);
SQLRETURN InfoOutInt(Conn* conn, uint32_t value, void* buf, int16_t len, int16_t* outLen);
SQLRETURN InfoOutString(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen);
SQLRETURN InfoOutStringW(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen);
SQLRETURN InfoOutUtf8W(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen);

// The back end's 16-bit answer to an SQLGetInfo item, through the
// connection's cache; 0 or the back end's driver error code.
int32_t ConnInfoShort(Conn* conn, uint16_t item, uint16_t* value);

// 1 when the back end's conversion table lets a value of sqlType convert to a
// type of mask, else 0.
int ConnCanConvert(const Conn* conn, int32_t sqlType, uint32_t mask);
