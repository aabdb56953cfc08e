// ixr_decimal.h -- exact decimal numbers of the embedded Informix server: up to 32
// significant digits, kept as decimal digits with a scale. DECIMAL and MONEY columns
// store their canonical text (fixed scale, '.' as the point), so values round-trip.
// Threading: plain values, no shared state.
// Not here: SQL functions (ixr_sqlfn.cpp) and host-variable conversion (ixr_convert.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ixr {

constexpr int kDecMaxDigits = 32;  // significant digits a value keeps
constexpr int kDecFloating = 255;  // scale byte of a floating DECIMAL(p)

struct Dec {
  bool neg = false;
  int scale = 0;       // digits after the point
  int nd = 0;          // digit count; 0 is zero
  uint8_t d[96] = {};  // most significant first, no leading zeros
};

// Parses "[-+]digits[.digits][e[-+]n]" (blanks around allowed). Answers 0, or
// IXR_E_CHAR_TO_NUMBER for text that is not a number, IXR_E_DECIMAL_OVERFLOW beyond the digit
// limit.
int decParse(std::string_view text, Dec& out);
Dec decFromInt(int64_t v);
// Exact binary value of v rounded to 17 significant digits.
Dec decFromDouble(double v);

// Canonical text: exactly `scale` fraction digits (rounded half away from zero), or
// with scale < 0 the shortest exact text. "-0" never appears.
std::string decFormat(const Dec& v, int scale = -1);
void decFormatTo(const Dec& v, int scale, std::string& out);

double decToDouble(const Dec& v);
// Truncates toward zero; answers 0 or IXR_E_INT_OVERFLOW when out of int64 range.
int decToInt64(const Dec& v, int64_t& out);

int decCmp(const Dec& a, const Dec& b);
int decAdd(const Dec& a, const Dec& b, Dec& out);
int decSub(const Dec& a, const Dec& b, Dec& out);
int decMul(const Dec& a, const Dec& b, Dec& out);
int decDiv(const Dec& a, const Dec& b, Dec& out);  // IXR_E_DIVIDE_BY_ZERO on division by zero
Dec decNeg(const Dec& a);
// Rounds (or truncates) to `scale` fraction digits.
Dec decRound(const Dec& a, int scale, bool truncate = false);
// Fits a value to DECIMAL(precision, scale): rounds to the scale and answers IXR_E_DECIMAL_OVERFLOW
// when the integer part has more than precision - scale digits. A floating scale (kDecFloating)
// keeps `precision` significant digits.
int decFit(const Dec& a, int precision, int scale, Dec& out);
bool decIsZero(const Dec& a);
int decIntDigits(const Dec& a);

// Compares two canonical decimal texts numerically (the collation of DECIMAL columns);
// text that is not a number sorts after every number, bytewise among itself.
int decTextCmp(const char* a, int na, const char* b, int nb);

}  // namespace ixr
