// The memory word conversions against ZelFix: a sample stored as a pattern
// must be bit for bit the pattern a ZelFix word of the same format (signed,
// truncation, wrap) holds after the assignment of the double, its value must
// read back as the ZelFix word reads it, and its sign headroom must be the
// one measured on the ZelFix word.
#include "fft_base.h"
#include "fixed_registers.h"
#include "word_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using zelfft::FFT;
using zelfft::WordFormat;
using zelfft::ZelFix;

uint64_t bits_of(double d) {
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

// Values a word of (width, point) may be given: on its grid, between grid
// points, at and beyond the extremes (so that the wrap shows), far beyond
// (whole numbers above 2^64), tiny and subnormal, signed zeros, NaN and
// infinities.
std::vector<double> values_for(std::mt19937_64 &rng, int width, int point) {
  const double lsb = std::ldexp(1.0, -point);
  const double top = std::ldexp(1.0, width - 1 - point);  // the first value above the largest
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> v = {0.0, -0.0, lsb, -lsb, lsb / 2, -lsb / 2, top, -top, top - lsb, -top - lsb,
                           top - lsb / 4, -top + lsb / 4, 2 * top, -2 * top, 3 * top + lsb, -3 * top - lsb / 3,
                           std::ldexp(1.0, 70), -std::ldexp(1.0, 64 - point), std::ldexp(3.0, 63 - point),
                           -std::ldexp(5.0, 62 - point), 1e300, -1e300, 1.7976931348623157e308,
                           std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
                           1e-310, inf, -inf, std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 300; ++i) {
    const double m = std::ldexp(static_cast<double>(rng() >> 11), -53);  // [0, 1), 53 bits
    const double s = (rng() & 1) != 0 ? -1.0 : 1.0;
    switch (i % 4) {
      case 0: v.push_back(s * m * top); break;                                   // in range, mostly off grid
      case 1: v.push_back(std::floor(s * m * top / lsb) * lsb); break;           // on the grid
      case 2: v.push_back(s * std::ldexp(1.0 + m, static_cast<int>(rng() % 140) - 70)); break;  // any size
      default: v.push_back(s * (top + m * 8 * top)); break;                      // needs the wrap
    }
  }
  return v;
}

TEST(WordFormat, StoresReadsAndMeasuresAsZelFix) {
  const uint64_t seed = 20261208;
  std::mt19937_64 rng(seed);
  for (int width = 2; width <= 53; ++width) {
    for (int point : {width - 1, width - 2, width - 5, width + 3, 7}) {
      if (point < 1) continue;
      const WordFormat f(width, point);
      ZelFix word(0.0, width, point, zel::Signed, zel::Truncate, zel::Wrap);
      for (double x : values_for(rng, width, point)) {
        word = x;
        const int64_t want = zelfft::raw::pattern_of(word);
        const int64_t got = f.pattern(x);
        const std::string where = "seed " + std::to_string(seed) + " width " + std::to_string(width) + " point " +
                                  std::to_string(point) + " x " + std::to_string(x) + " (" +
                                  std::to_string(bits_of(x)) + ")";
        ASSERT_EQ(got, want) << where;
        ASSERT_EQ(FFT::sign_headroom(got, width), FFT::sign_headroom(word)) << where;
        // A word given a NaN is marked and reads NaN; its pattern is 0, the
        // value the engines compute with.
        if (std::isnan(x)) continue;
        ASSERT_EQ(bits_of(f.value(got)), bits_of(word.toDouble())) << where;
      }
    }
  }
}

}  // namespace
