// The pipelined engine's processing element, word for word. Its native
// register arithmetic is compared with a model that performs every register
// step with the fixed-point classes, in all three configurations (fixed
// scaling, block floating point, unscaled), for first and second stages of a
// pair, even and odd groups, both directions, the last stage of odd and even
// lengths with an odd and an even C_NFFT_MAX, every shift and both rounding
// modes. Hand-computed cases pin the last stage's lost fraction bit.
#include "r22_dif_pe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace {

using zel::ZelComplex;
using zel::ZelFix;
using zelfft::RawComplex;

constexpr int S = zel::Signed;
constexpr int T = zel::Truncate;
constexpr int W = zel::Wrap;

struct Config {
  int b;           // word width B
  int tw;          // twiddle width
  bool fixed;      // fixed scaling (else block floating point or unscaled: same registers)
  int nfft_max;
  int nfft;
};

// The butterfly written register by register with the fixed-point classes.
struct ModelR22 {
  Config c;
  bool rounding;
  int direction;
  ZelComplex outputs[2], products[2], stage_results[2], biased[2], twiddled[2], round_constant, scaled[2],
      final_stage[2];
  int product_point;
  bool overflow = false;

  ModelR22(const Config &cfg, bool rounding_, int direction_) : c(cfg), rounding(rounding_), direction(direction_) {
    const int b = c.b, tw = c.tw;
    const int q = rounding ? zel::ConvergentSafe : T;
    product_point = c.fixed ? b + 4 : b + 5;
    for (auto &r : outputs) r.setFormat(c.fixed ? b + 2 : b, b - 1, S, q, W);
    for (auto &r : products) r.setFormat(c.fixed ? b + tw + 3 : b + tw + 1, b + tw - 2, S, T, W);
    for (auto &r : stage_results) r.setFormat(c.fixed ? b + 2 : b, b - 1, S, T, W);
    for (auto &r : biased) r.setFormat(c.fixed ? b + tw + 3 : b + tw + 1, b + tw - 2, S, T, W);
    for (auto &r : twiddled) r.setFormat(c.fixed ? b + 8 : b + 6, product_point, S, T, W);
    round_constant.setFormat(b + tw + 3, b + tw - 2, S, T, W);
    const double rc = std::ldexp(std::ldexp(1.0, tw + b - 3 - product_point) - 1.0, -(b + tw - 2));
    round_constant.set(rc, rc);
    for (auto &r : scaled) r.setFormat(b + 11, b + 7, S, T, W);
    const int lost = c.nfft_max % 2 == 1 ? 0 : 1;  // final_stage drops a fraction bit for an even maximum
    for (auto &r : final_stage) r.setFormat(b + 5 - lost, b + 2 - lost, S, T, W);
  }

  void test_overflow(const ZelComplex &v) {
    const ZelFix one(1.0, 3, 1, S, T, W);
    const ZelFix minus_one(-1.0, 3, 1, S, T, W);
    for (const ZelFix *part : {&v.real(), &v.imag()}) {
      if (*part < minus_one || *part >= one) overflow = true;
    }
  }

  void shift_into_scaled(int k, const ZelComplex &v, int shift) {
    scaled[k].real() = v.real().shiftRightExact(shift);
    scaled[k].imag() = v.imag().shiftRightExact(shift);
    test_overflow(scaled[k]);
  }

