// FETCH streams rows into host variables without heap memory per row for the usual
// column and host-type pairs. Counted by replacing the global allocation functions of
// this test program (they only count while a test asks them to).
#include "tests/platform/informix/ixr_fixture.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements below are a matched pair (malloc and free) that GCC cannot see as one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_news{0};
}  // namespace

void* operator new(size_t n) {
  if (g_counting.load(std::memory_order_relaxed)) g_news++;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace ixrtest {
namespace {

class FetchAllocTest : public IxrTest {};

TEST_F(FetchAllocTest, NoHeapMemoryPerRow) {
  makeDb();
  ASSERT_EQ(exec("create table r (i integer, v varchar(20), d decimal(10,2), dt date, f float, "
                 "ts datetime year to second, iv interval day to second, c char(30), s smallint)"),
            0);
  ASSERT_EQ(ixr_prepare("ins",
                        "insert into r values (?, 'name', 12.5, today, 1.5, current, "
                        "interval(1 02:03:04) day to second, 'padded text', 3)"),
            0);
  int32_t ins = ixr_name_id("ins", IXR_ID_STATEMENT);
  Area in(1);
  for (int k = 0; k < 200; ++k) ASSERT_EQ(ixr_execute(ins, in.i32(0, k).get()), 0);
  ASSERT_EQ(ixr_prepare("sel", "select i, v, d, dt, f, ts, iv, c, s, i, dt, f from r"), 0);
  int32_t cur = ixr_name_id("cur", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cur, "cur", ixr_name_id("sel", IXR_ID_STATEMENT)), 0);
  ASSERT_EQ(ixr_open(cur, nullptr), 0);
  Area out(12);
  out.as(0, IXR_HOST_INT, 4)
      .as(1, IXR_HOST_STRING, 32)
      .as(2, IXR_HOST_STRING, 32)
      .as(3, IXR_HOST_DATE, 4);
  out.as(4, IXR_HOST_DOUBLE, 8)
      .as(5, IXR_HOST_DATETIME, sizeof(IxrDateTime))
      .as(6, IXR_HOST_STRING, 32);
  out.as(7, IXR_HOST_FIXCHAR, 30)
      .as(8, IXR_HOST_SHORT, 2)
      .as(9, IXR_HOST_STRING, 16)
      .as(10, IXR_HOST_STRING, 16);
  out.as(11, IXR_HOST_STRING, 32);
  reinterpret_cast<IxrDateTime*>(out.buf(5))->qual = IXR_QUAL_YEAR_TO_F5;
  ASSERT_EQ(ixr_fetch(cur, out.get()), 0);  // the first row may set up what the rest reuse
  g_news = 0;
  g_counting = true;
  int rows = 1;
  while (ixr_fetch(cur, out.get()) == 0) ++rows;
  g_counting = false;
  EXPECT_EQ(rows, 200);
  EXPECT_EQ(g_news.load(), 0);
  EXPECT_STREQ(out.buf(6), "1 02:03:04");
}

}  // namespace
}  // namespace ixrtest
