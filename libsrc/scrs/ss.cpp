// ss.cpp -- the static result set over its dataset cache.
// Owns the cache and the window; rowsets handed out are the caller's.
// Threading: one call at a time on the cursor's connection.

#include "scrs/ss.h"

#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/scrs/ss";

bool is_long(int32_t type) {
  return type == DS_LONGCHAR || type == DS_LONGBINARY || type == DS_LONGWCHAR;
}

// *out empty; a new record when there is none.
int32_t empty_rowset(Dataset** out) {
  if (*out == nullptr) {
    *out = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (*out == nullptr) return ERR_MEMORY;
    return DatasetInit(*out, 0);
  }
  DatasetFree(*out);
  return 0;
}

}  // namespace

int32_t SS_Create(SS** out) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  auto* ss = static_cast<SS*>(std::calloc(1, sizeof(SS)));
  auto* window = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (ss == nullptr || window == nullptr || DatasetInit(window, 0) != 0) {
    std::free(ss);
    std::free(window);
    return ERR_MEMORY;
  }
  ss->window = window;
  DSC_Init(&ss->cache);
  *out = ss;
  return 0;
}

void SS_Close(SS* ss) {
  if (ss == nullptr) return;
  DatasetFree(ss->window);
  DSC_Close(&ss->cache);
  ss->windowStart = 0;
  ss->nextPos = 0;
}

void SS_Free(SS** ss) {
  if (ss == nullptr || *ss == nullptr) return;
  SS_Close(*ss);
  std::free((*ss)->window);
  std::free(*ss);
  *ss = nullptr;
}

int32_t SS_GetRsltSet(SS* ss, DriverRecord* drv, uint32_t hCursor, int32_t* total) {
  if (ss == nullptr) return ERR_GENERAL;
  SS_Close(ss);
  if (int32_t rc = DSC_Fill(&ss->cache, drv, hCursor, ss->window, total); rc != 0) {
    log_printf(LOG_ERR, kSrc, __LINE__, "SS_GetRsltSet: Could not fill dataset cache");
    return rc;
  }
  if (ss->cache.state == DSC_SPILLED) ss->windowStart = -1;
  return 0;
}

int32_t SS_GetRowset(SS* ss, int32_t first, int32_t count, Dataset** out) {
  if (ss == nullptr || out == nullptr) return ERR_GENERAL;
  int32_t p = ss->nextPos;
  if ((first == SS_NEXT && p == SS_AT_END) || count <= 0) return empty_rowset(out);
  if (first != SS_NEXT) p = first;
  if (p < 0) return empty_rowset(out);
  if (int32_t rc =
          DSC_GetWindow(&ss->cache, p, static_cast<uint32_t>(count), &ss->windowStart, ss->window);
      rc != 0)
    return rc;
  const int64_t available = int64_t(ss->window->rowCount) + ss->windowStart - p;
  const int32_t n = static_cast<int32_t>(available < 0 ? 0 : available < count ? available : count);
  const bool created = *out == nullptr;
  if (n == 0) {
    if (int32_t rc = empty_rowset(out); rc != 0) return rc;
  } else {
    if (int32_t rc = DatasetCloneLayout(out, ss->window, n); rc != 0) return rc;
    const auto from = static_cast<uint32_t>(p - ss->windowStart);
    // Rows of fixed slots are one run of each column; only long values are
    // copied one by one.
    bool longs = false;
    for (uint16_t c = 0; c < ss->window->colCount && !longs; ++c)
      longs = is_long(ss->window->cols[c].type);
    for (uint16_t c = 0; c < ss->window->colCount && !longs; ++c) {
      const DatasetColumn& src = ss->window->cols[c];
      DatasetColumn& dst = (*out)->cols[c];
      if (src.data == nullptr || dst.data == nullptr) continue;
      std::memcpy(dst.data, src.data + uint64_t(from) * src.width, uint64_t(n) * src.width);
      std::memcpy(dst.ind, src.ind + from, sizeof(int16_t) * static_cast<size_t>(n));
    }
    for (int32_t i = 0; i < n && longs; ++i) {
      const int32_t rc = DatasetCopyRow(*out, ss->window, static_cast<uint32_t>(i),
                                        from + static_cast<uint32_t>(i), 0);
      if (rc != 0) {
        DatasetFree(*out);
        if (created) {
          std::free(*out);
          *out = nullptr;
        }
        return rc;
      }
    }
    (*out)->rowCount = n;
  }
  if (first == SS_NEXT)
    ss->nextPos = n == count ? p + count : SS_AT_END;
  else
    ss->nextPos = first;
  return 0;
}
