#include "word_format.h"

#include <cmath>

namespace zelfft {

WordFormat::WordFormat(int width, int point)
    : width_(width), point_(point), up_(std::ldexp(1.0, point)), down_(std::ldexp(1.0, -point)) {}

int64_t WordFormat::pattern_beyond(double y) const {
  if (!std::isfinite(y)) return 0;
  // A whole number: its 53 significant bits shifted up, of which only those
  // below bit 64 (and then below the word's top) survive.
  int e = 0;
  const double m = std::frexp(y, &e);
  const int64_t significand = static_cast<int64_t>(std::ldexp(m, 53));
  const int shift = e - 53;
  if (shift >= 64) return 0;
  return raw::wrap(static_cast<int64_t>(static_cast<uint64_t>(significand) << shift), width_);
}

}  // namespace zelfft
