// Floating-point mode end to end through simulate, on every architecture:
// the range check, the input pass, the mantissa path and the result pass.
#include "brevant.h"
#include "r2_reference.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using State = korvane_ip_zelfft_v9_0_state;

struct StateDeleter {
  void operator()(State *s) const { korvane_ip_zelfft_v9_0_destroy_state(s); }
};

struct FloatRun {
  int code = -1;
  std::string err;
  std::vector<double> re, im;
  int block_exp = -1, overflow = -1;
};

std::unique_ptr<State, StateDeleter> float_state(int arch, int nfft_max, int twiddle_width = 24) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = arch;
  g.C_NFFT_MAX = nfft_max;
  g.C_USE_FLT_PT = 1;
  g.C_INPUT_WIDTH = 32;
  g.C_TWIDDLE_WIDTH = twiddle_width;
  return std::unique_ptr<State, StateDeleter>(korvane_ip_zelfft_v9_0_create_state(g));
}

// C_HAS_SCALING = 1, C_HAS_BFP = 0 in the generics: the schedule is still
// never read in this mode, so a null one is passed.
FloatRun run(State *s, std::vector<double> &xr, std::vector<double> &xi, int direction = 1) {
  FloatRun r;
  const int n = static_cast<int>(xr.size());
  r.re.assign(n, 0);
  r.im.assign(n, 0);
  korvane_ip_zelfft_v9_0_inputs in{0, xr.data(), n, xi.data(), n, nullptr, 0, direction};
  korvane_ip_zelfft_v9_0_outputs out{r.re.data(), n, r.im.data(), n, -1, -1};
  in.nfft = static_cast<int>(std::log2(n));
  testsupport::StderrCapture cap;
  r.code = korvane_ip_zelfft_v9_0_bitacc_simulate(s, in, &out);
  r.err = cap.text();
  r.block_exp = out.block_exp;
  r.overflow = out.overflow;
  return r;
}

uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

TEST(FloatSimulate, RangeErrorsNameTheSingleBounds) {
  auto s = float_state(2, 4);
  std::vector<double> xr(16, 1.0), xi(16, -2.0);
  xr[5] = 3.4028235e38;  // beyond the largest single, but rounds down to it
  FloatRun r = run(s.get(), xr, xi);
  EXPECT_EQ(r.code, 10);
  EXPECT_EQ(r.err,
            "ERROR:zelfft_v9_0:simulate called with invalid real data value: xn_re[5] = 3.40282e+38: all values must "
            "be in the range -3.40282e+38< data < 3.40282e+38\n");
  xr[5] = 1.0;
  xi[15] = -3.4028235e38;
  r = run(s.get(), xr, xi);
  EXPECT_EQ(r.code, 13);
  EXPECT_EQ(r.err,
            "ERROR:zelfft_v9_0:simulate called with invalid imaginary data value: xn_im[15] = -3.40282e+38: all "
            "values must be in the range -3.40282e+38< data < 3.40282e+38\n");
}

TEST(FloatSimulate, ZerosInfinitiesAndDenormals) {
  for (int arch : {1, 2, 3}) {
    SCOPED_TRACE(arch);
    auto s = float_state(arch, 6);
    std::vector<double> xr(64, 0.0), xi(64, -0.0);
    FloatRun r = run(s.get(), xr, xi);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    for (int k = 0; k < 64; ++k) ASSERT_TRUE(r.re[k] == 0 && r.im[k] == 0);
    EXPECT_EQ(r.block_exp, 0);
    EXPECT_EQ(r.overflow, 0);

    // A subnormal sample is zeroed in the caller's array and adds nothing.
    xr[3] = 1e-40;
    r = run(s.get(), xr, xi);
    EXPECT_EQ(r.err,
              "WARNING:zelfft_v9_0:simulate called with a denormalized real data value, this value will be set to "
              "zero\n");
    EXPECT_EQ(bits_of(xr[3]), bits_of(0.0));
    for (int k = 0; k < 64; ++k) ASSERT_TRUE(r.re[k] == 0 && r.im[k] == 0);

    // An infinity (3.5e38 rounds to one) invalidates every result.
    xi[9] = 3.5e38;
    r = run(s.get(), xr, xi);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "WARNING:zelfft_v9_0:simulate called with imag data values set to inf or NaN, output will be "
              "invalidated\n");
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(bits_of(r.re[k]), 0x7FFFFFFFE0000000ull);
      ASSERT_EQ(bits_of(r.im[k]), 0x7FFFFFFFE0000000ull);
    }
  }
}

