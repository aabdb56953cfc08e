// ixr_translate_func.cpp -- the built-in functions and aggregates of the embedded
// server's SQL: their argument counts, result types and marker types, and their SQLite
// form (a SQLite built-in where it behaves as the Informix function, else one of the
// server's ix_* SQL functions). An unknown function fails with IXR_E_NO_ROUTINE.
// Threading: one Translator per thread.
// Not here: the SQL functions themselves (ixr_sqlfn.cpp).
#include "platform/informix/ixr_translator.h"

#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_decimal.h"

#include <algorithm>

namespace ixr {

IxError Translator::typeFunc(Expr* e, Scope* sc) {
  const std::string& f = e->op;
  bool agg = f == "count" || f == "sum" || f == "avg" || f == "min" || f == "max";
  if (agg) {
    if (!sc->aggOk) return fail(ixErr(IXR_E_SYNTAX, f));
    // An aggregate's argument may not hold another aggregate of the same level.
    bool saved = sc->aggOk;
    sc->aggOk = false;
    for (Expr* a : e->args)
      if (a->kind != ExprKind::Star && type(a, sc)) {
        sc->aggOk = saved;
        return err_;
      }
    sc->aggOk = saved;
    e->aggregate = true;
    if (e->args.size() != 1) return fail(ixErr(IXR_E_SYNTAX, f));
    if (e->args[0]->kind == ExprKind::Star && f != "count") return fail(ixErr(IXR_E_SYNTAX, "*"));
    const IxType& at = e->args[0]->type;
    int c = baseType(at.code);
    if (f == "count")
      e->type = tDecimal(15, 0);
    else if (f == "min" || f == "max")
      e->type = at;
    else if (c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT)
      e->type = tFloat();
    else if (f == "avg")
      e->type = tDecimal(32, kDecFloating);
    else if (isDecimalType(c))
      e->type = {static_cast<int16_t>(c), (32 << 8) | decScale(at)};
    else if (isIntType(c))
      e->type = tDecimal(32, 0);
    else
      return fail(ixErr(IXR_E_BAD_CONVERSION, f));
    if (e->type.code == IXR_TYPE_SERIAL) e->type = tInteger();
    e->type.notnull = false;
    e->typed = true;
    return {};
  }
  for (Expr* a : e->args)
    if (type(a, sc)) return err_;
  auto argc = e->args.size();
  auto need = [&](size_t lo, size_t hi) {
    if (argc < lo || argc > hi) fail(ixErr(IXR_E_SYNTAX, f));
    return !err_;
  };
  auto argType = [&](size_t k) -> const IxType& { return e->args[k]->type; };
  auto strFn = [&](int len) {
    e->type = len <= 255 ? tVarchar(std::max(1, len)) : tLvarchar(std::min(len, 32739));
  };
  if (f == "length" || f == "char_length" || f == "character_length" || f == "octet_length") {
    if (!need(1, 1)) return err_;
    e->type = tInteger();
  } else if (f == "upper" || f == "lower" || f == "initcap") {
    if (!need(1, 1)) return err_;
    e->type = isCharType(argType(0).code) ? argType(0) : tVarchar(255);
    e->type.notnull = false;
  } else if (f == "trim" || f == "ltrim" || f == "rtrim") {
    if (!need(1, 3)) return err_;
    strFn(isCharType(argType(0).code) ? charLength(argType(0)) : 255);
  } else if (f == "substr") {
    if (!need(2, 3)) return err_;
    int n = charLength(argType(0));
    if (argc == 3 && e->args[2]->kind == ExprKind::Literal &&
        e->args[2]->literal == LiteralKind::Int)
      n = std::min(n, literalInt(e->args[2]->text, 1, 32767));
    strFn(isCharType(argType(0).code) ? n : 255);
    for (size_t k = 1; k < argc; ++k) target(e->args[k], tInteger());
  } else if (f == "replace") {
    if (!need(2, 3)) return err_;
    // Every character of the text may become the whole replacement.
    const int64_t len = isCharType(argType(0).code) ? charLength(argType(0)) : 255;
    const int64_t by =
        argc < 3 ? 1 : isCharType(argType(2).code) ? std::max(1, charLength(argType(2))) : 255;
    strFn(static_cast<int>(std::min<int64_t>(32739, len * by)));
  } else if (f == "lpad" || f == "rpad") {
    if (!need(2, 3)) return err_;
    int n = 255;
    if (e->args[1]->kind == ExprKind::Literal && e->args[1]->literal == LiteralKind::Int)
      n = literalInt(e->args[1]->text, 1, 32739);
    strFn(n);
    target(e->args[1], tInteger());
  } else if (f == "concat") {
    if (!need(2, 2)) return err_;
    strFn(std::min(32739, charLength(argType(0)) + charLength(argType(1))));
  } else if (f == "abs") {
    if (!need(1, 1)) return err_;
    e->type = isNumericType(argType(0).code) ? argType(0) : tDecimal(32, kDecFloating);
    if (baseType(e->type.code) == IXR_TYPE_SERIAL) e->type = tInteger();
    e->type.notnull = false;
  } else if (f == "mod") {
    if (!need(2, 2)) return err_;
    e->type = tInteger();
  } else if (f == "round" || f == "trunc") {
    if (!need(1, 2)) return err_;
    int c = baseType(argType(0).code);
    if (c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT)
      e->type = tFloat();
    else if (isIntType(c))
      e->type = tInteger();
    else {
      int s = 0;
      if (argc == 2 && e->args[1]->kind == ExprKind::Literal &&
          e->args[1]->literal == LiteralKind::Int)
        s = literalInt(e->args[1]->text, 0, 32);
      e->type = tDecimal(32, std::min(32, s));
    }
    if (argc == 2) target(e->args[1], tInteger());
  } else if (f == "pow" || f == "power" || f == "sqrt" || f == "exp" || f == "logn" || f == "ln" ||
             f == "log10" || f == "sin" || f == "cos" || f == "tan" || f == "asin" || f == "acos" ||
             f == "atan" || f == "atan2" || f == "root" || f == "ceil" || f == "floor" ||
             f == "ceiling") {
    if (!need(1, 2)) return err_;
    e->type = tFloat();
    for (size_t k = 0; k < argc; ++k) target(e->args[k], tFloat());
  } else if (f == "day" || f == "month" || f == "year" || f == "weekday") {
    if (!need(1, 1)) return err_;
    target(e->args[0], tDate());
    e->type = tSmallint();
  } else if (f == "mdy") {
    if (!need(3, 3)) return err_;
    for (Expr* a : e->args) target(a, tInteger());
    e->type = tDate();
  } else if (f == "date") {
    if (!need(1, 1)) return err_;
    target(e->args[0], tDate());
    e->type = tDate();
  } else if (f == "nvl") {
    if (!need(2, 2)) return err_;
    e->type = isNullLit(e->args[0]) ? argType(1) : widerText(argType(0), argType(1));
    e->type.notnull = false;
    // A host value it may answer is no shorter for the other argument's type.
    if (e->args[1]->kind == ExprKind::Marker) {
      e->type = markerResultType(e->type);
      target(e->args[1], e->type);
    } else if (e->args[0]->kind == ExprKind::Marker && isCharType(argType(1).code)) {
      e->type = markerResultType(argType(1));
      e->type.notnull = false;
      target(e->args[0], e->type);
    }
  } else if (f == "decode") {
    if (argc < 3) return fail(ixErr(IXR_E_SYNTAX, f));
    bool got = false;
    for (size_t k = 2; k < argc; k += 2)
      if (!got && !isNullLit(e->args[k])) {
        e->type = argType(k);
        got = true;
      }
    if (argc % 2 == 0 && !got) e->type = argType(argc - 1);
    if (!got && argc % 2 != 0) e->type = tChar(1);
    // Text as long as the longest text it may answer, the default's too.
    for (size_t k = 2; k < argc; k += 2)
      if (!isNullLit(e->args[k])) e->type = widerText(e->type, argType(k));
    if (argc % 2 == 0 && !isNullLit(e->args[argc - 1]))
      e->type = widerText(e->type, argType(argc - 1));
    bool markerResult = false;
    for (size_t k = 2; k < argc; k += 2)
      markerResult = markerResult || e->args[k]->kind == ExprKind::Marker;
    if (argc % 2 == 0) markerResult = markerResult || e->args[argc - 1]->kind == ExprKind::Marker;
    if (markerResult) {
      e->type = markerResultType(e->type);
      for (size_t k = 2; k < argc; k += 2)
        if (e->args[k]->kind == ExprKind::Marker) target(e->args[k], e->type);
      if (argc % 2 == 0 && e->args[argc - 1]->kind == ExprKind::Marker)
        target(e->args[argc - 1], e->type);
    }
    for (size_t k = 1; k + 1 < argc; k += 2) target(e->args[k], argType(0));
  } else if (f == "hex") {
    if (!need(1, 1)) return err_;
    e->type = tChar(10);
  } else if (f == "to_char") {
    if (!need(1, 2)) return err_;
    e->type = tVarchar(255);
  } else if (f == "to_date") {
    if (!need(1, 2)) return err_;
    e->type = tDatetime(IXR_QUAL_YEAR_TO_F5);
  } else if (f == "dbinfo") {
    if (!need(1, 2) || e->args[0]->kind != ExprKind::Literal) return fail(ixErr(IXR_E_SYNTAX, f));
    std::string key = e->args[0]->text;
    for (auto& ch : key) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    e->args[0]->text = key;
    if (key == "sqlca.sqlerrd1" || key == "sqlca.sqlerrd2" || key == "sessionid" ||
        key == "utc_current")
      e->type = tInteger();
    else
      e->type = tVarchar(128);
  } else {
    return fail(ixErr(IXR_E_NO_ROUTINE, f));
  }
  e->typed = true;
  return err_;
}

std::string Translator::emitFunc(Expr* e, Scope* sc) {
  const std::string& f = e->op;
  auto arg = [&](size_t k) { return emit(e->args[k], sc); };
  auto argAs = [&](size_t k, const IxType& t) { return emitAs(e->args[k], t, sc); };
  auto text = [&](size_t k) {
    return isCharType(e->args[k]->type.code) ? arg(k) : argAs(k, tLvarchar(32739));
  };
  size_t argc = e->args.size();
  if (e->aggregate) {
    std::string dist = e->distinct ? "DISTINCT " : "";
    if (e->args[0]->kind == ExprKind::Star) return "count(*)";
    int c = baseType(e->args[0]->type.code);
    bool real = c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT;
    if (f == "count") return "count(" + dist + arg(0) + ")";
    if (f == "sum") return (real ? "sum(" : "ix_sum(") + dist + arg(0) + ")";
    if (f == "avg") return (real ? "avg(" : "ix_avg(") + dist + arg(0) + ")";
    return f + "(" + dist + arg(0) + ")";
  }
  if (f == "length") return "length(rtrim(" + text(0) + ", ' '))";
  if (f == "char_length" || f == "character_length") return "length(" + text(0) + ")";
  if (f == "octet_length") return "length(CAST(" + text(0) + " AS BLOB))";
  if (f == "upper" || f == "lower") return f + "(" + text(0) + ")";
  if (f == "initcap") return "ix_initcap(" + text(0) + ")";
  if (f == "trim" || f == "ltrim" || f == "rtrim") {
    std::string mode = f == "ltrim" ? "leading" : f == "rtrim" ? "trailing" : "both";
    std::string chars = "' '";
    if (f == "trim") {
      mode = e->args[1]->text;
      if (argc == 3) chars = text(2);
    } else if (argc == 2) {
      chars = text(1);
    }
    const char* fn = mode == "leading" ? "ltrim" : mode == "trailing" ? "rtrim" : "trim";
    return std::string(fn) + "(" + text(0) + ", " + chars + ")";
  }
  if (f == "substr") {
    std::string s = "substr(" + text(0) + ", " + argAs(1, tInteger());
    if (argc == 3) s += ", " + argAs(2, tInteger());
    return s + ")";
  }
  if (f == "replace")
    return "replace(" + text(0) + ", " + text(1) + ", " + (argc == 3 ? text(2) : "''") + ")";
  if (f == "lpad" || f == "rpad")
    return "ix_" + f + "(" + text(0) + ", " + argAs(1, tInteger()) + ", " +
           (argc == 3 ? text(2) : "' '") + ")";
  if (f == "concat") return "(" + text(0) + " || " + text(1) + ")";
  if (f == "abs")
    return isDecimalType(e->type.code) ? "ix_dabs(" + arg(0) + ")" : "abs(" + arg(0) + ")";
  if (f == "mod") return "(" + argAs(0, tInteger()) + " % " + argAs(1, tInteger()) + ")";
  if (f == "round" || f == "trunc") {
    int c = baseType(e->args[0]->type.code);
    std::string n = argc == 2 ? argAs(1, tInteger()) : "0";
    if (c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT)
      return "CAST(ix_" + f + "(" + arg(0) + ", " + n + ") AS REAL)";
    std::string r = "ix_" + f + "(" +
                    (isNumericType(c) ? arg(0) : argAs(0, tDecimal(32, kDecFloating))) + ", " + n +
                    ")";
    return isIntType(e->type.code) ? "CAST(" + r + " AS INTEGER)" : r;
  }
  if (f == "ceil" || f == "ceiling") return "ceil(" + argAs(0, tFloat()) + ")";
  if (f == "floor") return "floor(" + argAs(0, tFloat()) + ")";
  if (f == "pow" || f == "power")
    return "pow(" + argAs(0, tFloat()) + ", " + argAs(1, tFloat()) + ")";
  if (f == "root")
    return "pow(" + argAs(0, tFloat()) + ", 1.0 / " + (argc == 2 ? argAs(1, tFloat()) : "2.0") +
           ")";
  if (f == "logn" || f == "ln") return "ln(" + argAs(0, tFloat()) + ")";
  if (f == "sqrt" || f == "exp" || f == "log10" || f == "sin" || f == "cos" || f == "tan" ||
      f == "asin" || f == "acos" || f == "atan")
    return f + "(" + argAs(0, tFloat()) + ")";
  if (f == "atan2") return "atan2(" + argAs(0, tFloat()) + ", " + argAs(1, tFloat()) + ")";
  if (f == "day" || f == "month" || f == "year" || f == "weekday") {
    int part = f == "year" ? 0 : f == "month" ? 1 : f == "day" ? 2 : 3;
    const IxType& t = e->args[0]->type;
    if (baseType(t.code) == IXR_TYPE_DATETIME)
      return "ix_part(" + arg(0) + ", " + std::to_string(t.len) + ", " + std::to_string(part) + ")";
    return "ix_part(" + argAs(0, tDate()) + ", 0, " + std::to_string(part) + ")";
  }
  if (f == "mdy")
    return "ix_mdy(" + argAs(0, tInteger()) + ", " + argAs(1, tInteger()) + ", " +
           argAs(2, tInteger()) + ")";
  if (f == "date") return argAs(0, tDate());
  if (f == "nvl") return "coalesce(" + argAs(0, e->type) + ", " + argAs(1, e->type) + ")";
  if (f == "decode") {
    std::string s = "CASE " + arg(0);
    size_t k = 1;
    for (; k + 1 < argc; k += 2)
      s += " WHEN " + argAs(k, e->args[0]->type) + " THEN " + argAs(k + 1, e->type);
    if (k < argc) s += " ELSE " + argAs(k, e->type);
    return s + " END";
  }
  if (f == "hex") return "printf('0x%08X', " + argAs(0, tInteger()) + ")";
  if (f == "to_char") {
    const IxType& t = e->args[0]->type;
    return "ix_tochar(" + arg(0) + ", " + std::to_string(baseType(t.code)) + ", " +
           std::to_string(t.len) + ", " + (argc == 2 ? text(1) : "NULL") + ")";
  }
  if (f == "to_date") return "ix_todate(" + text(0) + ", " + (argc == 2 ? text(1) : "NULL") + ")";
  if (f == "dbinfo") {
    const std::string& key = e->args[0]->text;
    if (key == "dbname") return quoteStr(ctx_.dbname);
    if (key == "dbhostname" || key == "servername") return quoteStr(ctx_.server);
    return "ix_dbinfo(" + quoteStr(key) + ")";
  }
  return "NULL";
}

}  // namespace ixr
