// ixr_translate_expr.cpp -- typing and SQLite emission of Informix expressions: names
// resolved through the scopes, literals and markers typed by what they meet, arithmetic
// over numbers, dates, datetimes and intervals, comparisons that keep Informix semantics
// (CHAR compares without trailing blanks, DECIMAL numerically), and constants converted
// at translate time. Operands of mixed types are wrapped in the server's SQL functions
// (ix_conv, ix_dcmp, ix_dadd, ...).
// Threading: one Translator per thread.
// Not here: function calls (ixr_translate_func.cpp) and query structure (ixr_translate.cpp).
#include "platform/informix/ixr_translator.h"

#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_decimal.h"

#include <algorithm>

namespace ixr {
namespace {

bool isConst(const Expr* e) {
  return e->kind == ExprKind::Literal || e->kind == ExprKind::DatetimeLiteral ||
         e->kind == ExprKind::IntervalLiteral;
}

bool isSimpleCol(const Expr* e) { return e->kind == ExprKind::Column && !e->rowid; }

// What a constant or marker compared with a value of type t converts to: character
// values keep their whole length (a longer text must not compare equal to a cut one).
IxType cmpType(const IxType& t) {
  if (isCharType(t.code) && baseType(t.code) != IXR_TYPE_TEXT) return tLvarchar(32739);
  return t;
}

// What a marker operand of arithmetic converts to beside a value of type t: a day count
// beside a date, and beside another number a number of every digit the host value has
// (a neighbour's scale or range must not round or refuse it).
IxType arithMarkerType(const IxType& t) {
  const int c = baseType(t.code);
  if (c == IXR_TYPE_DATE) return tInteger();
  if (isIntType(c) || isDecimalType(c)) return tDecimal(kDecMaxDigits, kDecFloating);
  if (c == IXR_TYPE_SMALLFLOAT) return tFloat();
  return t;
}

// A decimal literal beside a value of type t keeps its own precision (an integer or
// decimal t would cut its fraction or round it to t's scale).
bool ownDecimal(const Expr* c, const IxType& t) {
  return c->kind == ExprKind::Literal && c->literal == LiteralKind::Decimal &&
         (isIntType(t.code) || isDecimalType(t.code));
}

int commonDtQual(int a, int b) {
  int first = std::min(IXR_QUAL_FIRST(a), IXR_QUAL_FIRST(b));
  int last = std::max(IXR_QUAL_LAST(a), IXR_QUAL_LAST(b));
  return qualMake(first, last, 0, false);
}

IxType numericResult(const IxType& a, const IxType& b, const std::string& op) {
  int ca = baseType(a.code), cb = baseType(b.code);
  bool fa = ca == IXR_TYPE_FLOAT || ca == IXR_TYPE_SMALLFLOAT;
  bool fb = cb == IXR_TYPE_FLOAT || cb == IXR_TYPE_SMALLFLOAT;
  if (fa || fb) return tFloat();
  bool da = isDecimalType(ca), db = isDecimalType(cb);
  bool ia = isIntType(ca), ib = isIntType(cb);
  if (ia && ib && op != "/") return tInteger();
  if (op == "/") return tDecimal(32, kDecFloating);
  int sa = da ? decScale(a) : 0, sb = db ? decScale(b) : 0;
  if ((!da && !ia) || (!db && !ib)) return tDecimal(32, kDecFloating);  // text operands
  if (sa == kDecFloating || sb == kDecFloating) return tDecimal(32, kDecFloating);
  int s = op == "*" ? std::min(32, sa + sb) : std::max(sa, sb);
  IxType r = tDecimal(32, s);
  if (ca == IXR_TYPE_MONEY || cb == IXR_TYPE_MONEY) r.code = IXR_TYPE_MONEY;
  return r;
}

}  // namespace

bool isNullLit(const Expr* e) {
  return e->kind == ExprKind::Literal && e->literal == LiteralKind::Null;
}

IxType markerResultType(const IxType& t) {
  const int c = baseType(t.code);
  if (isCharType(c) && c != IXR_TYPE_TEXT) return tLvarchar(32739);
  if (isIntType(c) || isDecimalType(c)) return tDecimal(kDecMaxDigits, kDecFloating);
  if (c == IXR_TYPE_SMALLFLOAT) return tFloat();
  return t;
}

IxType widerText(const IxType& t, const IxType& other) {
  const int a = baseType(t.code), b = baseType(other.code);
  if (!isCharType(a) || !isCharType(b) || a == IXR_TYPE_TEXT || b == IXR_TYPE_TEXT) return t;
  const int n = std::max(charLength(t), charLength(other));
  if (n <= charLength(t)) return t;
  if (isPaddedChar(a) && isPaddedChar(b)) return tChar(n);
  return n <= 255 ? tVarchar(n) : tLvarchar(std::min(n, 32739));
}

IxType litType(const Expr* e) {
  switch (e->literal) {
    case LiteralKind::Int: {
      Dec d;
      decParse(e->text, d);
      int64_t v = 0;
      if (decToInt64(d, v) == 0 && v >= INT32_MIN + 1 && v <= INT32_MAX) return tInteger();
      return tDecimal(std::min(32, std::max(1, d.nd)), 0);
    }
    case LiteralKind::Decimal: {
      Dec d;
      decParse(e->text, d);
      int s = std::max(0, d.scale);
      int p = std::max(d.nd, s);
      if (p < 1) p = 1;
      return tDecimal(std::min(32, p), std::min(s, 32));
    }
    case LiteralKind::Float: return tFloat();
    case LiteralKind::String: return tChar(std::max<int>(1, static_cast<int>(e->text.size())));
    case LiteralKind::Null: return tChar(1);
  }
  return tChar(1);
}

Val litVal(const Expr* e) {
  switch (e->literal) {
    case LiteralKind::Int: {
      Dec d;
      int64_t v;
      if (decParse(e->text, d) == 0 && decToInt64(d, v) == 0) return Val::ofInt(v);
      return Val::ofText(e->text);
    }
    case LiteralKind::Decimal: return Val::ofText(e->text);
    case LiteralKind::Float: {
      Dec d;
      decParse(e->text, d);
      return Val::ofReal(decToDouble(d));
    }
    case LiteralKind::String: return Val::ofText(e->text);
    case LiteralKind::Null: return Val::null();
  }
  return Val::null();
}

// ------------------------------------------------------------------------- typing

IxError Translator::typeCol(Expr* e, Scope* sc) {
  int depth = 0;
  for (Scope* s = sc; s; s = s->parent, ++depth) {
    int found = -1, col = -1;
    for (size_t t = 0; t < s->tables.size(); ++t) {
      if (!e->qual.empty() && s->names[t] != e->qual) continue;
      if (e->text == "rowid" && s->tables[t]->def->tabtype != 'Q' &&
          s->tables[t]->def->find("rowid") < 0) {
        if (e->qual.empty() && s->tables.size() > 1) continue;
        found = static_cast<int>(t);
        col = -2;
        break;
      }
      int c = s->tables[t]->def->find(e->text);
      if (c < 0) continue;
      if (found >= 0) return fail(ixErr(IXR_E_AMBIGUOUS, e->text));
      found = static_cast<int>(t);
      col = c;
    }
    if (found >= 0) {
      e->tableIdx = found;
      e->depth = depth;
      if (col == -2) {
        e->rowid = true;
        e->type = tInteger();
      } else {
        e->colIdx = col;
        e->type = s->tables[static_cast<size_t>(found)]->def->cols[static_cast<size_t>(col)].type;
      }
      e->typed = true;
      return {};
    }
    if (!e->qual.empty()) {
      bool tableKnown = false;
      for (auto& n : s->names)
        if (n == e->qual) tableKnown = true;
      if (tableKnown) return fail(ixErr(IXR_E_NO_COLUMN, e->qual + "." + e->text));
    }
  }
  if (!e->qual.empty()) {
    bool any = false;
    for (Scope* s = sc; s; s = s->parent)
      for (auto& n : s->names)
        if (n == e->qual) any = true;
    if (!any) return fail(ixErr(IXR_E_NO_TABLE, e->qual));
  }
  return fail(ixErr(IXR_E_NO_COLUMN, e->qual.empty() ? e->text : e->qual + "." + e->text));
}

IxError Translator::type(Expr* e, Scope* sc) {
  if (err_) return err_;
  for (Expr* a : e->args)
    if (e->kind != ExprKind::Function && e->kind != ExprKind::Case && e->kind != ExprKind::Cast &&
        type(a, sc))
      return err_;
  switch (e->kind) {
    case ExprKind::Literal: e->type = litType(e); break;
    case ExprKind::Marker: {
      // Until something gives it a type, a marker has its host variable's.
      MarkerTarget& m = out_.markers[static_cast<size_t>(e->marker)];
      m.seen = true;
      const IxType* h = m.known ? nullptr : hostOf(e->marker);
      e->type = h ? *h : tVarchar(255);
      break;
    }
    case ExprKind::Variable:
      if (!ctx_.varTypes || e->slot < 0 || static_cast<size_t>(e->slot) >= ctx_.varTypes->size())
        return fail(ixErr(IXR_E_NO_COLUMN, e->text));
      e->type = (*ctx_.varTypes)[static_cast<size_t>(e->slot)];
      break;
    case ExprKind::Column: return typeCol(e, sc);
    case ExprKind::Star: return fail(ixErr(IXR_E_SYNTAX, "*"));
    case ExprKind::Negate: e->type = e->args[0]->type; break;
    case ExprKind::Binary: {
      Expr* a = e->args[0];
      Expr* b = e->args[1];
      if (e->op == "|") {
        // Text joins text of any length: a marker is neither cut to its neighbour's
        // length nor does it bound the result's.
        target(a, tText());
        target(b, tText());
      } else {
        if (a->kind == ExprKind::Marker && b->kind != ExprKind::Marker)
          target(a, arithMarkerType(b->type), {}, false, b);
        if (b->kind == ExprKind::Marker && a->kind != ExprKind::Marker)
          target(b, arithMarkerType(a->type), {}, false, a);
      }
      auto strLit = [](const Expr* x) {
        return x->kind == ExprKind::Literal && x->literal == LiteralKind::String;
      };
      if ((e->op == "+" || e->op == "-") && strLit(a) && baseType(b->type.code) == IXR_TYPE_DATE)
        a->type = tDate();
      if ((e->op == "+" || e->op == "-") && strLit(b) && baseType(a->type.code) == IXR_TYPE_DATE)
        b->type = tDate();
      int ca = baseType(a->type.code), cb = baseType(b->type.code);
      if (e->op == "|") {
        int la = charLength(a->type), lb = charLength(b->type);
        if (!isCharType(ca)) la = displayWidth(ca, a->type.len);
        if (!isCharType(cb)) lb = displayWidth(cb, b->type.len);
        int64_t total = static_cast<int64_t>(la) + lb;
        if (isPaddedChar(ca) && isPaddedChar(cb) && total <= 32767)
          e->type = tChar(static_cast<int>(total));
        else if (total <= 255)
          e->type = tVarchar(static_cast<int>(total));
        else
          e->type = tLvarchar(static_cast<int>(std::min<int64_t>(total, 32739)));
        break;
      }
      bool dtA = ca == IXR_TYPE_DATETIME, dtB = cb == IXR_TYPE_DATETIME;
      bool ivA = ca == IXR_TYPE_INTERVAL, ivB = cb == IXR_TYPE_INTERVAL;
      bool dA = ca == IXR_TYPE_DATE, dB = cb == IXR_TYPE_DATE;
      if (e->op == "+" || e->op == "-") {
        if (dA && dB && e->op == "-")
          e->type = tInteger();
        else if (dA && !ivB)
          e->type = tDate();
        else if (dB && !ivA && e->op == "+")
          e->type = tDate();
        else if ((dtA || dA) && ivB)
          e->type = dtA ? a->type
                        : tDatetime(qualMake(IXR_TU_YEAR,
                                             IXR_QUAL_LAST(b->type.len) < IXR_TU_DAY
                                                 ? IXR_TU_DAY
                                                 : IXR_QUAL_LAST(b->type.len),
                                             0, false));
        else if (ivA && (dtB || dB) && e->op == "+")
          e->type = dtB ? b->type : tDate();
        else if (dtA && dtB && e->op == "-") {
          int last = std::max(IXR_QUAL_LAST(a->type.len), IXR_QUAL_LAST(b->type.len));
          if (last < IXR_TU_DAY) last = IXR_TU_DAY;
          e->type = tInterval(qualMake(IXR_TU_DAY, last, 9, true));
        } else if (ivA && ivB) {
          if (ivIsMonths(a->type.len) != ivIsMonths(b->type.len))
            return fail(ixErr(IXR_E_DT_INCOMPATIBLE));
          e->type = a->type;
        } else if (dtA || dtB || ivA || ivB) {
          return fail(ixErr(IXR_E_DT_INCOMPATIBLE));
        } else {
          e->type = numericResult(a->type, b->type, e->op);
        }
      } else {
        if (ivA && !ivB)
          e->type = a->type;
        else if (ivB && !ivA && e->op == "*")
          e->type = b->type;
        else if (dtA || dtB || dA || dB || ivA || ivB)
          return fail(ixErr(IXR_E_DT_INCOMPATIBLE));
        else
          e->type = numericResult(a->type, b->type, e->op);
      }
      break;
    }
    case ExprKind::Compare:
    case ExprKind::Between:
    case ExprKind::Like:
      for (size_t k = 1; k < e->args.size(); ++k) {
        if (e->kind == ExprKind::Like) {
          target(e->args[k], tLvarchar(32739));
          continue;
        }
        if (e->args[k]->kind == ExprKind::Marker)
          target(e->args[k], cmpType(e->args[0]->type), {}, false, e->args[0]);
      }
      if (e->args[0]->kind == ExprKind::Marker && e->args.size() > 1)
        target(e->args[0], cmpType(e->args[1]->type), {}, false, e->args[1]);
      e->type = tSmallint();
      break;
    case ExprKind::In:
      if (e->subquery) {
        std::string sql;
        std::vector<ResultCol> cols;
        if (auto er = query(e->subquery, sc, sql, cols, false)) return er;
        if (cols.size() != 1) return fail(ixErr(IXR_E_SYNTAX, "IN"));
        subSql_[e->subquery] = sql;
        if (e->args[0]->kind == ExprKind::Marker) target(e->args[0], cmpType(cols[0].type));
      } else {
        for (size_t k = 1; k < e->args.size(); ++k)
          if (e->args[k]->kind == ExprKind::Marker)
            target(e->args[k], cmpType(e->args[0]->type), {}, false, e->args[0]);
      }
      e->type = tSmallint();
      break;
    case ExprKind::Exists:
    case ExprKind::Subquery: {
      std::string sql;
      std::vector<ResultCol> cols;
      if (auto er = query(e->subquery, sc, sql, cols, false)) return er;
      subSql_[e->subquery] = sql;
      if (e->kind == ExprKind::Subquery) {
        if (cols.size() != 1) return fail(ixErr(IXR_E_SYNTAX, "subquery"));
        e->type = cols[0].type;
      } else {
        e->type = tSmallint();
      }
      break;
    }
    case ExprKind::And:
    case ExprKind::Or:
    case ExprKind::Not:
    case ExprKind::IsNull: e->type = tSmallint(); break;
    case ExprKind::Case: {
      for (Expr* a : e->args)
        if (type(a, sc)) return err_;
      size_t k = e->hasOperand ? 1 : 0;
      bool got = false;
      for (; k + 1 < e->args.size(); k += 2) {
        if (e->hasOperand && e->args[k]->kind == ExprKind::Marker)
          target(e->args[k], e->args[0]->type, {}, false, e->args[0]);
        Expr* res = e->args[k + 1];
        if (!got && !isNullLit(res) && res->kind != ExprKind::Marker) {
          e->type = res->type;
          got = true;
        }
      }
      if (e->hasElse && !got && !isNullLit(e->args.back())) {
        e->type = e->args.back()->type;
        got = true;
      }
      if (!got) e->type = tChar(1);
      // Text as long as the longest text the CASE may answer.
      for (k = e->hasOperand ? 2 : 1; k < e->args.size(); k += 2)
        if (!isNullLit(e->args[k]) && e->args[k]->kind != ExprKind::Marker)
          e->type = widerText(e->type, e->args[k]->type);
      if (e->hasElse && !isNullLit(e->args.back()) && e->args.back()->kind != ExprKind::Marker)
        e->type = widerText(e->type, e->args.back()->type);
      bool markerResult = false;
      for (k = e->hasOperand ? 2 : 1; k < e->args.size(); k += 2)
        markerResult = markerResult || e->args[k]->kind == ExprKind::Marker;
      if (e->hasElse && e->args.back()->kind == ExprKind::Marker) markerResult = true;
      // A host value the CASE may answer is no shorter for its neighbours' types.
      if (markerResult) e->type = markerResultType(e->type);
      for (k = e->hasOperand ? 2 : 1; k < e->args.size(); k += 2)
        if (e->args[k]->kind == ExprKind::Marker) target(e->args[k], e->type);
      if (e->hasElse && e->args.back()->kind == ExprKind::Marker) target(e->args.back(), e->type);
      break;
    }
    case ExprKind::Cast:
      if (type(e->args[0], sc)) return err_;
      if (e->args[0]->kind == ExprKind::Marker) target(e->args[0], e->castType);
      e->type = e->castType;
      if (baseType(e->type.code) == IXR_TYPE_VARCHAR && e->type.len == 0) e->type = tVarchar(255);
      break;
    case ExprKind::Function: return typeFunc(e, sc);
    case ExprKind::Today: e->type = tDate(); break;
    case ExprKind::Current: e->type = tDatetime(e->dtQual); break;
    case ExprKind::User: e->type = tVarchar(32); break;
    case ExprKind::DbServer: e->type = tVarchar(128); break;
    case ExprKind::DatetimeLiteral: {
      DtFields f;
      if (int rc = dtParse(e->text, e->dtQual, f)) return fail(ixErr(rc));
      e->type = tDatetime(e->dtQual);
      break;
    }
    case ExprKind::IntervalLiteral: {
      int64_t v;
      if (int rc = ivParse(e->text, e->dtQual, v)) return fail(ixErr(rc));
      e->type = tInterval(e->dtQual);
      break;
    }
    case ExprKind::Units: {
      int c = baseType(e->args[0]->type.code);
      if (!isNumericType(c) && e->args[0]->kind != ExprKind::Marker)
        return fail(ixErr(IXR_E_BAD_CONVERSION));
      if (e->args[0]->kind == ExprKind::Marker) target(e->args[0], tInteger());
      e->type = tInterval(e->dtQual);
      break;
    }
    case ExprKind::Substring: {
      int n = 255;
      Expr* a = e->args[1];
      Expr* b = e->args[2];
      if (a->kind == ExprKind::Literal && b->kind == ExprKind::Literal &&
          a->literal == LiteralKind::Int && b->literal == LiteralKind::Int)
        n = std::clamp(literalInt(b->text, -32767, 32767) - literalInt(a->text, -32767, 32767) + 1,
                       1, 32767);
      e->type = isPaddedChar(e->args[0]->type.code) ? tChar(n) : tVarchar(std::min(n, 255));
      break;
    }
    case ExprKind::Extend: {
      int c = baseType(e->args[0]->type.code);
      int from = c == IXR_TYPE_DATETIME ? e->args[0]->type.len
                                        : qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false);
      if (c != IXR_TYPE_DATETIME && c != IXR_TYPE_DATE && e->args[0]->kind != ExprKind::Literal)
        return fail(ixErr(IXR_E_BAD_CONVERSION));
      if (e->dtQual == -1) e->dtQual = from;
      e->type = tDatetime(e->dtQual);
      break;
    }
  }
  e->typed = true;
  return err_;
}

