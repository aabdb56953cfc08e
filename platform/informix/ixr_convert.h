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

// A value as SQLite keeps it. Text and blobs point at data/size; own holds the bytes when
// the value was made here.
struct Val {
  enum Kind { Null, Int, Real, Text, Blob } kind = Null;
  int64_t intValue = 0;
  double realValue = 0;
  const char* data = nullptr;
  int size = 0;
  std::string own;

  static Val null() { return {}; }
  static Val ofInt(int64_t v) {
    Val x;
    x.kind = Int;
    x.intValue = v;
    return x;
  }
  static Val ofReal(double v) {
    Val x;
    x.kind = Real;
    x.realValue = v;
    return x;
  }
  static Val ofText(std::string s, Kind kind = Text) {
    Val x;
    x.kind = kind;
    x.own = std::move(s);
    x.data = x.own.data();
    x.size = static_cast<int>(x.own.size());
    return x;
  }
  static Val view(const char* data, int size, Kind kind = Text) {
    Val x;
    x.kind = kind;
    x.data = data;
    x.size = size;
    return x;
  }
  Val(const Val& o) { *this = o; }
  Val& operator=(const Val& o) {
    kind = o.kind;
    intValue = o.intValue;
    realValue = o.realValue;
    own = o.own;
    size = o.size;
    data = o.data == o.own.data() ? own.data() : o.data;
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

// Binds host text `in` for a column of type `to` as it stands when converting it would
// give back the same bytes (a character column that needs no padding, what fits of it;
// decimal text already in the column's own form): true when bound, false when the value
// needs convertValue. With `borrow` the binding points into in's memory, which must then
// outlive every step of st until it is bound again or cleared.
bool bindTextAsIs(sqlite3_stmt* st, int idx, const Val& in, const IxType& to, bool borrow);

// Binds host variable `var` without going through a value when that gives what hostToVal
// and convertValue (to `to`; bindVal when `to` is null: a marker of unknown type) would
// bind: NULL, integers and floats into numeric columns of room enough, dates into DATE,
// text as bindTextAsIs takes it. False, with nothing bound, for everything else,
// refusals included. `borrow` as for bindTextAsIs.
bool bindHostAsIs(sqlite3_stmt* st, int idx, const IxrSqlVar& var, const IxType* to,
                  bool borrow);

// The value a marker's host variable binds as when the marker took type `to` from what
// it meets. Stored into a column (`store`) it is converted to the column's type as a
// literal would be. Anywhere else the type chooses only the kind of value: text keeps
// every character (no cut, no padding), numbers every digit (an integer type takes an
// integral value as an integer and any other as a float, a decimal type any decimal),
// dates, datetimes, intervals and blobs convert as for a column.
IxError markerValue(const Val& in, const IxType& from, const IxType& to, bool store, Val& out);

// The type bindHostAsIs may bind a marker's host variable for (see markerValue): `to`
// itself for a stored value, the kind's widest type otherwise, or null when a number is
// to be bound as it is. Answers `to` when nothing widens it; `room` holds a made type.
const IxType* markerBindType(const IxType& to, bool store, IxType& room);

// The type a host variable declares for a marker that takes its host's type (see
// MarkerTarget): numbers, dates and datetimes as themselves, text of more than 255 bytes
// as LVARCHAR; a code of -1 for other text and for locators.
IxType hostDeclaredType(const IxrSqlVar& var);

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
