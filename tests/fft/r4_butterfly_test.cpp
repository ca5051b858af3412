// The radix-4 processing element, word for word. Its native register
// arithmetic is compared with a model that performs every register step with
// the fixed-point classes (full-precision ZelComplex results stored into
// registers of the stated formats), on random operands that include the
// extremes, for every shift, both rounding modes and radix-4 and radix-2
// mode. Hand-computed cases pin the rounding of the twiddle product and the
// exact shift before quantisation.
#include "r4_dit_pe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <utility>

namespace {

using zel::ZelComplex;
using zel::ZelFix;
using zelfft::RawComplex;

constexpr int S = zel::Signed;
constexpr int T = zel::Truncate;
constexpr int W = zel::Wrap;

// The butterfly written register by register with the fixed-point classes.
struct ModelR4 {
  int bo, tw;
  bool rounding;
  ZelComplex products[3], twiddled[3], partials[4], combined[4], scaled[4], outputs[4], round_constant;
  bool overflow = false;

  ModelR4(int bo_, int tw_, bool rounding_) : bo(bo_), tw(tw_), rounding(rounding_) {
    const int wp = bo + 2;
    for (auto &r : products) r.setFormat(bo + tw + 2, bo + tw - 2, S, T, W);
    for (auto &r : twiddled) r.setFormat(bo + 4, wp, S, T, W);
    for (auto &r : partials) r.setFormat(bo + 6, wp, S, T, W);
    for (auto &r : combined) r.setFormat(bo + 9, wp + 3, S, T, W);
    for (auto &r : scaled) r.setFormat(bo + 9, wp + 3, S, T, W);
    for (auto &r : outputs) r.setFormat(bo, bo - 1, S, rounding ? zel::ConvergentSafe : T, W);
    round_constant.setFormat(bo + tw + 2, bo + tw - 2, S, T, W);
    const double rc = std::ldexp(std::ldexp(1.0, tw - 5) - 1.0, -(bo + tw - 2));
    round_constant.set(rc, rc);
  }

