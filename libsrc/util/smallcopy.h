#pragma once
// smallcopy.h -- copies of a few bytes without a library call: text of a short
// column moves by two overlapping loads and stores of the widest size that fits,
// so exactly the bytes asked for are written and none past them.
// Pure functions, any thread.

#include <cstddef>
#include <cstdint>
#include <cstring>

// Copies n bytes, 1 <= n <= 32; to and from do not overlap.
inline void CopySmall(void* to, const void* from, size_t n) noexcept {
  auto* out = static_cast<char*>(to);
  const auto* in = static_cast<const char*>(from);
  const auto two = [&](auto word) {
    decltype(word) a;
    decltype(word) b;
    std::memcpy(&a, in, sizeof a);
    std::memcpy(&b, in + n - sizeof b, sizeof b);
    std::memcpy(out, &a, sizeof a);
    std::memcpy(out + n - sizeof b, &b, sizeof b);
  };
  struct Sixteen {
    uint64_t lo;
    uint64_t hi;
  };
  if (n >= 16)
    two(Sixteen{});
  else if (n >= 8)
    two(uint64_t{});
  else if (n >= 4)
    two(uint32_t{});
  else if (n >= 2)
    two(uint16_t{});
  else if (n == 1)
    out[0] = in[0];
}
