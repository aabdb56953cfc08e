// sqlparse_fuzz.cpp -- the statement analysis: scan and parse a text, regenerate
// it, parse the regenerated text again and require the same text back; then the
// SELECT analyser's reads and edits and the parameter describer over the same
// text. A round trip that changes the text aborts, so the fuzzer reports it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/layercalls.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_parse.h"

namespace {

std::string regenerated(const std::string& text, int32_t* rc) {
  ParseResult r;
  ScrParse(text.data(), text.size(), &r);
  *rc = r.rc;
  std::string out;
  if (r.rc == 0 && ParseTreeRegenerate(r.root) == 1 && r.root->text != nullptr) out = r.root->text;
  ParseTreeFree(&r.root, ParseNodeFreeStrings);
  std::free(r.errPos);
  std::free(r.errMsg);
  return out;
}

void analyse(const char* text) {
  SCR_Analysis a;
  SCR_AnalysisInit(&a);
  if (SCR_AnalyseSQL(&a, text, 0, 1) == 0 && a.sa_kind == PN_SELECT) {
    DynArray* tables = DynArrayNew(sizeof(TblDesc));
    DynArray* cols = DynArrayNew(sizeof(ColDesc));
    DynArray* keys = DynArrayNew(sizeof(OrderByItem));
    (void)SCR_TablesGet(&a, tables, 1);
    (void)SCR_SelectColsGet(&a, cols);
    if (SCR_OrderByColsGet(&a, keys) == 0) {
      for (uint32_t i = 0; i < keys->count; ++i) {
        auto* k = static_cast<OrderByItem*>(keys->items) + i;
        if (k->ordinal != 0) std::snprintf(k->text, sizeof k->text, "c%u", k->ordinal);
      }
      (void)SCR_OrderByOrdinalsToNames(&a, keys);
      (void)SCR_OrderByReverse(&a);
    }
    (void)SCR_WherePlaceholder(&a);
    (void)SCR_OrderByPlaceholder(&a);
    (void)SCR_SelListPlaceholder(&a);
    DynArrayFree(&tables, SCR_TableEntryFree);
    DynArrayFree(&cols, nullptr);
    DynArrayFree(&keys, nullptr);
  }
  SCR_AnalysisFree(&a);
  ParamDescriber pd;
  ParamDescInit(&pd, "cast (null as varchar)");
  (void)ParamDescAnalyse(&pd, text);
  ParamDescFree(&pd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;  // statements reach the analysis as C text
  int32_t rc = 0;
  const std::string once = regenerated(text, &rc);
  if (rc == 0 && !once.empty()) {
    int32_t rc2 = 0;
    const std::string twice = regenerated(once, &rc2);
    if (rc2 != 0 || twice != once) {
      std::fprintf(stderr, "round trip changed the text:\n[%s]\n[%s]\n", once.c_str(), twice.c_str());
      std::abort();
    }
  }
  analyse(text.c_str());
  return 0;
}