// ------------------------------------------------------------------------- emission

std::string Translator::constSql(Expr* e, const IxType& want) {
  Val v;
  IxType from;
  if (e->kind == ExprKind::Literal) {
    v = litVal(e);
    from = e->type;
  } else if (e->kind == ExprKind::DatetimeLiteral) {
    DtFields f;
    dtParse(e->text, e->dtQual, f);
    std::string s;
    dtFormat(f, e->dtQual, s);
    v = Val::ofText(s);
    from = e->type;
  } else {
    int64_t iv = 0;
    ivParse(e->text, e->dtQual, iv);
    v = Val::ofInt(iv);
    from = e->type;
  }
  if (v.kind == Val::Null) return "NULL";
  // A numeric literal compared with or assigned to a number stays a number.
  if (e->kind == ExprKind::Literal &&
      (e->literal == LiteralKind::Int || e->literal == LiteralKind::Float ||
       e->literal == LiteralKind::Decimal) &&
      (storeOf(want.code) == Store::Int || storeOf(want.code) == Store::Real) &&
      isNumericType(want.code) && e->literal != LiteralKind::Decimal)
    return sqlLiteral(v);
  Val outv;
  if (auto er = convertValue(v, from, want, outv)) {
    fail(er);
    return "NULL";
  }
  return sqlLiteral(outv);
}

