// The radix-2 processing element on hand-placed operands: what the core
// fixes about one butterfly, bit for bit. Operands and registers are raw
// patterns: a data word of Bo bits holds value * 2^(Bo-1), a twiddle
// value * 2^(TW-1), the twiddled register value * 2^(Bo+2) and the scaled
// register value * 2^(Bo+5).
#include "r2_dit_pe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using zelfft::FFT;
using zelfft::R2_DIT_PE;
using zelfft::RawComplex;

// A parameter block for a Bo-bit data path with TW-bit twiddles.
FFT block(int bo, int tw, int rounding) {
  FFT f;
  f.input_width = bo;
  f.output_width = bo;
  f.twiddle_width = tw;
  f.has_rounding = rounding;
  f.has_scaling = 1;
  return f;
}

// Twiddle of real value `re` (a multiple of 2^-(TW-1)) and imaginary 0.
RawComplex real_twiddle(int tw, double re) { return {std::llround(std::ldexp(re, tw - 1)), 0}; }

// Stage 0 multiplies by exactly 1: the product path returns x1 unchanged,
// whatever its value (also the most negative one), on both product paths.
TEST(R2Butterfly, TwiddleOnePassesX1Unchanged) {
  for (int bo : {8, 16, 34, 51}) {
    for (int tw : {8, 16, 34}) {
      R2_DIT_PE pe(block(bo, tw, 0));
      const int64_t full = int64_t{1} << (bo - 1);
      for (int64_t v : {-full, int64_t{-1}, int64_t{1}, full - 1, full / 3}) {
        for (bool narrow : {false, true}) {
          if (narrow && !pe.narrow_products()) continue;
          RawComplex x0{0, 0}, x1{v, -v - 1};
          if (narrow) {
            pe.butterfly<int64_t>(x0, x1, real_twiddle(tw, 1.0), 0);
          } else {
            pe.butterfly(x0, x1, real_twiddle(tw, 1.0), 0);
          }
          EXPECT_EQ(pe.twiddled.re, v * 8) << bo << "/" << tw << " " << v;
          EXPECT_EQ(pe.twiddled.im, (-v - 1) * 8);
          EXPECT_EQ(x0.re, v);
          EXPECT_EQ(x0.im, -v - 1);
        }
      }
    }
  }
}

// A shift of 3 divides the butterfly outputs by 8 exactly: the scaled
// register has three more fractional bits than the sums. Quantisation then
// truncates or rounds (ties to even) those bits.
TEST(R2Butterfly, ShiftOfThreeIsExactBeforeQuantisation) {
  for (int rounding : {0, 1}) {
    R2_DIT_PE pe(block(16, 16, rounding));
    for (int units : {1, 3, 4, 5, 12, 13, -3, -4, -5, -12, -32768}) {
      RawComplex x0{units, 0}, x1{0, 0};
      pe.butterfly(x0, x1, real_twiddle(16, 1.0), 3);
      EXPECT_EQ(pe.scaled[0].re, int64_t{units} * 64 / 8) << units;
      const double expect = rounding ? std::nearbyint(units / 8.0) : std::floor(units / 8.0);
      EXPECT_EQ(x0.re, static_cast<int64_t>(expect)) << units << " rounding " << rounding;
    }
  }
}

// The overflow flag looks at the scaled value before quantisation: a result
// in [1 - 2^-Bo, 1) does not overflow and quantises to the largest word
// (ConvergentSafe never rounds up into the sign), while a result of 1.0
// does overflow and wraps.
TEST(R2Butterfly, OverflowIsTestedBeforeQuantisation) {
  const int bo = 12;
  const int64_t largest = (int64_t{1} << (bo - 1)) - 1;
  for (int rounding : {0, 1}) {
    R2_DIT_PE pe(block(bo, 10, rounding));
    RawComplex x0{largest, 0}, x1{1, 0};
    pe.butterfly(x0, x1, real_twiddle(10, 0.5), 0);  // t = lsb / 2: sum 1 - 2^-Bo
    EXPECT_EQ(pe.scaled[0].re, (largest << 6) + 32);
    EXPECT_EQ(pe.overflow, 0);
    EXPECT_EQ(x0.re, largest);
    x0 = {largest, 0};
    x1 = {1, 0};
    pe.butterfly(x0, x1, real_twiddle(10, 1.0), 0);  // t = lsb: sum 1.0
    EXPECT_EQ(pe.overflow, 1);
    EXPECT_EQ(x0.re, -largest - 1);
  }
  // -1.0 itself is in range; -1 - lsb is not.
  R2_DIT_PE pe(block(bo, 10, 0));
  RawComplex x0{-largest - 1, 0}, x1{0, 0};
  pe.butterfly(x0, x1, real_twiddle(10, 1.0), 0);
  EXPECT_EQ(pe.overflow, 0);
  x0 = {-largest - 1, 0};
  x1 = {1, 0};
  pe.butterfly(x0, x1, real_twiddle(10, 1.0), 0);
  EXPECT_EQ(pe.overflow, 1);  // x0 - t = -1 - lsb
  EXPECT_EQ(x1.re, largest);
}

// The product is rounded to the working point W = Bo + 2, ties toward minus
// infinity. With x1 = one LSB of the word, a unit of W is lsb / 8, and
// w = k / 64 gives k / 8 of that unit.
TEST(R2Butterfly, ProductRoundsTiesDown) {
  R2_DIT_PE pe(block(16, 16, 0));
  const struct {
    double w;
    int64_t t;  // units of W
  } cases[] = {
      {0.0625, 0},      // 0.5 unit: a tie, down to 0
      {-0.0625, -1},    // -0.5: down to -1
      {0.1875, 1},      // 1.5: down to 1
      {-0.1875, -2},    // -1.5: down to -2
      {0.4375, 3},      // 3.5: down to 3, not to even
      {0.09375, 1},     // 0.75: nearest
      {-0.078125, -1},  // -0.625: nearest
      {0.125, 1},       // exact
  };
  for (const auto &k : cases) {
    RawComplex x0{0, 0}, x1{1, 0};
    pe.butterfly(x0, x1, real_twiddle(16, k.w), 0);
    EXPECT_EQ(pe.twiddled.re, k.t) << k.w;
  }
}

}  // namespace