// A NaN sample reaches input scaling and its rounding like any other before
// the block is invalidated: that path must stay defined (the sanitizer build
// checks float-to-integer conversions) and give the invalidation NaN
// everywhere, on every architecture, with the one warning.
TEST(FloatSimulate, OneNaNSampleInvalidatesTheBlockOnEveryArchitecture) {
  for (int arch : {1, 2, 3, 4}) {
    SCOPED_TRACE(arch);
    auto s = float_state(arch, 6);
    std::vector<double> xr(64, 0.25), xi(64, -0.5);
    xr[17] = -std::numeric_limits<double>::quiet_NaN();
    FloatRun r = run(s.get(), xr, xi);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "WARNING:zelfft_v9_0:simulate called with real data values set to inf or NaN, output will be "
              "invalidated\n");
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(bits_of(r.re[k]), 0x7FFFFFFFE0000000ull) << k;
      ASSERT_EQ(bits_of(r.im[k]), 0x7FFFFFFFE0000000ull) << k;
    }
    EXPECT_EQ(r.block_exp, 0);
    EXPECT_EQ(r.overflow, 0);
  }
}

// Two tones far outside [-1, 1): the results keep the scale, carry at most
// 24 significant bits and agree with the exact transform to the precision
// of the 27..29-bit mantissa path.
TEST(FloatSimulate, TonesAgreeWithTheExactTransformOnEveryArchitecture) {
  for (int arch : {1, 2, 3}) {
    for (int direction : {0, 1}) {
      SCOPED_TRACE(std::to_string(arch) + " direction " + std::to_string(direction));
      const int n = 256;
      auto s = float_state(arch, 8);
      std::vector<double> xr(n), xi(n);
      std::vector<long double> lr(n), li(n);
      for (int i = 0; i < n; ++i) {
        xr[i] = static_cast<float>(3000.0 * std::cos(2 * M_PI * 5 * i / n) + 7.25 * std::sin(2 * M_PI * 77 * i / n));
        xi[i] = static_cast<float>(-1500.0 * std::sin(2 * M_PI * 5 * i / n));
        lr[i] = xr[i];
        li[i] = xi[i];
      }
      FloatRun r = run(s.get(), xr, xi, direction);
      ASSERT_EQ(r.code, 0);
      EXPECT_EQ(r.block_exp, 0);
      EXPECT_EQ(r.overflow, 0);
      r2ref::fft(lr, li, direction);
      double worst = 0;
      for (int k = 0; k < n; ++k) {
        worst = std::max({worst, static_cast<double>(std::fabs(r.re[k] - lr[k])),
                          static_cast<double>(std::fabs(r.im[k] - li[k]))});
        for (double v : {r.re[k], r.im[k]}) ASSERT_EQ(static_cast<double>(static_cast<float>(v)), v);
      }
      EXPECT_LE(worst, n * 3000.0 * std::ldexp(1.0, -18));
      // The block is 750 e^{+j w5 i} + 2250 e^{-j w5 i} (+ the small tone): the
      // larger tone lands in bin -5 of a forward transform and 5 of an inverse.
      EXPECT_GT(std::fabs(r.re[direction == 1 ? n - 5 : 5]), 0.99 * n * 2250.0);
    }
  }
}

