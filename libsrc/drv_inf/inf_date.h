#pragma once
// inf_date.h -- the {year, month, day} a fetched DATE is stored as, worked out in the
// agent for the years 1 to 9999 instead of a runtime call per value: the same reckoning
// as the runtime's (day 1 is 1900-01-01, the proleptic Gregorian calendar), in unsigned
// 32-bit arithmetic. Any other day number is the runtime's to answer.
// Pure function, any thread.

#include <cstdint>

#include "platform/informix/ixr_api.h"

// ymd gets {year, month, day}, as ixr_date_to_mdy gives them (all 0 when it refuses).
inline void InfDateToYmd(IxrDate days, int16_t ymd[3]) noexcept {
  // Days since 0000-03-01: a year then ends with February, so its leap day is its last.
  const int64_t z = static_cast<int64_t>(days) + (719468 - 25568);
  if (z >= 0 && z <= INT32_MAX) {
    const auto u = static_cast<uint32_t>(z);
    const uint32_t era = u / 146097;
    const uint32_t doe = u - era * 146097;
    const uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const uint32_t mp = (5 * doy + 2) / 153;
    const uint32_t d = doy - (153 * mp + 2) / 5 + 1;
    const uint32_t m = mp < 10 ? mp + 3 : mp - 9;
    const uint32_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    if (y >= 1 && y <= 9999) {
      ymd[0] = static_cast<int16_t>(y);
      ymd[1] = static_cast<int16_t>(m);
      ymd[2] = static_cast<int16_t>(d);
      return;
    }
  }
  int16_t mdy[3] = {};
  (void)ixr_date_to_mdy(days, mdy);
  ymd[0] = mdy[2];
  ymd[1] = mdy[0];
  ymd[2] = mdy[1];
}
