// ixr_convert.h -- conversions between Informix types inside the embedded server: a
// stored value of one type into the stored form of another (for literals, CAST, INSERT
// and UPDATE targets and mixed comparisons), and host variables to and from values.
// Every road goes through convertValue, so text, numbers and dates convert alike
// whether they come from SQL, a host variable or a column.
// Threading: pure functions.
#pragma once

#include "platform/informix/ixr_api.h"
#include "platform/informix/ixr_errors.h"
#include "platform/informix/ixr_types.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace ixr {

// A value as SQLite keeps it. Text and blobs point at p/n; own holds the bytes when the
// value was made here.
struct Val {
  enum Kind { Null, Int, Real, Text, Blob } k = Null;
  int64_t i = 0;
  double r = 0;
  const char* p = nullptr;
  int n = 0;
  std::string own;

  static Val null() { return {}; }
  static Val ofInt(int64_t v) {
    Val x;
    x.k = Int;
    x.i = v;
    return x;
  }
  static Val ofReal(double v) {
    Val x;
    x.k = Real;
    x.r = v;
    return x;
  }
  static Val ofText(std::string s, Kind k = Text) {
    Val x;
    x.k = k;
    x.own = std::move(s);
    x.p = x.own.data();
    x.n = static_cast<int>(x.own.size());
    return x;
  }
  static Val view(const char* p, int n, Kind k = Text) {
    Val x;
    x.k = k;
    x.p = p;
    x.n = n;
    return x;
  }
  Val(const Val& o) { *this = o; }
  Val& operator=(const Val& o) {
    k = o.k;
    i = o.i;
    r = o.r;
    own = o.own;
    n = o.n;
    p = o.p == o.own.data() ? own.data() : o.p;
    return *this;
  }
  Val() = default;
};

Val fromSqliteValue(sqlite3_value* v);
Val fromColumn(sqlite3_stmt* st, int col);
void bindVal(sqlite3_stmt* st, int idx, const Val& v);
void resultVal(sqlite3_context* ctx, const Val& v);

// Converts `in` (a value of type `from`, in whatever storage SQLite gave it) into the
// stored form of `to`. Character targets are padded (CHAR) or cut (VARCHAR) to length.
IxError convertValue(const Val& in, const IxType& from, const IxType& to, Val& out);

// The value as Informix shows it in text: DATE mm/dd/yyyy, DECIMAL with its scale, ...
IxError valueToText(const Val& in, const IxType& from, std::string& out);

// An SQL literal of a stored value ("NULL", 12, 'text', X'..').
std::string sqlLiteral(const Val& v);

// Host variable of an input area as a value and the type it stands for. A NULL
// indicator (or locator indicator) gives a NULL value.
IxError hostToVal(const IxrSqlVar& var, Val& out, IxType& type);

// Stores a column value of type `from` into an output host variable, setting its
// indicator: -1 NULL, 0, or the full length when text was cut.
IxError valToHost(const Val& in, const IxType& from, IxrSqlVar& var);

}  // namespace ixr