std::string Translator::emitConv(const std::string& sql, const IxType& from, const IxType& to) {
  Store fs = storeOf(from.code), ts = storeOf(to.code);
  int fc = baseType(from.code), tc = baseType(to.code);
  bool same = fs == ts;
  if (same) {
    switch (ts) {
      case Store::Int:
        same = (fc == IXR_TYPE_DATE) == (tc == IXR_TYPE_DATE) &&
               (fc == IXR_TYPE_INTERVAL) == (tc == IXR_TYPE_INTERVAL) &&
               (tc != IXR_TYPE_INTERVAL || from.len == to.len) &&
               (tc != IXR_TYPE_SMALLINT || fc == IXR_TYPE_SMALLINT);
        break;
      case Store::Real: break;
      case Store::Decimal: same = from.len == to.len || decScale(to) == kDecFloating; break;
      case Store::DateTime: same = from.len == to.len; break;
      case Store::Blob: break;
      case Store::Text:
        if (tc == IXR_TYPE_TEXT || tc == IXR_TYPE_LVARCHAR)
          same = true;
        else if (isPaddedChar(tc))
          same = isPaddedChar(fc) && charLength(from) == charLength(to);
        else
          same = !isPaddedChar(fc) && charLength(from) <= charLength(to);
        break;
    }
  }
  if (same) return sql;
  return "ix_conv(" + sql + ", " + std::to_string(baseType(from.code)) + ", " +
         std::to_string(from.len) + ", " + std::to_string(baseType(to.code)) + ", " +
         std::to_string(to.len) + ")";
}

