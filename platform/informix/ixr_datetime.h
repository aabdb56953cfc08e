// ixr_datetime.h -- DATE, DATETIME and INTERVAL values of the embedded Informix server.
// DATE is a day count from 1899-12-31; DATETIME is kept as its canonical text in its
// qualifier's fields ("yyyy-mm-dd hh:mm:ss.fffff" for YEAR TO FRACTION(5)), so that
// values of one qualifier compare as text; INTERVAL is an integer count of months or of
// hundred-thousandths of a second, so that intervals compare and add as integers.
// Threading: pure functions (the current time is read from the clock).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct IxrDateTime;

namespace ixr {

constexpr int32_t kNullDate = INT32_MIN;

// Field index of a time unit code (YEAR 0 .. SECOND 10, FRACTION(n) 10 + n):
// 0 year, 1 month, 2 day, 3 hour, 4 minute, 5 second, 6 fraction.
inline int tuIndex(int tu) { return tu <= 10 ? tu / 2 : 6; }

struct DtFields {
  int field[7] = {0, 1, 1, 0,
                  0, 0, 0};  // year, month, day, hour, minute, second, fraction (1e-5 s)
};

int64_t daysFromCivil(int y, int m, int d);  // day count, 1900-01-01 is 1
void civilFromDays(int64_t days, int& y, int& m, int& d);
bool validYmd(int y, int m, int d);
int daysInMonth(int y, int m);

// Parses a date; format NULL accepts mm/dd/yyyy (any separators), yyyy-mm-dd and
// yyyymmdd-less forms of those. Answers 0, IXR_E_BAD_YEAR, IXR_E_BAD_MONTH, IXR_E_BAD_DAY or
// IXR_E_BAD_DATE.
int dateParse(std::string_view text, const char* format, int32_t& out);
// mm/dd/yyyy into buf (at least 11 bytes); answers the length, or -1 for no date.
int dateFormat(int32_t date, char* buf);
int32_t dateToday();
int dateWeekday(int32_t date);  // 0 Sunday .. 6 Saturday

// Qualifier helpers. A qualifier is digits << 8 | first << 4 | last.
bool qualValid(int qual, bool interval);
int qualMake(int first, int last, int leadDigits, bool interval);
// Length of the canonical text of a qualifier (without sign for intervals).
int qualTextLength(int qual, bool interval);
bool ivIsMonths(int qual);  // YEAR/MONTH interval class

// DATETIME: parse text holding the fields of qual in order (trailing fields may be
// missing; they take their zero values). Answers 0, IXR_E_DT_NON_NUMERIC, IXR_E_DT_BAD_FIELD or
// IXR_E_DT_EXTRA.
int dtParse(std::string_view text, int qual, DtFields& out);
// As dtParse, but also accepts a full date-and-time or date-only text and extends it.
int dtParseAny(std::string_view text, int qual, DtFields& out);
void dtFormat(const DtFields& f, int qual, std::string& out);
int dtFormatTo(const DtFields& f, int qual, char* buf);  // answers the length
// Extends the fields of fromQual into toQual: leading fields from the current time,
// trailing ones zero (month and day 1).
void dtExtend(const DtFields& in, int fromQual, int toQual, DtFields& out);
DtFields dtNow();
int dtValidate(const DtFields& f, int qual);
// Difference a - b in hundred-thousandths of a second (both extended to YEAR TO F5).
int dtDiff(const DtFields& a, int qa, const DtFields& b, int qb, int64_t& out);
// a + interval (sign -1 subtracts); the result keeps qa. IXR_E_DT_OUT_OF_RANGE when out of range.
int dtAddInterval(const DtFields& a, int qa, int64_t iv, int qiv, int sign, DtFields& out);

// INTERVAL: text in the fields of qual, optionally signed.
int ivParse(std::string_view text, int qual, int64_t& out);
void ivFormat(int64_t value, int qual, std::string& out);
int ivFormatTo(int64_t value, int qual, char* buf);  // at least 48 bytes; answers the length
// Value of one unit of the interval's last field, in the interval's own unit
// (months or hundred-thousandths of a second).
int64_t ivUnit(int tu);
// Digits the leading field of an interval of qual may have (at most nine), and whether
// value fits them: every interval that is stored or computed must, or it is
// IXR_E_DT_OVERFLOW.
int ivLeadDigits(int qual);
bool ivFits(int64_t value, int qual);

// The public record and the field array.
void dtFromRecord(const struct IxrDateTime& r, DtFields& f);
void dtToRecord(const DtFields& f, int qual, struct IxrDateTime& r);

}  // namespace ixr
