#pragma once
// cvt.h -- the value conversion engine: delivers a value held in a Dataset cell
// into an application buffer as an ODBC C type, and reshapes application values
// (date-time literals, numeric structs, GUIDs) before they are stored in cells.
// Pure functions: no state, no allocation, any thread; the caller owns every
// buffer. Text to and from numbers never consults the process locale.
//
// Converter contract. Every Convert* function receives the source value, the
// resolved C type, the application's data pointer, buffer length and length
// pointer (may be null), and the statement's error slot. It answers an SQLRETURN
// and leaves the cause of SQL_ERROR or SQL_SUCCESS_WITH_INFO in *err; a success
// leaves *err as it was, so a warning of an earlier column survives.
// - Fixed-size targets are written whole whatever the buffer length, and report
//   their size; a null data pointer for them is ERR_ARGUMENT.
// - Character, wide and binary targets follow the copy-out rules of ctypes.h;
//   a negative buffer length for them is ERR_BUFFER_LENGTH.
// - A number that does not fit a character buffer is ERR_NUMERIC_RANGE; only
//   fractional digits may be cut (ERR_TRUNCATED).
// - A value outside a numeric target's range is ERR_NUMERIC_RANGE; a fraction
//   dropped on the way to an integer or NUMERIC target is ERR_FRACTION_TRUNC
//   with SQL_SUCCESS_WITH_INFO and the value written.
// - A target the source cannot reach is ERR_RESTRICTED_TYPE.
// The text converters and ConvertBINARY also report through `used` how many
// source bytes they delivered (a cut value continues from there).
// Not here: choosing the C type, NULL handling and piecewise state (GetColumn).

#include <cstdint>

#include "odbc/ctypes.h"

struct DatasetColumn;

// The name of a C type for trace lines; "(unknown type)" for anything else.
const char* CTypeName(int32_t cType) noexcept;

// ---- Character sources ----------------------------------------------------

// 8-bit (UTF-8) text of len bytes; total is the length to report (the whole
// value, what remains of it, or the back end's total for a deferred piece).
// numScale and numPrecision describe an SQL_C_NUMERIC target (0 when not given).
SQLRETURN ConvertCHAR(const char* text, uint64_t len, SQLLEN total, int32_t cType, void* data,
                      SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                      int32_t numPrecision, uint64_t* used = nullptr) noexcept;
// UTF-16 text; len and total in bytes.
SQLRETURN ConvertWCHAR(const char16_t* text, uint64_t len, SQLLEN total, int32_t cType, void* data,
                       SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                       int32_t numPrecision, uint64_t* used = nullptr) noexcept;

// Text parsers. Accepted form: optional blanks, optional sign, digits with an
// optional decimal point, an optional exponent, optional blanks; the text ends
// at len or at its first NUL. The integer parsers truncate a fraction toward
// zero. Status: 0 exact, 1 a non-zero fraction was dropped (ERR_FRACTION_TRUNC
// in *err, *out written), -1 failure (*err = ERR_ASSIGNMENT for text that is not
// a number, ERR_NUMERIC_RANGE outside [min, max]; *out untouched).
int CharToNumber(const char* text, uint64_t len, int64_t min, int64_t max, int64_t* out,
                 int32_t* err) noexcept;
// The 64-bit form; *out holds the value's two's-complement bits, so that the
// unsigned range up to max = UINT64_MAX fits.
int CharToNumber64(const char* text, uint64_t len, int64_t min, uint64_t max, uint64_t* out,
                   int32_t* err) noexcept;
// Also accepts a leading '$' and ',' grouping characters. Status 0 or -1
// (ERR_ASSIGNMENT, or ERR_NUMERIC_RANGE beyond the range of a double; a value too
// small for a double reads as zero).
int CharToDecimal(const char* text, uint64_t len, double* out, int32_t* err) noexcept;
// SQL_NUMERIC_STRUCT at `scale`, rounded to nearest (half away from zero) with
// every digit kept. precision 0 counts it from the text. Answers SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO (ERR_FRACTION_TRUNC: non-zero digits dropped, or more
// digits than the precision) or SQL_ERROR (ERR_ASSIGNMENT; ERR_NUMERIC_RANGE
// for more integer digits than a given precision or a magnitude of 38 digits or
// more).
SQLRETURN CharToNumeric(const char* text, uint64_t len, SQL_NUMERIC_STRUCT* out, int32_t scale,
                        uint32_t precision, int32_t* err) noexcept;
// The 36-character 8-4-4-4-12 form, surrounding blanks ignored. Status 0 or -1
// (ERR_LENGTH_MISMATCH for another length, ERR_ASSIGNMENT without the dashes).
int CharToGUID(const char* text, uint64_t len, SQLGUID* out, int32_t* err) noexcept;

// UTF-16 front ends; len counts UTF-16 units.
int WCharToNumber(const char16_t* text, uint64_t len, int64_t min, int64_t max, int64_t* out,
                  int32_t* err) noexcept;
int WCharToNumber64(const char16_t* text, uint64_t len, int64_t min, uint64_t max, uint64_t* out,
                    int32_t* err) noexcept;
int WCharToDecimal(const char16_t* text, uint64_t len, double* out, int32_t* err) noexcept;
SQLRETURN WCharToNumeric(const char16_t* text, uint64_t len, SQL_NUMERIC_STRUCT* out, int32_t scale,
                         uint32_t precision, int32_t* err) noexcept;
