// ixr_stubs.cpp -- placeholder bodies of the runtime API so that callers link while
// the runtime is being built; every operation answers "server not available".
#include "platform/informix/ixr_api.h"
#include "platform/informix/ixr_testing.h"

#include <cstring>

namespace {
thread_local IxrCommArea tl_sqlca;
thread_local IxrConnInfo tl_conninfo;
int fail() {
    std::memset(&tl_sqlca, 0, sizeof tl_sqlca);
    tl_sqlca.sqlcode = IXR_E_NO_SERVER;
    return tl_sqlca.sqlcode;
}
}  // namespace

extern "C" {
IxrCommArea* ixr_sqlca(void) { return &tl_sqlca; }
IxrConnInfo* ixr_conninfo(void) { return &tl_conninfo; }
int ixr_server_create(const char*, int, const char*) { return fail(); }
int ixr_servers_root(char*, size_t) { return -1; }
int ixr_connect(const char*, const char*) { return fail(); }
int ixr_disconnect(const char*) { return fail(); }
int ixr_set_connection(const char*, int) { return fail(); }
int ixr_begin_work(void) { return fail(); }
int ixr_commit_work(void) { return fail(); }
int ixr_rollback_work(void) { return fail(); }
int32_t ixr_name_id(const char*, int) { fail(); return 0; }
int ixr_prepare(const char*, const char*) { return fail(); }
int ixr_describe(int32_t, IxrSqlda** out) { if (out) *out = nullptr; return fail(); }
void ixr_free_sqlda(IxrSqlda*) {}
int ixr_execute(int32_t, const IxrSqlda*) { return fail(); }
int ixr_declare(int32_t, const char*, int32_t) { return fail(); }
int ixr_open(int32_t, const IxrSqlda*) { return fail(); }
int ixr_fetch(int32_t, IxrSqlda*) { return fail(); }
int ixr_close(int32_t) { return fail(); }
int ixr_free(const char*) { return fail(); }
int ixr_execute_immediate(const char*) { return fail(); }
int ixr_run_static(const char* const*) { return fail(); }
int ixr_interrupt(const char*) { return IXR_E_NO_CONNECTION; }
int ixr_error_message(int32_t, char* buf, size_t size, int32_t* len) {
    if (buf && size) buf[0] = 0;
    if (len) *len = 0;
    return IXR_E_NO_MESSAGE;
}
int ixr_display_width(int, int32_t) { return 0; }
int ixr_date_from_text(IxrDate*, const char*, const char*) { return IXR_E_BAD_DATE; }
int ixr_date_to_text(IxrDate, char* buf, size_t size) { if (buf && size) buf[0] = 0; return IXR_E_BAD_DATE; }
int ixr_date_to_mdy(IxrDate, int16_t*) { return IXR_E_BAD_DATE; }
int ixr_date_from_mdy(const int16_t*, IxrDate*) { return IXR_E_BAD_DATE; }
void ixr_date_set_null(IxrDate* d) { if (d) *d = INT32_MIN; }
int ixr_date_is_null(IxrDate d) { return d == INT32_MIN; }
int ixr_datetime_from_text(const char*, IxrDateTime*) { return IXR_E_DT_NON_NUMERIC; }
int ixr_datetime_to_text(const IxrDateTime*, char* buf, size_t size) { if (buf && size) buf[0] = 0; return IXR_E_DT_NON_NUMERIC; }
int ixr_datetime_extend(const IxrDateTime*, IxrDateTime*) { return IXR_E_DT_INCOMPATIBLE; }
void ixr_datetime_set_null(IxrDateTime* dt) { if (dt) dt->isnull = 1; }
int ixr_interval_from_text(const char*, IxrInterval*) { return IXR_E_DT_NON_NUMERIC; }
int ixr_interval_to_text(const IxrInterval*, char* buf, size_t size) { if (buf && size) buf[0] = 0; return IXR_E_DT_NON_NUMERIC; }
}

void ixr_test_record(bool) {}
std::vector<IxrCall> ixr_test_calls(bool) { return {}; }
void ixr_test_fail_next(int32_t, int32_t, const std::string&) {}
void ixr_test_break_connection(const char*) {}
void ixr_test_reset() {}
