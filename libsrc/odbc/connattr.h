#pragma once
// connattr.h -- connection attributes and the ODBC 2 connection options.
// Which attributes live in the connection record, which go to the back end as
// DriverPropId items, how ODBC 2 statement options on a connection become
// defaults for its statements, DTC enlistment, and the failover callback.
// Threading: the workers run under the connection's call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Conn;

inline constexpr int32_t ATTR_FAILOVER_CALLBACK = 1280;
inline constexpr int32_t ATTR_FAILOVER_CONTEXT = 1281;

// args: [option, value, marker].
SQLRETURN SetConnectOptionImpl(Conn* conn, const CallSlot* args);
// args: [option, value pointer, marker]. Text answers are cut to the 256 bytes
// (or 256 UTF-16 units) an ODBC 2 caller provides.
SQLRETURN GetConnectOptionImpl(Conn* conn, const CallSlot* args);
// args: [attribute, value, string length, marker].
SQLRETURN SetConnectAttrImpl(Conn* conn, const CallSlot* args);
// args: [attribute, value pointer, buffer length, string length pointer, marker].
SQLRETURN GetConnectAttrImpl(Conn* conn, const CallSlot* args);

// Stores an ODBC 2 statement option (0-12) as the connection's default.
SQLRETURN ConnSetStmtDefault(Conn* conn, uint16_t option, uint64_t value);