std::string Translator::emitAs(Expr* e, const IxType& want, Scope* sc) {
  if (e->kind == ExprKind::Marker) {
    target(e, want);
    return emit(e, sc);
  }
  if (isConst(e)) return constSql(e, want);
  return emitConv(emit(e, sc), e->type, want);
}

std::string Translator::emitCmp(Expr* l, const std::string& op, Expr* r, Scope* sc) {
  const IxType& lt = l->type;
  const IxType& rt = r->type;
  std::string a, b;
  std::string collate;
  bool lc = isConst(l) && !isNullLit(l), rc = isConst(r) && !isNullLit(r);
  Store ls = storeOf(lt.code), rs = storeOf(rt.code);
  // A decimal constant beside an integer or decimal value compares at its own precision:
  // converted to that value's type it would lose its fraction or be rounded to a scale.
  if (lc && !rc && ownDecimal(l, rt)) lc = false;
  if (rc && !lc && ownDecimal(r, lt)) rc = false;
  if (lc && !rc) {
    a = constSql(l, cmpType(rt));
    b = emit(r, sc);
    ls = rs;
  } else if (rc && !lc) {
    a = emit(l, sc);
    b = constSql(r, cmpType(lt));
    rs = ls;
  } else {
    a = emit(l, sc);
    b = emit(r, sc);
    int lcode = baseType(lt.code), rcode = baseType(rt.code);
    if (ls != rs) {
      if (ls == Store::Text && rs != Store::Blob && l->kind != ExprKind::Marker)
        a = emitConv(a, lt, rt), ls = rs;
      else if (rs == Store::Text && ls != Store::Blob && r->kind != ExprKind::Marker)
        b = emitConv(b, rt, lt), rs = ls;
      else if (lcode == IXR_TYPE_DATE && rs == Store::DateTime)
        a = emitConv(a, lt, rt), ls = rs;
      else if (rcode == IXR_TYPE_DATE && ls == Store::DateTime)
        b = emitConv(b, rt, lt), rs = ls;
    } else if (ls == Store::DateTime && lt.len != rt.len) {
      int q = commonDtQual(lt.len, rt.len);
      a = emitConv(a, lt, tDatetime(q));
      b = emitConv(b, rt, tDatetime(q));
    }
  }
  bool decimal =
      (ls == Store::Decimal || rs == Store::Decimal) && (ls != Store::Text && rs != Store::Text);
  if (decimal && !(isSimpleCol(l) && storeOf(lt.code) == Store::Decimal) &&
      !(isSimpleCol(r) && storeOf(rt.code) == Store::Decimal))
    return "(ix_dcmp(" + a + ", " + b + ") " + op + " 0)";
  if (ls == Store::Text && rs == Store::Text && baseType(lt.code) != IXR_TYPE_TEXT)
    collate = " COLLATE RTRIM";
  return "(" + a + " " + op + " " + b + collate + ")";
}

