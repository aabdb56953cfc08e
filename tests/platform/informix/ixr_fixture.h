// ixr_fixture.h -- test fixture of the embedded Informix runtime: a private servers root
// in a temporary directory, one Online server "srv", and helpers that run SQL and read
// results as text through the runtime's own calls.
#pragma once

#include "platform/informix/ixr_api.h"
#include "platform/informix/ixr_testing.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ixrtest {

// Runs f on a thread with a stack of the given size, as a small pool thread would.
inline void onSmallStack(size_t bytes, const std::function<void()>& f) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, bytes);
  pthread_t th;
  auto body = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&th, &attr, body, const_cast<std::function<void()>*>(&f)), 0);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
}

using Rows = std::vector<std::vector<std::string>>;

// An input or output area of n host variables with their own storage.
class Area {
 public:
  explicit Area(int n)
      : vars_(static_cast<size_t>(n)), ind_(static_cast<size_t>(n)), buf_(static_cast<size_t>(n)) {
    area_.sqld = static_cast<int16_t>(n);
    area_.sqlvar = vars_.data();
    for (int k = 0; k < n; ++k) {
      vars_[static_cast<size_t>(k)].sqlind = &ind_[static_cast<size_t>(k)];
      buf_[static_cast<size_t>(k)].resize(600);
    }
  }
  IxrSqlda* get() { return &area_; }
  IxrSqlVar& var(int k) { return vars_[static_cast<size_t>(k)]; }
  int16_t ind(int k) const { return ind_[static_cast<size_t>(k)]; }
  char* buf(int k) { return buf_[static_cast<size_t>(k)].data(); }
  // Host variable k as the given type over its own buffer.
  Area& as(int k, int type, int len = 600) {
    auto& v = var(k);
    v.sqltype = static_cast<int16_t>(type);
    v.sqllen = len;
    v.sqldata = buf(k);
    ind_[static_cast<size_t>(k)] = 0;
    return *this;
  }
  Area& str(int k, const char* s) {
    as(k, IXR_HOST_STRING);
    if (s)
      std::snprintf(buf(k), 600, "%s", s);
    else
      ind_[static_cast<size_t>(k)] = -1;
    return *this;
  }
  Area& i32(int k, int32_t v) {
    as(k, IXR_HOST_INT, 4);
    std::memcpy(buf(k), &v, 4);
    return *this;
  }
  Area& dbl(int k, double v) {
    as(k, IXR_HOST_DOUBLE, 8);
    std::memcpy(buf(k), &v, 8);
    return *this;
  }
  Area& null(int k) {
    as(k, IXR_HOST_STRING);
    ind_[static_cast<size_t>(k)] = -1;
    return *this;
  }

 private:
  IxrSqlda area_{};
  std::vector<IxrSqlVar> vars_;
  std::vector<int16_t> ind_;
  std::vector<std::vector<char>> buf_;
};

class IxrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ixrtestXXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("KES_INFORMIX_SERVERS", root_.c_str(), 1);
    ixr_test_reset();
    *ixr_conninfo() = IxrConnInfo{};
    ASSERT_EQ(ixr_server_create("srv", IXR_SERVER_ONLINE, nullptr), 0);
  }
  void TearDown() override {
    ixr_test_reset();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // Connects to srv and creates database db of the given kind ("", "log", "buffered log",
  // "log mode ansi"), leaving the connection current.
  void makeDb(const char* db = "db", const char* log = "log", const char* conn = "c1") {
    ASSERT_EQ(ixr_connect("@srv", conn), 0);
    std::string sql =
        std::string("create database ") + db + (*log ? std::string(" with ") + log : "");
    ASSERT_EQ(ixr_execute_immediate(sql.c_str()), 0) << sql << " " << ixr_sqlca()->sqlerrm;
  }

  int exec(const std::string& sql) { return ixr_execute_immediate(sql.c_str()); }

  // Runs a SELECT and answers every row as text (NULL as "NULL"); sqlcode on failure in
  // *rc.
  Rows query(const std::string& sql, IxrSqlda* input = nullptr, int* rc = nullptr) {
    Rows rows;
    int r = run(sql, input, rows);
    if (rc)
      *rc = r;
    else
      EXPECT_EQ(r, 0) << sql << " -> " << ixr_sqlca()->sqlerrm;
    return rows;
  }

  int run(const std::string& sql, IxrSqlda* input, Rows& rows) {
    std::string st = "qs" + std::to_string(++n_), cu = "qc" + std::to_string(n_);
    if (int r = ixr_prepare(st.c_str(), sql.c_str())) return r;
    int32_t sid = ixr_name_id(st.c_str(), IXR_ID_STATEMENT);
    IxrSqlda* d = nullptr;
    int type = ixr_describe(sid, &d);
    if (type < 0) return type;
    int n = d ? d->sqld : 0;
    ixr_free_sqlda(d);
    int32_t cid = ixr_name_id(cu.c_str(), IXR_ID_NEW_CURSOR);
    if (int r = ixr_declare(cid, cu.c_str(), sid)) return r;
    if (int r = ixr_open(cid, input)) return r;
    Area out(n);
    for (int k = 0; k < n; ++k) out.as(k, IXR_HOST_STRING, 600);
    for (;;) {
      int r = ixr_fetch(cid, out.get());
      if (r == IXR_NOTFOUND) break;
      if (r) return r;
      std::vector<std::string> row;
      for (int k = 0; k < n; ++k) row.push_back(out.ind(k) == -1 ? "NULL" : out.buf(k));
      rows.push_back(row);
    }
    ixr_close(cid);
    ixr_free(cu.c_str());
    ixr_free(st.c_str());
    return 0;
  }

  // The first column of the first row.
  std::string scalar(const std::string& sql) {
    Rows r = query(sql);
    return r.empty() || r[0].empty() ? std::string("<none>") : r[0][0];
  }

  std::string root_;
  int n_ = 0;
};

}  // namespace ixrtest