  void run(const ZelComplex (&x)[2], const ZelComplex &w1, const ZelComplex &w2, int s, int g, int shift) {
    const bool odd_stage = (s & 1) == 1;
    // The engine rebuilds its element for every transform, so `scaled` has
    // its narrow last-stage format only in that stage.
    for (auto &r : scaled) r.setFormat(c.b + 11, c.b + 7, S, T, W);
    if (!odd_stage || (g & 1) == 0) {
      stage_results[0] = x[0] + x[1];
      stage_results[1] = x[0] - x[1];
    } else {
      const ZelFix &a = x[0].real(), &b = x[0].imag(), &cc = x[1].real(), &d = x[1].imag();
      const int first = direction == 1 ? 0 : 1;
      stage_results[first].real() = a + d;
      stage_results[first].imag() = b - cc;
      stage_results[1 - first].real() = a - d;
      stage_results[1 - first].imag() = b + cc;
    }
    const bool last = s == c.nfft - 1;
    if (!odd_stage) {
      for (int k = 0; k < 2; ++k) {
        if (last && c.fixed) {
          shift_into_scaled(k, stage_results[k], shift);
          outputs[k] = scaled[k];
        } else {
          outputs[k] = stage_results[k];
        }
      }
    } else if (last) {
      if (c.fixed) {
        for (auto &r : scaled) r.setFormat(c.b + 5, c.b + 2, S, T, W);
      }
      for (int k = 0; k < 2; ++k) {
        if (c.fixed) {
          shift_into_scaled(k, stage_results[k], shift);
          final_stage[k] = scaled[k];
          outputs[k] = final_stage[k];
        } else {
          outputs[k] = stage_results[k];
        }
      }
    } else {
      products[0] = stage_results[0] * w1;
      products[1] = stage_results[1] * w2;
      for (int k = 0; k < 2; ++k) {
        biased[k] = products[k] + round_constant;
        twiddled[k] = biased[k];
        if (c.fixed) {
          shift_into_scaled(k, twiddled[k], shift);
          outputs[k] = scaled[k];
        } else {
          outputs[k] = twiddled[k];
        }
      }
    }
  }
};

int64_t pattern(const ZelFix &f) { return static_cast<int64_t>(std::ldexp(f.toDouble(), f.point())); }

int64_t random_pattern(std::mt19937_64 &gen, int64_t lo, int64_t hi) {
  std::uniform_int_distribution<int> pick(0, 7);
  const int p = pick(gen);
  if (p == 0) return lo;
  if (p == 1) return hi;
  std::uniform_int_distribution<int64_t> dist(lo, hi);
  return dist(gen);
}

zelfft::FFT engine_for(const Config &c, int rounding, int direction) {
  zelfft::FFT e;
  e.input_width = c.b;
  e.twiddle_width = c.tw;
  e.nfft = c.nfft;
  e.nfft_max = c.nfft_max;
  e.has_rounding = rounding;
  e.has_scaling = c.fixed ? 1 : 0;
  e.has_bfp = 0;
  e.direction = direction;
  return e;
}