// a AND b AND c as one parenthesised list: SQLite's parser takes a long list of
// conditions flat, where a parenthesis per operator would exhaust its stack.
std::string Translator::emitChain(Expr* e, const char* op, Scope* sc) {
  std::vector<Expr*> terms;
  Expr* x = e;
  for (; x->kind == e->kind; x = x->args[0]) terms.push_back(x->args[1]);
  terms.push_back(x);
  std::string s = "(";
  for (size_t k = terms.size(); k-- > 0;) {
    s += emit(terms[k], sc);
    if (k > 0) s += op;
  }
  return s + ")";
}

std::string Translator::emitBin(Expr* e, Scope* sc) {
  Expr* a = e->args[0];
  Expr* b = e->args[1];
  const IxType& t = e->type;
  int ca = baseType(a->type.code), cb = baseType(b->type.code), ct = baseType(t.code);
  if (e->op == "|") {
    IxType txt = tLvarchar(32739);
    std::string x = isCharType(ca) ? emit(a, sc) : emitAs(a, txt, sc);
    std::string y = isCharType(cb) ? emit(b, sc) : emitAs(b, txt, sc);
    return "(" + x + " || " + y + ")";
  }
  if (ct == IXR_TYPE_DATETIME && (cb == IXR_TYPE_INTERVAL || ca == IXR_TYPE_INTERVAL)) {
    Expr* dt = ca == IXR_TYPE_INTERVAL ? b : a;
    Expr* iv = ca == IXR_TYPE_INTERVAL ? a : b;
    std::string d = emitAs(dt, t, sc);
    return "ix_dtadd(" + d + ", " + std::to_string(t.len) + ", " + emit(iv, sc) + ", " +
           std::to_string(iv->type.len) + ", " + (e->op == "-" ? "-1" : "1") + ")";
  }
  if (ct == IXR_TYPE_DATE && (ca == IXR_TYPE_INTERVAL || cb == IXR_TYPE_INTERVAL)) {
    Expr* iv = ca == IXR_TYPE_INTERVAL ? a : b;
    Expr* d = ca == IXR_TYPE_INTERVAL ? b : a;
    IxType dt = tDatetime(qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false));
    return emitConv("ix_dtadd(" + emitAs(d, dt, sc) + ", " + std::to_string(dt.len) + ", " +
                        emit(iv, sc) + ", " + std::to_string(iv->type.len) + ", " +
                        (e->op == "-" ? "-1" : "1") + ")",
                    dt, tDate());
  }
  if (ct == IXR_TYPE_INTERVAL && ca == IXR_TYPE_DATETIME) {
    return "ix_dtdiff(" + emit(a, sc) + ", " + std::to_string(a->type.len) + ", " +
           emitAs(b, a->type, sc) + ", " + std::to_string(a->type.len) + ", " +
           std::to_string(t.len) + ")";
  }
  if (ct == IXR_TYPE_INTERVAL) {
    // The result must fit its qualifier; SQLite's integers would go past it unseen.
    const std::string q = std::to_string(t.len);
    if (e->op == "*" || e->op == "/") {
      Expr* iv = ca == IXR_TYPE_INTERVAL ? a : b;
      Expr* n = ca == IXR_TYPE_INTERVAL ? b : a;
      return "ix_ivchk(CAST(" + emit(iv, sc) + " " + e->op + " CAST(" + emitAs(n, tFloat(), sc) +
             " AS REAL) AS INTEGER), " + q + ")";
    }
    return "ix_ivchk((" + emit(a, sc) + " " + e->op + " " + emitAs(b, a->type, sc) + "), " + q + ")";
  }
  if (ct == IXR_TYPE_DATE || (ca == IXR_TYPE_DATE && cb == IXR_TYPE_DATE)) {
    std::string x = emitAs(a, ca == IXR_TYPE_DATE ? tDate() : tInteger(), sc);
    std::string y = emitAs(b, cb == IXR_TYPE_DATE ? tDate() : tInteger(), sc);
    return "(" + x + " " + e->op + " " + y + ")";
  }
  if (isDecimalType(ct)) {
    const char* fn = e->op == "+"   ? "ix_dadd"
                     : e->op == "-" ? "ix_dsub"
                     : e->op == "*" ? "ix_dmul"
                                    : "ix_ddiv";
    IxType dec = tDecimal(32, kDecFloating);
    std::string x = isConst(a) ? constSql(a, dec) : emit(a, sc);
    std::string y = isConst(b) ? constSql(b, dec) : emit(b, sc);
    return std::string(fn) + "(" + x + ", " + y + ")";
  }
  if (ct == IXR_TYPE_FLOAT) {
    std::string x = emitAs(a, tFloat(), sc), y = emitAs(b, tFloat(), sc);
    if (e->op == "/") return "(" + x + " / CAST(" + y + " AS REAL))";
    return "(" + x + " " + e->op + " " + y + ")";
  }
  return "(" + emitAs(a, tInteger(), sc) + " " + e->op + " " + emitAs(b, tInteger(), sc) + ")";
}