int WCharToGUID(const char16_t* text, uint64_t len, SQLGUID* out, int32_t* err) noexcept;

// ---- Numeric, date-time and binary sources --------------------------------

// Integers: `value` holds the cell's bits, read as signed or unsigned by isSigned.
SQLRETURN ConvertBYTE(uint8_t value, int32_t isSigned, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                      int32_t numPrecision) noexcept;
SQLRETURN ConvertSHORT(uint16_t value, int32_t isSigned, int32_t cType, void* data, SQLLEN bufLen,
                       SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                       int32_t numPrecision) noexcept;
SQLRETURN ConvertLONG(uint32_t value, int32_t isSigned, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err, int32_t numScale,
                      int32_t numPrecision) noexcept;
SQLRETURN ConvertFLOAT(float value, int32_t cType, void* data, SQLLEN bufLen, SQLLEN* lenPtr,
                       int32_t* err, int32_t numScale, int32_t numPrecision) noexcept;
SQLRETURN ConvertDOUBLE(double value, int32_t cType, void* data, SQLLEN bufLen, SQLLEN* lenPtr,
                        int32_t* err, int32_t numScale, int32_t numPrecision) noexcept;

// Bytes of len, total to report. Character targets get upper-case hex digits.
SQLRETURN ConvertBINARY(const void* bytes, uint64_t len, SQLLEN total, int32_t cType, void* data,
                        SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err,
                        uint64_t* used = nullptr) noexcept;

SQLRETURN ConvertDATE(const SQL_DATE_STRUCT* value, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err) noexcept;
SQLRETURN ConvertTIME(const SQL_TIME_STRUCT* value, int32_t cType, void* data, SQLLEN bufLen,
                      SQLLEN* lenPtr, int32_t* err) noexcept;
// scale is the column's: the least number of fraction digits in text.
SQLRETURN ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT* value, int32_t cType, void* data,
                           SQLLEN bufLen, SQLLEN* lenPtr, uint16_t scale, int32_t* err) noexcept;

// A double as SQL_NUMERIC_STRUCT at `scale`: the double's shortest decimal form
// (so 0.29 stays 0.29) rounded to nearest at the scale. Status 0, 1 (non-zero
// digits dropped, ERR_FRACTION_TRUNC, struct written) or -1 (ERR_NUMERIC_RANGE:
// not finite, or a scaled magnitude of 38 digits or more).
int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT* out, int32_t scale, uint32_t precision,
                    int32_t* err) noexcept;

// base multiplied |exponent| times (divided for a negative exponent).
double IntPower(double base, int32_t exponent) noexcept;

// ---- Dataset cells ---------------------------------------------------------

// The bytes of a present value of row `row`: the text or bytes themselves for
// the character, binary and wide types (DS_CHAR up to its terminator within its
// width; length prefixes and long-value records resolved, lengths in bytes), the
// row slot for the fixed types.
void CellValue(const DatasetColumn* col, uint32_t row, const void** value,
               uint64_t* length) noexcept;
// Runs the converter of DatasetType dsType over a value as CellValue gives it
// (total: the length to report for text and binary). colScale is the column's
// scale (timestamps). DS_NONE and unknown types are ERR_RESTRICTED_TYPE.
SQLRETURN ConvertCellValue(int32_t dsType, const void* value, uint64_t length, SQLLEN total,
                           int32_t cType, void* data, SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err,
                           int32_t numScale, int32_t numPrecision, uint16_t colScale,
                           uint64_t* used = nullptr) noexcept;

// ---- Application values on their way to the back end ------------------------

// An ODBC date, time or timestamp escape ({d '...'}, {t '...'}, {ts '...'}) held
// in textLen bytes of text, stored into a cell of len bytes as the struct that
// sqlType names (0: the literal's own kind); the column, when given, is retyped to
// DS_DATE, DS_TIME or DS_TIMESTAMP. Fraction digits are read as a decimal
// fraction of a second (".5" is 500000000 ns). Anything else (another SQL type,
// an unknown form, a cell too short for the struct) is copied as it stands: at
// most len bytes of the text, the rest of the cell zeroed, the column unchanged.
void ParseDateTimeLiteral(void* dst, const char* text, uint64_t textLen, uint64_t len,
                          DatasetColumn* column, int32_t sqlType) noexcept;
// The same for UTF-16 text of textLen units; the unparsed copy keeps the UTF-16
// bytes.
void WParseDateTimeLiteral(void* dst, const char16_t* text, uint64_t textLen, uint64_t len,
                           DatasetColumn* column, int32_t sqlType) noexcept;

// The numeric struct as the nearest double, stored into at most len bytes of dst
// (cells of 8 bytes). The column is not used.
void NumericToDouble(void* dst, const SQL_NUMERIC_STRUCT* value, uint64_t len,
                     DatasetColumn* column) noexcept;

// Room for the longest NumericToText result and its NUL.
inline constexpr uint64_t NUMERIC_TEXT_SIZE = 172;
// The numeric struct as plain decimal text with every digit ("-123.45"), for
// values a double cannot carry. Answers the length without the NUL, or -1 (and
// nothing written) when size is too small.
int64_t NumericToText(const SQL_NUMERIC_STRUCT* value, char* out, uint64_t size) noexcept;

// The 36 characters of a GUID in 8-4-4-4-12 form, upper-case hex, no terminator.
void GuidToText(void* dst, const SQLGUID* value) noexcept;
