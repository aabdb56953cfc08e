#pragma once
// colmeta.h -- column metadata: SQLDescribeCol, SQLColAttribute and the ODBC 2
// SQLColAttributes, and the rules from a column's description to its attributes
// that the IRD shares, so that every road answers the same for a column.
// Threading: statement workers, under the connection's call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct ColumnInfo;
struct Stmt;

// args: [column, name buffer, buffer length, name length, type, size, digits, nullable].
SQLRETURN DescribeColImpl(Stmt* stmt, const CallSlot* args);
// args: [column, field, character buffer, buffer length, string length,
// numeric pointer, marker].
SQLRETURN ColAttributeImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN ColAttributesImpl(Stmt* stmt, const CallSlot* args);
// The ODBC 2 column attributes (SQL_COLUMN_*); numeric answers as 64 bits.
SQLRETURN StmtColAttribute(Stmt* stmt, uint16_t column, uint16_t attr, void* buf, int16_t bufLen,
                           int16_t* strLen, int64_t* numeric, char mode);

// Transfer octet length of a column of sqlType and precision (SQL_DESC_OCTET_LENGTH).
int64_t ColumnOctetLength(int32_t sqlType, int64_t precision);
// Octet length an application descriptor record reports for a C type bound
// with a buffer of bufLen bytes.
int64_t OctetLengthOf(int32_t cType, int64_t bufLen);
// SQL_DESC_UNSIGNED: 1 for the unsigned and the non-numeric types.
int16_t ColumnUnsigned(const ColumnInfo* info);
// SQL_DESC_UPDATABLE: the override, else what the description tells, else
// SQL_ATTR_READWRITE_UNKNOWN.
int16_t ColumnUpdatable(Stmt* stmt, const ColumnInfo* info, uint16_t column);
// SQL_DESC_FIXED_PREC_SCALE: an exact numeric type with a scale.
int16_t FixedPrecScaleOf(int32_t sqlType, int64_t scale);
// SQL_DESC_SEARCHABLE of a column of sqlType without an override.
int16_t SearchableOf(int32_t sqlType);