TEST(R22Butterfly, EveryRegisterStepMatchesTheFixedPointModel) {
  // Fixed scaling words are the input width (8..34); the wide
  // configurations reach 34 + 16 + 1 bits. nfft odd and even, C_NFFT_MAX
  // odd and even. B + TW = 61 (fixed scaling) and 63 (the others) are the
  // widest product registers (64 bits) formed in 64-bit sums.
  const Config configs[] = {
      {34, 27, true, 8, 7},   {44, 19, false, 14, 12}, {34, 28, true, 8, 8},  {45, 19, false, 14, 14},
      {8, 8, true, 4, 4},     {16, 16, true, 5, 4},   {16, 16, true, 5, 5},  {34, 34, true, 6, 6},
      {25, 11, true, 7, 7},   {34, 8, true, 16, 15},  {12, 8, false, 3, 3},  {27, 16, false, 10, 10},
      {33, 24, false, 11, 9}, {51, 34, false, 16, 16}, {44, 16, false, 16, 13},
  };
  std::mt19937_64 gen(777);
  for (const Config &c : configs) {
    for (int rounding = 0; rounding <= 1; ++rounding) {
      for (int direction = 0; direction <= 1; ++direction) {
        zelfft::FFT engine = engine_for(c, rounding, direction);
        RawComplex inputs[2];
        zelfft::R22_DIF_PE pe(inputs, engine, c.b);
        ModelR22 model(c, rounding == 1, direction);
        // Memory words are (B+1, B-1); twiddle parts lie in [-1, 1].
        const int64_t dmax = (int64_t{1} << c.b) - 1;
        const int64_t wmax = int64_t{1} << (c.tw - 1);
        const int stages[] = {0, 1, c.nfft - 2, c.nfft - 1};
        for (int trial = 0; trial < 160; ++trial) {
          const int s = stages[trial % 4];
          const int g = (trial / 4) % 2;
          int shift = (trial / 8) % 4;
          if ((s & 1) == 0 && s == c.nfft - 1) shift &= 1;  // a lone last stage shifts by 0 or 1
          ZelComplex x[2], w[2];
          RawComplex rw[2];
          for (int i = 0; i < 2; ++i) {
            inputs[i] = {random_pattern(gen, -dmax - 1, dmax), random_pattern(gen, -dmax - 1, dmax)};
            x[i].setFormat(c.b + 1, c.b - 1, S, T, W);
            x[i].set(std::ldexp(static_cast<double>(inputs[i].re), 1 - c.b),
                     std::ldexp(static_cast<double>(inputs[i].im), 1 - c.b));
            rw[i] = {random_pattern(gen, -wmax, wmax), random_pattern(gen, -wmax, wmax)};
            w[i].setFormat(c.tw + 1, c.tw - 1, S, T, zel::Saturate);
            w[i].set(std::ldexp(static_cast<double>(rw[i].re), 1 - c.tw),
                     std::ldexp(static_cast<double>(rw[i].im), 1 - c.tw));
          }
          pe.overflow = 0;
          model.overflow = false;
          pe.butterfly(rw[0], rw[1], s, g, shift);
          model.run(x, w[0], w[1], s, g, shift);
          for (int k = 0; k < 2; ++k) {
            ASSERT_EQ(pe.outputs[k].re, pattern(model.outputs[k].real()))
                << "B " << c.b << " fixed " << c.fixed << " nfft " << c.nfft << " rounding " << rounding << " dir "
                << direction << " stage " << s << " group " << g << " shift " << shift << " output " << k;
            ASSERT_EQ(pe.outputs[k].im, pattern(model.outputs[k].imag()))
                << "B " << c.b << " fixed " << c.fixed << " nfft " << c.nfft << " rounding " << rounding << " dir "
                << direction << " stage " << s << " group " << g << " shift " << shift << " output " << k;
          }
          ASSERT_EQ(pe.overflow == 1, model.overflow) << "B " << c.b << " stage " << s << " trial " << trial;
        }
      }
    }
  }
}

TEST(R22Butterfly, LastStageShiftOfThreeLosesAFractionBitOnlyForEvenMaximumLength) {
  // The last stage of an even length (stage 3 of 4) under fixed scaling with
  // shift 3: x0 + x1 = 5 LSB becomes 5/8 LSB. For an odd C_NFFT_MAX the
  // register keeps all three fraction bits and rounding goes up to 1; for
  // an even one it keeps two (4/8, a tie) and rounding to even gives 0.
  // Truncation gives 0 either way.
  for (int nfft_max : {5, 4}) {
    for (int rounding = 0; rounding <= 1; ++rounding) {
      const Config c{16, 16, true, nfft_max, 4};
      zelfft::FFT engine = engine_for(c, rounding, 1);
      RawComplex inputs[2] = {{5, -5}, {0, 0}};
      zelfft::R22_DIF_PE pe(inputs, engine, 16);
      pe.butterfly(RawComplex{}, RawComplex{}, 3, 0, 3);
      const int64_t expected = rounding == 1 && nfft_max % 2 == 1 ? 1 : 0;
      EXPECT_EQ(pe.outputs[0].re, expected) << "nfft_max " << nfft_max << " rounding " << rounding;
      EXPECT_EQ(pe.outputs[1].re, expected) << "nfft_max " << nfft_max << " rounding " << rounding;
      // -5/8 LSB: floors to -1; rounds to -1 with all bits, and with one bit
      // lost (-6/8) also to -1.
      EXPECT_EQ(pe.outputs[0].im, -1) << "nfft_max " << nfft_max << " rounding " << rounding;
      EXPECT_EQ(pe.overflow, 0);
    }
  }
}

}  // namespace
