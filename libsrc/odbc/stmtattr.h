#pragma once
// stmtattr.h -- statement options (ODBC 2) and statement attributes (ODBC 3).
// The options that shape the cursor or the result go to the back end as cursor
// settings; the statement keeps the value the back end put in force, reading it
// back when the back end changed it (01S02). The attributes that are descriptor
// header fields are written through the statement's current descriptors.
// Threading: statement workers, under the connection's call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Stmt;

// args: [option, value].
SQLRETURN SetStmtOptionImpl(Stmt* stmt, const CallSlot* args);
// args: [option, value pointer].
SQLRETURN GetStmtOptionImpl(Stmt* stmt, const CallSlot* args);
// args: [attribute, value, string length, marker].
SQLRETURN SetStmtAttrImpl(Stmt* stmt, const CallSlot* args);
// args: [attribute, value pointer, buffer length, string length pointer].
SQLRETURN GetStmtAttrImpl(Stmt* stmt, const CallSlot* args);

SQLRETURN StmtSetOption(Stmt* stmt, uint16_t option, uint64_t value);
// Gives a new statement's back-end cursor the cursor settings the statement
// took from its connection's defaults, as if the application had set them;
// the statement keeps what the cursor put in force. Never fails.
void StmtSendCursorDefaults(Stmt* stmt);
// Writes the option's value in its own width (32 or 64 bits); nothing for a
// null pointer.
SQLRETURN StmtGetOption(Stmt* stmt, uint16_t option, void* value);
SQLRETURN StmtSetAttr(Stmt* stmt, int32_t attr, uint64_t value, int32_t length, char marker);
