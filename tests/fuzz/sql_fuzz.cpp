// sql_fuzz.cpp -- statement text: the agent's escape translation and request analysis,
// then the embedded server's parser and translator through a PREPARE and a DESCRIBE
// on a live database. Nothing is executed, so every input meets the same database.

#include <cstddef>
#include <cstdint>
#include <string>

#include "drv_inf/inf_escape.h"
#include "fuzz_driver.h"
#include "platform/informix/ixr_api.h"

namespace {

bool connected() {
  static const bool ok = FuzzDriverStart() && ixr_connect("fzdb@fz", "fuzzsql") == 0;
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!connected()) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  InfRequest req;
  if (AnalyseRequest(&req, text.c_str()) == 0 && req.translated != nullptr) {
    if (ixr_prepare("fz_s", req.translated) == 0) {
      IxrSqlda* d = nullptr;
      (void)ixr_describe(ixr_name_id("fz_s", IXR_ID_STATEMENT), &d);
      ixr_free_sqlda(d);
      (void)ixr_free("fz_s");
    }
  }
  InfRequestFree(&req);
  return 0;
}