std::string Translator::emit(Expr* e, Scope* sc) {
  if (err_) return "NULL";
  switch (e->kind) {
    case ExprKind::Literal: return constSql(e, e->type);
    case ExprKind::Marker: return "?" + std::to_string(e->marker + 1);
    case ExprKind::Variable:
      // A body statement has no markers, so the parameter numbers are the slots'.
      if (std::find(out_.vars.begin(), out_.vars.end(), e->slot) == out_.vars.end())
        out_.vars.push_back(e->slot);
      return "?" + std::to_string(e->slot + 1);
    case ExprKind::Column: {
      Scope* s = sc;
      for (int d = 0; d < e->depth; ++d) s = s->parent;
      if (s->unqualified)
        return e->rowid ? "rowid"
                        : quoteId(s->tables[static_cast<size_t>(e->tableIdx)]
                                      ->def->cols[static_cast<size_t>(e->colIdx)]
                                      .name);
      std::string a = quoteId(s->sqlAlias[static_cast<size_t>(e->tableIdx)]);
      if (e->rowid) return a + ".rowid";
      return a + "." +
             quoteId(s->tables[static_cast<size_t>(e->tableIdx)]
                         ->def->cols[static_cast<size_t>(e->colIdx)]
                         .name);
    }
    case ExprKind::Negate:
      if (isDecimalType(e->type.code)) return "ix_dneg(" + emit(e->args[0], sc) + ")";
      if (baseType(e->type.code) == IXR_TYPE_INTERVAL || isNumericType(e->type.code))
        return "(-" + emit(e->args[0], sc) + ")";
      return "(-" + emitAs(e->args[0], tDecimal(32, kDecFloating), sc) + ")";
    case ExprKind::Binary: return emitBin(e, sc);
    case ExprKind::Compare: return emitCmp(e->args[0], e->op, e->args[1], sc);
    case ExprKind::And: return emitChain(e, " AND ", sc);
    case ExprKind::Or: return emitChain(e, " OR ", sc);
    case ExprKind::Not: return "(NOT " + emit(e->args[0], sc) + ")";
    case ExprKind::IsNull:
      return "(" + emit(e->args[0], sc) + (e->negated ? " IS NOT NULL)" : " IS NULL)");
    case ExprKind::Between: {
      std::string s = emitCmp(e->args[0], ">=", e->args[1], sc) + " AND " +
                      emitCmp(e->args[0], "<=", e->args[2], sc);
      return e->negated ? "(NOT (" + s + "))" : "(" + s + ")";
    }
    case ExprKind::In: {
      std::string s = "(" + emit(e->args[0], sc) + (e->negated ? " NOT IN (" : " IN (");
      if (e->subquery) {
        s += subSql_[e->subquery];
      } else {
        const IxType& t = e->args[0]->type;
        for (size_t k = 1; k < e->args.size(); ++k) {
          if (k > 1) s += ", ";
          Expr* item = e->args[k];
          if (!ownDecimal(item, t)) {
            s += emitAs(item, cmpType(t), sc);
          } else if (isIntType(t.code)) {
            Dec d;
            decParse(item->text, d);
            s += sqlLiteral(Val::ofReal(decToDouble(d)));
          } else {
            s += constSql(item, tDecimal(kDecMaxDigits, kDecFloating));
          }
        }
      }
      s += "))";
      return s;
    }
    case ExprKind::Like: {
      bool padded = isPaddedChar(e->args[0]->type.code);
      std::string subject = isCharType(e->args[0]->type.code)
                                ? emit(e->args[0], sc)
                                : emitAs(e->args[0], tLvarchar(32739), sc);
      std::string s = std::string(e->op == "like" ? "ix_like(" : "ix_matches(") + subject + ", " +
                      emitAs(e->args[1], tLvarchar(32739), sc) + ", " +
                      (e->args.size() > 2 ? emitAs(e->args[2], tLvarchar(32739), sc) : "NULL") +
                      ", " + (padded ? "1" : "0") + ")";
      return e->negated ? "(NOT " + s + ")" : s;
    }
    case ExprKind::Exists:
      return std::string(e->negated ? "(NOT " : "(") + "EXISTS (" + subSql_[e->subquery] + "))";
    case ExprKind::Subquery: return "(" + subSql_[e->subquery] + ")";
    case ExprKind::Case: {
      std::string s = "CASE";
      size_t k = 0;
      if (e->hasOperand) s += " " + emit(e->args[k++], sc);
      size_t end = e->args.size() - (e->hasElse ? 1 : 0);
      for (; k + 1 < end; k += 2) {
        s += " WHEN " +
             (e->hasOperand ? emitAs(e->args[k], e->args[0]->type, sc) : emit(e->args[k], sc));
        s += " THEN " + emitAs(e->args[k + 1], e->type, sc);
      }
      if (e->hasElse) s += " ELSE " + emitAs(e->args.back(), e->type, sc);
      return s + " END";
    }
    case ExprKind::Cast: return emitAs(e->args[0], e->type, sc);
    case ExprKind::Function: return emitFunc(e, sc);
    case ExprKind::Today: return "ix_today()";
    case ExprKind::Current: return "ix_current(" + std::to_string(e->dtQual) + ")";
    case ExprKind::User: return quoteStr(ctx_.user);
    case ExprKind::DbServer: return quoteStr(ctx_.server);
    case ExprKind::DatetimeLiteral:
    case ExprKind::IntervalLiteral: return constSql(e, e->type);
    case ExprKind::Units: {
      int unit = IXR_QUAL_FIRST(e->dtQual);
      return "CAST(" + emitAs(e->args[0], tFloat(), sc) + " * " + std::to_string(ivUnit(unit)) +
             " AS INTEGER)";
    }
    case ExprKind::Substring:
      return "substr(" + emit(e->args[0], sc) + ", " + emitAs(e->args[1], tInteger(), sc) + ", (" +
             emitAs(e->args[2], tInteger(), sc) + ") - (" + emitAs(e->args[1], tInteger(), sc) +
             ") + 1)";
    case ExprKind::Extend: return emitAs(e->args[0], e->type, sc);
    case ExprKind::Star: return "*";
  }
  return "NULL";
}

}  // namespace ixr