  void run(const ZelComplex (&x)[4], const ZelComplex (&w)[3], bool radix2, int shift) {
    for (int i = 0; i < 3; ++i) {
      products[i] = x[i + 1] * w[i];
      products[i].real() += round_constant.real();
      products[i].imag() += round_constant.imag();
      twiddled[i] = products[i];
    }
    if (!radix2) {
      partials[0] = x[0] + twiddled[1];
      partials[2] = x[0] - twiddled[1];
      partials[1] = twiddled[0] + twiddled[2];
      partials[3] = twiddled[0] - twiddled[2];
      const ZelFix re = partials[3].real();
      const ZelFix im = partials[3].imag();
      partials[3].real() = im;
      partials[3].imag() = -re;
    } else {
      partials[0] = x[0];
      partials[1] = twiddled[0];
      partials[2] = twiddled[1];
      partials[3] = twiddled[2];
    }
    combined[0] = partials[0] + partials[1];
    combined[2] = partials[0] - partials[1];
    combined[1] = partials[2] + partials[3];
    combined[3] = partials[2] - partials[3];
    const ZelFix one(1.0, 3, 1, S, T, W);
    const ZelFix minus_one(-1.0, 3, 1, S, T, W);
    for (int k = 0; k < 4; ++k) {
      scaled[k] = combined[k];
      scaled[k] >>= shift;
      outputs[k] = scaled[k];
      for (const ZelFix *part : {&scaled[k].real(), &scaled[k].imag()}) {
        if (*part < minus_one || *part >= one) overflow = true;
      }
    }
  }
};

int64_t pattern(const ZelFix &f) { return static_cast<int64_t>(std::ldexp(f.toDouble(), f.point())); }

// Random patterns in [lo, hi], a quarter of them at the extremes.
int64_t random_pattern(std::mt19937_64 &gen, int64_t lo, int64_t hi) {
  std::uniform_int_distribution<int> pick(0, 7);
  switch (pick(gen)) {
    case 0: return lo;
    case 1: return hi;
    default: break;
  }
  std::uniform_int_distribution<int64_t> dist(lo, hi);
  return dist(gen);
}

struct Formats {
  int bo, tw;
};

TEST(R4Butterfly, EveryRegisterStepMatchesTheFixedPointModel) {
  // Data widths from the narrowest input to the widest unscaled word
  // (34 + 16 + 1); twiddle widths over their range. Bo + TW = 62 is the
  // widest product register (64 bits) formed in 64-bit sums.
  const Formats formats[] = {{8, 8},   {8, 34},  {16, 16}, {18, 11}, {25, 24}, {34, 34},
                             {34, 28}, {44, 18}, {44, 19}, {51, 8},  {51, 34}};
  std::mt19937_64 gen(20240611);
  for (const Formats &f : formats) {
    for (int rounding = 0; rounding <= 1; ++rounding) {
      zelfft::FFT engine;
      engine.output_width = f.bo;
      engine.input_width = f.bo;
      engine.twiddle_width = f.tw;
      engine.has_rounding = rounding;
      engine.has_scaling = 1;
      RawComplex inputs[4];
      zelfft::R4_DIT_PE pe(inputs, engine);
      ModelR4 model(f.bo, f.tw, rounding == 1);
      const int64_t dmax = (int64_t{1} << (f.bo - 1)) - 1;
      const int64_t wmax = int64_t{1} << (f.tw - 1);  // twiddle parts lie in [-1, 1]
      for (int trial = 0; trial < 300; ++trial) {
        ZelComplex x[4], w[3];
        RawComplex rw[3];
        for (int i = 0; i < 4; ++i) {
          inputs[i] = {random_pattern(gen, -dmax - 1, dmax), random_pattern(gen, -dmax - 1, dmax)};
          x[i].setFormat(f.bo, f.bo - 1, S, T, W);
          x[i].set(std::ldexp(static_cast<double>(inputs[i].re), 1 - f.bo),
                   std::ldexp(static_cast<double>(inputs[i].im), 1 - f.bo));
        }
        for (int i = 0; i < 3; ++i) {
          rw[i] = {random_pattern(gen, -wmax, wmax), random_pattern(gen, -wmax, wmax)};
          w[i].setFormat(f.tw + 1, f.tw - 1, S, T, zel::Saturate);
          w[i].set(std::ldexp(static_cast<double>(rw[i].re), 1 - f.tw),
                   std::ldexp(static_cast<double>(rw[i].im), 1 - f.tw));
        }
        const bool radix2 = trial % 3 == 0;
        const int shift = trial % 4;
        pe.overflow = 0;
        model.overflow = false;
        pe.butterfly(radix2, shift, rw[0], rw[1], rw[2]);
        model.run(x, w, radix2, shift);
        for (int k = 0; k < 4; ++k) {
          ASSERT_EQ(pe.outputs[k].re, pattern(model.outputs[k].real()))
              << "Bo " << f.bo << " TW " << f.tw << " rounding " << rounding << " trial " << trial << " output " << k;
          ASSERT_EQ(pe.outputs[k].im, pattern(model.outputs[k].imag()))
              << "Bo " << f.bo << " TW " << f.tw << " rounding " << rounding << " trial " << trial << " output " << k;
        }
        ASSERT_EQ(pe.overflow == 1, model.overflow) << "Bo " << f.bo << " TW " << f.tw << " trial " << trial;
      }
    }
  }
}

// A processing element of 16-bit words and twiddles for hand-computed
// cases. Units: a data LSB is 2^-15; the working point W = 18 makes a
// working unit 1/8 LSB; the twiddle (1, 0) below is 2^-15.
struct Pe16 {
  zelfft::FFT engine;
  RawComplex inputs[4];
  explicit Pe16(int rounding) {
    engine.output_width = 16;
    engine.input_width = 16;
    engine.twiddle_width = 16;
    engine.has_rounding = rounding;
    engine.has_scaling = 1;
  }
};

constexpr RawComplex kTiny{1, 0};        // 2^-15
constexpr RawComplex kOne{1 << 15, 0};   // 1.0

TEST(R4Butterfly, TwiddleProductRoundsToNearestWithTiesDown) {
  // In radix-2 mode with x0 = 0 and shift 0, output 0 is t1 floored to whole
  // LSBs. t1 = x1 * 2^-15 is x1 / 4096 working units: 30720 is 7.5 units and
  // rounds down to 7 (output 0), 30721 rounds to 8 (output 1); -2048 is
  // -0.5 units and rounds down to -1 (output -1), -2047 rounds to 0.
  const std::pair<int64_t, int64_t> cases[] = {{30720, 0}, {30721, 1}, {-2048, -1}, {-2047, 0}};
  for (const auto &[x1, expected] : cases) {
    Pe16 p(0);
    zelfft::R4_DIT_PE pe(p.inputs, p.engine);
    p.inputs[1] = {x1, 0};
    pe.butterfly(true, 0, kTiny, kOne, kTiny);
    EXPECT_EQ(pe.outputs[0].re, expected) << "x1 " << x1;
  }
}

TEST(R4Butterfly, ShiftOfThreeIsExactBeforeQuantisation) {
  // x0 = (4, -4) LSB, t1 = x1 * 2^-15 with x1 = 4096: exactly one working
  // unit. Output 0 = (x0 + t1) / 8: the real part is 33/64 LSB, which rounds
  // up only if no bit was lost to the shift (losing one leaves a tie that
  // rounds to 0); the imaginary part is -1/2 LSB, a tie that rounds to even.
  for (int rounding = 0; rounding <= 1; ++rounding) {
    Pe16 p(rounding);
    zelfft::R4_DIT_PE pe(p.inputs, p.engine);
    p.inputs[0] = {4, -4};
    p.inputs[1] = {4096, 0};
    pe.butterfly(true, 3, kTiny, kOne, kTiny);
    EXPECT_EQ(pe.outputs[0].re, rounding == 1 ? 1 : 0) << "rounding " << rounding;
    EXPECT_EQ(pe.outputs[0].im, rounding == 1 ? 0 : -1) << "rounding " << rounding;
    EXPECT_EQ(pe.overflow, 0);
  }
}

TEST(R4Butterfly, OverflowIsJudgedBeforeQuantisationAndTheLargestWordStays) {
  // x0 = 1 - 2^-15 and t1 = 4 working units (half an LSB): output 0 is
  // 1 - 2^-16, inside [-1, 1), so no overflow; rounding it to even would
  // reach 1.0, but the largest word never rounds up into the sign.
  for (int rounding = 0; rounding <= 1; ++rounding) {
    Pe16 p(rounding);
    zelfft::R4_DIT_PE pe(p.inputs, p.engine);
    p.inputs[0] = {32767, 0};
    p.inputs[1] = {16384, 0};
    pe.butterfly(true, 0, kTiny, kOne, kTiny);
    EXPECT_EQ(pe.outputs[0].re, 32767) << "rounding " << rounding;
    EXPECT_EQ(pe.overflow, 0);
    // t1 = 8 units reaches 1.0: overflow, and the word wraps to -1.0.
    p.inputs[1] = {32767, 0};
    pe.butterfly(true, 0, kTiny, kOne, kTiny);
    EXPECT_EQ(pe.overflow, 1);
    EXPECT_EQ(pe.outputs[0].re, -32768);
  }
}

}  // namespace