// A result beyond the single-precision range becomes an infinity and sets
// the overflow flag.
TEST(FloatSimulate, ResultsBeyondSingleRangeOverflow) {
  for (int arch : {1, 2, 3}) {
    SCOPED_TRACE(arch);
    auto s = float_state(arch, 6);
    std::vector<double> xr(64, 3e38), xi(64, 0.0);
    FloatRun r = run(s.get(), xr, xi);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(std::isinf(r.re[0]) && r.re[0] > 0);
    EXPECT_EQ(r.overflow, 1);
    EXPECT_EQ(r.block_exp, 0);
  }
}

// The radix-2 block-floating-point core can overflow with coarse twiddles:
// here stage 2 meets x0 = 0.414 and x1 = 0.414 (1 + j) under a shift of 0,
// and 0.414 + 0.414 * 2 * 91/128 exceeds 1. A NaN anywhere in the block makes
// the whole run NaN-marked: such words are never out of range and always take
// the largest growth class, so the flag of an invalid block is 0.
TEST(FloatSimulate, AnInvalidBlockNeverOverflows) {
  for (int arch : {2, 4}) {
    SCOPED_TRACE(arch);
    auto s = float_state(arch, 3, 8);
    std::vector<double> xr = {0.828, 0.828, 0, 0, 0, 0, 0, 0}, xi = {0, 0.828, 0, 0, 0, 0, 0, 0};
    FloatRun r = run(s.get(), xr, xi);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.overflow, 1);
    xr[2] = std::numeric_limits<double>::quiet_NaN();
    r = run(s.get(), xr, xi);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(bits_of(r.re[0]), 0x7FFFFFFFE0000000ull);
    EXPECT_EQ(r.overflow, 0);
  }
}

// Floating-point mode keeps its accuracy at any scale: blocks whose largest
// sample ranges from 1e-30 to 1e30 (with samples spread over six decades
// inside each block) agree with a long-double FFT to a small fraction of the
// largest exact bin, on every architecture. A wrong block exponent or scale
// restoration shows as an error of the size of the result itself.
TEST(FloatSimulate, WideDynamicRangeAgreesRelativeToTheBlockMaximum) {
  uint64_t seed = 20261208;
  auto uniform = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(seed >> 11) * 0x1p-53;
  };
  for (int arch : {1, 2, 3}) {
    auto s = float_state(arch, 7);
    for (double scale : {1e-30, 3.7e-12, 1.0, 5e7, 1e30}) {
      SCOPED_TRACE(testing::Message() << "arch " << arch << " scale " << scale << " seed 20261208");
      const int n = 128;
      std::vector<double> xr(n), xi(n);
      std::vector<long double> lr(n), li(n);
      for (int i = 0; i < n; ++i) {
        const double decade_r = std::pow(10.0, -6.0 * uniform()), decade_i = std::pow(10.0, -6.0 * uniform());
        xr[i] = static_cast<float>(scale * decade_r * (2 * uniform() - 1));
        xi[i] = static_cast<float>(scale * decade_i * (2 * uniform() - 1));
      }
      FloatRun r = run(s.get(), xr, xi);
      ASSERT_EQ(r.code, 0);
      EXPECT_EQ(r.overflow, 0);
      // The reference sees the block as the core did: subnormal singles zeroed.
      for (int i = 0; i < n; ++i) {
        lr[i] = xr[i];
        li[i] = xi[i];
      }
      r2ref::fft(lr, li, 1);
      long double peak = 0, worst = 0;
      for (int k = 0; k < n; ++k) {
        peak = std::max({peak, std::fabs(lr[k]), std::fabs(li[k])});
        worst = std::max({worst, std::fabs(r.re[k] - lr[k]), std::fabs(r.im[k] - li[k])});
      }
      EXPECT_LE(worst, 1e-5L * peak);
    }
  }
}

}  // namespace
