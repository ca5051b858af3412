// The radix-2 processing element on hand-placed operands: what the core
// fixes about one butterfly, bit for bit.
#include "r2_dit_pe.h"
#include "r2_loop.h"
#include "twiddle_rom.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using zelfft::FFT;
using zelfft::R2_DIT_PE;
using zelfft::ZelComplex;

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

ZelComplex data(int bo, double re, double im) {
  ZelComplex c(bo, bo - 1, zel::Signed, zel::Truncate, zel::Wrap);
  c.set(re, im);
  return c;
}

ZelComplex twiddle(int tw, double re, double im) {
  ZelComplex c(tw + 1, tw - 1, zel::Signed, zel::Truncate, zel::Saturate);
  c.set(re, im);
  return c;
}

// Stage 0 multiplies by exactly 1: the product path returns x1 unchanged,
// whatever its value (also the most negative one).
TEST(R2Butterfly, TwiddleOnePassesX1Unchanged) {
  for (int bo : {8, 16, 34, 51}) {
    for (int tw : {8, 16, 34}) {
      const FFT f = block(bo, tw, 0);
      ZelComplex in[2] = {data(bo, 0, 0), data(bo, 0, 0)};
      R2_DIT_PE pe(in, f);
      const double lsb = std::ldexp(1.0, 1 - bo);
      for (double v : {-1.0, -lsb, lsb, 1.0 - lsb, 0.3}) {
        in[0].set(0, 0);
        in[1].set(v, -v);
        pe.butterfly(twiddle(tw, 1, 0), 0);
        EXPECT_EQ(pe.twiddled.real().toDouble(), in[1].real().toDouble()) << bo << "/" << tw << " " << v;
        EXPECT_EQ(pe.twiddled.imag().toDouble(), in[1].imag().toDouble());
        EXPECT_EQ(pe.outputs[0].real().toDouble(), in[1].real().toDouble());
        EXPECT_EQ(pe.outputs[0].imag().toDouble(), in[1].imag().toDouble());
      }
    }
  }
}

// A shift of 3 divides the butterfly outputs by 8 exactly: the scaled
// register has three more fractional bits than the sums. Quantisation then
// truncates or rounds (ties to even) those bits.
TEST(R2Butterfly, ShiftOfThreeIsExactBeforeQuantisation) {
  const int bo = 16;
  const double lsb = std::ldexp(1.0, -15);
  for (int rounding : {0, 1}) {
    const FFT f = block(bo, 16, rounding);
    ZelComplex in[2] = {data(bo, 0, 0), data(bo, 0, 0)};
    R2_DIT_PE pe(in, f);
    for (int units : {1, 3, 4, 5, 12, 13, -3, -4, -5, -12, -32768}) {
      in[0].set(units * lsb, 0);
      pe.butterfly(twiddle(16, 1, 0), 3);
      EXPECT_EQ(pe.scaled[0].real().toDouble(), units * lsb / 8) << units;
      const double expect = rounding ? std::nearbyint(units / 8.0) * lsb : std::floor(units / 8.0) * lsb;
      EXPECT_EQ(pe.outputs[0].real().toDouble(), expect) << units << " rounding " << rounding;
    }
  }
}

// The overflow flag looks at the scaled value before quantisation: a result
// in [1 - 2^-Bo, 1) does not overflow and quantises to the largest word
// (ConvergentSafe never rounds up into the sign), while a result of 1.0
// does overflow and wraps.
TEST(R2Butterfly, OverflowIsTestedBeforeQuantisation) {
  const int bo = 12;
  const double lsb = std::ldexp(1.0, 1 - bo);
  for (int rounding : {0, 1}) {
    const FFT f = block(bo, 10, rounding);
    ZelComplex in[2] = {data(bo, 1.0 - lsb, 0), data(bo, lsb, 0)};
    R2_DIT_PE pe(in, f);
    pe.butterfly(twiddle(10, 0.5, 0), 0);  // t = lsb / 2: sum 1 - 2^-Bo
    EXPECT_EQ(pe.scaled[0].real().toDouble(), 1.0 - lsb / 2);
    EXPECT_EQ(pe.overflow, 0);
    EXPECT_EQ(pe.outputs[0].real().toDouble(), 1.0 - lsb);
    pe.butterfly(twiddle(10, 1, 0), 0);  // t = lsb: sum 1.0
    EXPECT_EQ(pe.overflow, 1);
    EXPECT_EQ(pe.outputs[0].real().toDouble(), -1.0);
  }
  // -1.0 itself is in range; -1 - lsb is not.
  const FFT f = block(bo, 10, 0);
  ZelComplex in[2] = {data(bo, -1.0, 0), data(bo, 0, 0)};
  R2_DIT_PE pe(in, f);
  pe.butterfly(twiddle(10, 1, 0), 0);
  EXPECT_EQ(pe.overflow, 0);
  in[1].set(lsb, 0);
  pe.butterfly(twiddle(10, 1, 0), 0);
  EXPECT_EQ(pe.overflow, 1);  // x0 - t = -1 - lsb
  EXPECT_EQ(pe.outputs[1].real().toDouble(), 1.0 - lsb);
}

// The product is rounded to the working point W = Bo + 2, ties toward minus
// infinity. With x1 = one LSB of the word, a unit of W is lsb / 8, and
// w = k / 64 gives k / 8 of that unit.
TEST(R2Butterfly, ProductRoundsTiesDown) {
  const int bo = 16;
  const double lsb = std::ldexp(1.0, 1 - bo);
  const FFT f = block(bo, 16, 0);
  ZelComplex in[2] = {data(bo, 0, 0), data(bo, lsb, 0)};
  R2_DIT_PE pe(in, f);
  const struct {
    double w, t;
  } cases[] = {
      {0.0625, 0.0},            // 0.5 unit: a tie, down to 0
      {-0.0625, -lsb / 8},      // -0.5: down to -1
      {0.1875, lsb / 8},        // 1.5: down to 1
      {-0.1875, -lsb / 4},      // -1.5: down to -2
      {0.4375, 3 * lsb / 8},    // 3.5: down to 3, not to even
      {0.09375, lsb / 8},       // 0.75: nearest
      {-0.078125, -lsb / 8},    // -0.625: nearest
      {0.125, lsb / 8},         // exact
  };
  for (const auto &k : cases) {
    pe.butterfly(twiddle(16, k.w, 0), 0);
    EXPECT_EQ(pe.twiddled.real().toDouble(), k.t) << k.w;
  }
}

}  // namespace
