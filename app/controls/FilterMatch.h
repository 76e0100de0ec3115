// Acceptance arithmetic of an identifier filter: a value v is accepted when
// (v AND mask) equals (identifier AND mask). Identifiers and masks are 16-bit,
// so acceptance repeats every 65536 values; these helpers answer questions
// about whole value ranges in constant time, so that drawing and pointer
// tracking cost the same for any scale.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>

namespace FilterMatch {

struct Filter {
  std::uint16_t id = 0;
  std::uint16_t mask = 0;

  std::uint32_t pattern() const { return std::uint32_t(id) & mask; }
  bool accepts(std::int64_t v) const { return (std::uint64_t(v) & mask) == pattern(); }
};

// Smallest x with lo <= x < 65536 and (x AND k) == t, if any; t lies within k.
inline std::optional<std::uint32_t> nextMatch16(std::uint32_t lo, std::uint32_t k, std::uint32_t t) {
  const std::uint32_t diff = (lo ^ t) & k;
  if (diff == 0) return lo;
  // The highest constrained bit where lo disagrees decides.
  const int p = 31 - std::countl_zero(diff);
  const std::uint32_t upToP = (p >= 31) ? ~0u : ((1u << (p + 1)) - 1);
  if (t & (1u << p)) {
    // lo has 0 where a 1 is needed: set it, keep the bits above, and take the
    // smallest completion below.
    return (lo & ~upToP) | (1u << p) | (t & ((1u << p) - 1));
  }
  // lo has 1 where a 0 is needed: the bits above must grow, at the lowest free
  // bit above p that is still 0.
  const std::uint32_t freeZerosAbove = ~k & ~lo & 0xFFFFu & ~upToP;
  if (freeZerosAbove == 0) return std::nullopt;
  const int q = std::countr_zero(freeZerosAbove);
  const std::uint32_t upToQ = (1u << (q + 1)) - 1;
  return (lo & ~upToQ) | (1u << q) | (t & ((1u << q) - 1));
}

// Smallest accepted value >= a.
inline std::int64_t nextAccepted(std::int64_t a, const Filter& f) {
  const std::int64_t base = a & ~std::int64_t(0xFFFF);  // floor to a multiple of 65536
  const auto lo = std::uint32_t(a - base);
  if (auto x = nextMatch16(lo, f.mask, f.pattern())) return base + *x;
  return base + 0x10000 + f.pattern();  // the first accepted value of the next period
}

// Whether some value in [a, b] is accepted.
inline bool anyAccepted(std::int64_t a, std::int64_t b, const Filter& f) {
  return a <= b && nextAccepted(a, f) <= b;
}

struct Run {
  std::int64_t begin;
  std::int64_t end;
};

// The run of consecutive accepted values around v, limited to [min, max], or
// nothing when v itself is not accepted. Consecutive values stay accepted
// exactly while only the bits below the mask's lowest set bit change, so the
// run is the aligned block of that size around v.
inline std::optional<Run> runAround(std::int64_t v, const Filter& f, std::int64_t min, std::int64_t max) {
  if (!f.accepts(v)) return std::nullopt;
  if (f.mask == 0) return Run{min, max};
  const std::int64_t blockSize = std::int64_t(1) << std::countr_zero(std::uint32_t(f.mask));
  const std::int64_t blockBegin = v & ~(blockSize - 1);
  return Run{std::max(blockBegin, min), std::min(blockBegin + blockSize - 1, max)};
}

}  // namespace FilterMatch
