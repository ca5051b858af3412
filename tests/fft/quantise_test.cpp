// The exact helpers of the sample passes against the plain double
// expressions they stand for: the exponent rule floor(log10(v) / log10(2)),
// rounding half to even by floor, ceil and fmod, and powers of two by ldexp.
// Bit for bit, over values spread across the whole double range and
// crowded where the shortcuts hand over (near powers of two, at ties).
#include "fft_quantise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using namespace zelfft;

uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

int direct_exponent(double v) { return static_cast<int>(std::floor(std::log10(v) / std::log10(2.0))); }

double direct_round_half_even(double x) {
  const double f = std::floor(x);
  const double c = std::ceil(x);
  const double d = std::fabs(x - f);
  if (d < 0.5) return f;
  if (d > 0.5) return c;
  return std::fmod(f, 2.0) == 0.0 ? f : c;
}

const uint64_t kSeed = 424242;

TEST(SamplePassHelpers, ExponentRuleMatchesTheLogExpression) {
  std::mt19937_64 rng(kSeed);
  std::vector<double> values = {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                                std::numeric_limits<double>::max(), 1.0, 0.1, 1e-300, 3.4028234663852886e38};
  for (int k = -1074; k <= 1023; ++k) {
    const double p = std::ldexp(1.0, k);
    values.push_back(p);
    // A few units in the last place either side, and the hand-over bounds.
    for (int u = 1; u <= 40; ++u) {
      values.push_back(std::nextafter(p, 0.0) - (u - 1) * std::ldexp(p, -53));
      values.push_back(p + u * std::ldexp(p, -52));
    }
    for (double rel : {0x1p-29, 0x1p-28, 0x1p-30, 3e-9, 1e-12}) {
      values.push_back(p * (1.0 + rel));
      values.push_back(p * (1.0 - rel));
      values.push_back(p * (2.0 - rel));
    }
  }
  for (int i = 0; i < 200000; ++i) {
    values.push_back(std::bit_cast<double>(rng() >> 1));  // any positive pattern
  }
  for (double v : values) {
    if (!(v > 0) || std::isinf(v)) continue;
    ASSERT_EQ(floor_log2_via_log10(v), direct_exponent(v)) << "seed " << kSeed << " v " << v << " bits " << bits_of(v);
  }
}

TEST(SamplePassHelpers, RoundingAndPowersMatchTheLibraryExpressions) {
  std::mt19937_64 rng(kSeed);
  std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0x1p52 + 1, -0x1p52 - 1, 0x1p53,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(), 4503599627370495.5, -4503599627370495.5};
  for (int i = 0; i < 100000; ++i) {
    const double n = static_cast<double>(static_cast<int64_t>(rng()) >> (11 + rng() % 52));
    values.push_back(n + 0.5);  // ties, both parities and signs
    values.push_back(n - 0.5);
    values.push_back(std::bit_cast<double>(rng()));  // anything
    values.push_back(std::ldexp(static_cast<double>(static_cast<int64_t>(rng())), -static_cast<int>(rng() % 70)));
  }
  for (double x : values) {
    ASSERT_EQ(bits_of(round_half_even(x)), bits_of(direct_round_half_even(x))) << "seed " << kSeed << " x " << x;
  }
  for (int k = -1100; k <= 1100; ++k) ASSERT_EQ(bits_of(power_of_two(k)), bits_of(std::ldexp(1.0, k))) << k;
  for (int k = -160; k <= 160; ++k) {
    const float a = power_of_two_single(k), b = std::ldexp(1.0f, k);
    ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << k;
  }
}

}  // namespace
