// Radix-2 transforms through the exported interface: word-for-word agreement
// with an independent integer model, agreement with a long-double DFT within
// the error the widths and the scaling allow, and the exact results the core
// fixes (impulses, block-floating-point shift choices, C_ARCH 2 = 4).
#include "brevant.h"
#include "r2_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Generics = korvane_ip_zelfft_v9_0_generics;
using State = korvane_ip_zelfft_v9_0_state;

struct StateDeleter {
  void operator()(State *s) const { korvane_ip_zelfft_v9_0_destroy_state(s); }
};
using StatePtr = std::unique_ptr<State, StateDeleter>;

Generics generics_of(const r2ref::Config &c, int arch = 2) {
  Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = arch;
  g.C_NFFT_MAX = c.nfft_max;
  g.C_HAS_NFFT = c.nfft != c.nfft_max ? 1 : 0;
  g.C_INPUT_WIDTH = c.input_width;
  g.C_TWIDDLE_WIDTH = c.twiddle_width;
  g.C_HAS_SCALING = c.scaling ? 1 : 0;
  g.C_HAS_BFP = c.bfp ? 1 : 0;
  g.C_HAS_ROUNDING = c.rounding ? 1 : 0;
  return g;
}

struct Output {
  std::vector<double> re, im;
  int block_exp = -1, overflow = -1;
};

// Integer samples in units of 2^-(input_width-1), passed as doubles.
Output simulate(State *s, const r2ref::Config &c, const std::vector<int64_t> &xr, const std::vector<int64_t> &xi) {
  const int n = 1 << c.nfft;
  std::vector<double> dr(n), di(n);
  for (int i = 0; i < n; ++i) {
    dr[i] = std::ldexp(static_cast<double>(xr[i]), 1 - c.input_width);
    di[i] = std::ldexp(static_cast<double>(xi[i]), 1 - c.input_width);
  }
  std::vector<int32_t> sch(c.schedule.begin(), c.schedule.end());
  Output out;
  out.re.assign(n, 0.0);
  out.im.assign(n, 0.0);
  korvane_ip_zelfft_v9_0_inputs in{c.nfft, dr.data(), n, di.data(), n, sch.data(), static_cast<int32_t>(sch.size()),
                                   c.direction};
  korvane_ip_zelfft_v9_0_outputs o{out.re.data(), n, out.im.data(), n, -1, -1};
  EXPECT_EQ(korvane_ip_zelfft_v9_0_bitacc_simulate(s, in, &o), 0);
  out.block_exp = o.block_exp;
  out.overflow = o.overflow;
  return out;
}

// Caller's scale of a model word: unscaled cores grow by 2^(C_NFFT_MAX+1).
double model_value(const r2ref::Config &c, r2ref::i128 v) {
  const int grow = c.scaling ? 0 : c.nfft_max + 1;
  return std::ldexp(static_cast<double>(v), grow - (c.word_width() - 1));
}

std::vector<int64_t> random_samples(std::mt19937_64 &rng, int n, int64_t magnitude) {
  std::uniform_int_distribution<int64_t> d(-magnitude, magnitude - 1);
  std::vector<int64_t> v(n);
  for (auto &x : v) x = d(rng);
  return v;
}

// Samples from the corners of the range, where sums land on the largest
// word, overflow by one unit or wrap.
std::vector<int64_t> corner_samples(std::mt19937_64 &rng, int n, int width) {
  const int64_t full = int64_t{1} << (width - 1);
  const int64_t corners[] = {full - 1, -full, full / 2, -full / 2, full / 2 - 1, 1, -1, 0};
  std::uniform_int_distribution<int> d(0, 7);
  std::vector<int64_t> v(n);
  for (auto &x : v) x = corners[d(rng)];
  return v;
}

// Word-for-word comparison with the integer model, including the block
// exponent and the overflow flag as simulate reports them.
void expect_same_as_model(State *s, const r2ref::Config &c, const std::vector<int64_t> &xr,
                          const std::vector<int64_t> &xi) {
  const Output got = simulate(s, c, xr, xi);
  const r2ref::Result want = r2ref::run(c, xr, xi);
  const int n = 1 << c.nfft;
  int mismatches = 0;
  for (int k = 0; k < n && mismatches < 5; ++k) {
    if (got.re[k] != model_value(c, want.re[k]) || got.im[k] != model_value(c, want.im[k])) {
      ADD_FAILURE() << "X[" << k << "] = (" << got.re[k] << ", " << got.im[k] << "), model ("
                    << model_value(c, want.re[k]) << ", " << model_value(c, want.im[k]) << ")";
      ++mismatches;
    }
  }
  EXPECT_EQ(got.block_exp, c.scaling && c.bfp ? want.total_shift : 0);
  EXPECT_EQ(got.overflow, c.scaling && !c.bfp && want.overflow ? 1 : 0);
}

std::string describe(const r2ref::Config &c) {
  std::string sch;
  for (int v : c.schedule) sch += std::to_string(v);
  return "nfft_max " + std::to_string(c.nfft_max) + " nfft " + std::to_string(c.nfft) + " in " +
         std::to_string(c.input_width) + " tw " + std::to_string(c.twiddle_width) + " scaling " +
         std::to_string(c.scaling) + " bfp " + std::to_string(c.bfp) + " rounding " + std::to_string(c.rounding) +
         " direction " + std::to_string(c.direction) + " schedule " + sch;
}

r2ref::Config random_config(std::mt19937_64 &rng, int nfft_max) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  r2ref::Config c;
  c.nfft_max = nfft_max;
  c.nfft = nfft_max > 3 && pick(0, 2) == 0 ? pick(3, nfft_max) : nfft_max;
  c.input_width = pick(0, 3) == 0 ? 34 : pick(8, 34);
  c.twiddle_width = pick(0, 3) == 0 ? 34 : pick(8, 34);
  const int mode = pick(0, 2);
  c.scaling = mode != 0;
  c.bfp = mode == 2;
  c.rounding = pick(0, 1) == 1;
  c.direction = pick(0, 1);
  for (int s = 0; s < c.nfft; ++s) c.schedule.push_back(pick(0, 3));
  return c;
}

// Random configurations, full-scale random data (so wraps and overflows
// occur too): the engine must match the model bit for bit.
TEST(R2Transform, MatchesIntegerModelWordForWord) {
  const uint64_t seed = 20261208;
  std::mt19937_64 rng(seed);
  for (int trial = 0; trial < 60; ++trial) {
    const int nfft_max = trial < 48 ? 3 + trial % 8 : (trial < 58 ? 11 + trial % 3 : 14 + trial % 2);
    const r2ref::Config c = random_config(rng, nfft_max);
    SCOPED_TRACE("seed " + std::to_string(seed) + " trial " + std::to_string(trial) + ": " + describe(c));
    StatePtr s(korvane_ip_zelfft_v9_0_create_state(generics_of(c)));
    ASSERT_NE(s, nullptr);
    const int n = 1 << c.nfft;
    const int64_t full = int64_t{1} << (c.input_width - 1);
    // Full-scale blocks, quiet ones (whose headroom differs) and corner values.
    if (trial % 3 == 2) {
      expect_same_as_model(s.get(), c, corner_samples(rng, n, c.input_width), corner_samples(rng, n, c.input_width));
      continue;
    }
    const int64_t magnitude = trial % 3 == 0 ? full : std::max<int64_t>(full >> (trial % 5), 1);
    expect_same_as_model(s.get(), c, random_samples(rng, n, magnitude), random_samples(rng, n, magnitude));
  }
}

// C_ARCH 4 is the same engine as C_ARCH 2: identical words, exponent and flag.
TEST(R2Transform, Arch4IsArch2BitForBit) {
  std::mt19937_64 rng(77);
  for (int trial = 0; trial < 6; ++trial) {
    const r2ref::Config c = random_config(rng, 4 + trial);
    SCOPED_TRACE(describe(c));
    StatePtr s2(korvane_ip_zelfft_v9_0_create_state(generics_of(c, 2)));
    StatePtr s4(korvane_ip_zelfft_v9_0_create_state(generics_of(c, 4)));
    const int n = 1 << c.nfft;
    const auto xr = random_samples(rng, n, int64_t{1} << (c.input_width - 1));
    const auto xi = random_samples(rng, n, int64_t{1} << (c.input_width - 1));
    const Output a = simulate(s2.get(), c, xr, xi);
    const Output b = simulate(s4.get(), c, xr, xi);
    EXPECT_EQ(a.re, b.re);
    EXPECT_EQ(a.im, b.im);
    EXPECT_EQ(a.block_exp, b.block_exp);
    EXPECT_EQ(a.overflow, b.overflow);
  }
}

// Worst-case bound of |model - exact| per part: each stage adds its output
// quantisation, its product rounding and the twiddle error on its largest
// operand, and every later stage at most doubles what it receives before
// its shift.
double error_bound(const r2ref::Config &c, const std::vector<int> &shifts, double peak_part) {
  // One LSB of the output words in the caller's scale; for an unscaled core
  // the finer word grid and the growth by 2^(C_NFFT_MAX+1) cancel.
  const double q = std::ldexp(1.0, 1 - c.input_width);
  const double tw_error = std::ldexp(1.0, 1 - c.twiddle_width);
  double magnitude = std::sqrt(2.0) * peak_part;  // complex magnitude entering stage 0
  std::vector<double> injected;
  for (int s = 0; s < c.nfft; ++s) {
    injected.push_back((magnitude * tw_error * 1.01 + q / 8) / std::ldexp(1.0, shifts[s]) + q);
    magnitude = 2 * magnitude / std::ldexp(1.0, shifts[s]);
  }
  double bound = 0;
  for (int s = 0; s < c.nfft; ++s) {
    double gain = 1;
    for (int j = s + 1; j < c.nfft; ++j) gain *= 2.0 / std::ldexp(1.0, shifts[j]);
    bound += injected[s] * gain;
  }
  return bound;
}

// The exact transform of the block, scaled by 2^-total_shift.
void reference(const r2ref::Config &c, const std::vector<int64_t> &xr, const std::vector<int64_t> &xi,
               int total_shift, std::vector<long double> &yr, std::vector<long double> &yi) {
  const int n = 1 << c.nfft;
  std::vector<long double> ar(n), ai(n);
  for (int i = 0; i < n; ++i) {
    ar[i] = std::ldexp(static_cast<long double>(xr[i]), 1 - c.input_width);
    ai[i] = std::ldexp(static_cast<long double>(xi[i]), 1 - c.input_width);
  }
  r2ref::fft(ar, ai, c.direction);
  yr = ar;
  yi = ai;
  for (int k = 0; k < n; ++k) {
    yr[k] = std::ldexp(yr[k], -total_shift);
    yi[k] = std::ldexp(yi[k], -total_shift);
  }
}

// Every length 8 .. 65536 (the long ones once), both directions, schedule
// scaling, unscaled and block floating point, rounding on and off.
TEST(R2Transform, AgreesWithExactTransformWithinTheWidthsAllow) {
  std::mt19937_64 rng(4242);
  for (int nfft = 3; nfft <= 16; ++nfft) {
    const int variants = nfft <= 11 ? 6 : 1;
    for (int v = 0; v < variants; ++v) {
      r2ref::Config c;
      c.nfft_max = nfft;
      c.nfft = nfft;
      c.input_width = nfft <= 11 ? 12 + 4 * (v % 3) : 16;
      c.twiddle_width = c.input_width + 2;
      c.scaling = v % 3 != 1;
      c.bfp = v % 3 == 2;
      c.rounding = v % 2 == 1;
      c.direction = (v / 2) % 2 == 0 ? 1 : 0;
      // Shift 2 and 0 alternately (the block's magnitude stays put over a pair)
      // and 3 in the last stage (at 16 stages the packed schedule word uses
      // its top bits), or 1 in every stage.
      for (int s = 0; s < nfft; ++s) c.schedule.push_back(v % 2 == 0 ? (s % 2 == 0 ? 2 : 0) : 1);
      if (v % 2 == 0) c.schedule.back() = 3;
      SCOPED_TRACE(describe(c));
      StatePtr st(korvane_ip_zelfft_v9_0_create_state(generics_of(c)));
      const int n = 1 << nfft;
      // Two tones and a little noise, at a level no stage can overflow.
      const int64_t full = int64_t{1} << (c.input_width - 1);
      const double level = 0.3;
      std::normal_distribution<double> noise(0.0, 0.01);
      std::vector<int64_t> xr(n), xi(n);
      for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * 3 * i / n, b = 2 * M_PI * (n / 4 + 1) * i / n;
        xr[i] = std::llround(full * (level * (std::cos(a) + 0.5 * std::cos(b)) / 1.5 + noise(rng)));
        xi[i] = std::llround(full * (level * (std::sin(a) - 0.5 * std::sin(b)) / 1.5 + noise(rng)));
      }
      const Output got = simulate(st.get(), c, xr, xi);
      EXPECT_EQ(got.overflow, 0);
      const r2ref::Result model = r2ref::run(c, xr, xi);
      std::vector<long double> yr, yi;
      reference(c, xr, xi, model.total_shift, yr, yi);
      double peak = 0;
      for (int i = 0; i < n; ++i) peak = std::max({peak, std::fabs(xr[i] / double(full)), std::fabs(xi[i] / double(full))});
      const double bound = error_bound(c, model.shifts, peak);
      double worst = 0;
      for (int k = 0; k < n; ++k) {
        worst = std::max({worst, static_cast<double>(std::fabs(got.re[k] - yr[k])),
                          static_cast<double>(std::fabs(got.im[k] - yi[k]))});
      }
      EXPECT_LE(worst, bound) << "largest error " << worst;
    }
  }
}

// Forward with one shift per stage, then inverse unscaled: the block comes
// back times N / 2^nfft = 1, within the error of both passes.
TEST(R2Transform, ForwardThenInverseReturnsTheInput) {
  std::mt19937_64 rng(99);
  for (int nfft : {3, 6, 10}) {
    const int n = 1 << nfft;
    r2ref::Config fwd;
    fwd.nfft_max = fwd.nfft = nfft;
    fwd.input_width = 18;
    fwd.twiddle_width = 18;
    fwd.schedule.assign(nfft, 1);
    fwd.rounding = true;
    r2ref::Config inv = fwd;
    inv.direction = 0;
    inv.scaling = false;
    StatePtr sf(korvane_ip_zelfft_v9_0_create_state(generics_of(fwd)));
    StatePtr si(korvane_ip_zelfft_v9_0_create_state(generics_of(inv)));
    const int64_t full = int64_t{1} << 17;
    const auto xr = random_samples(rng, n, full / 2);
    const auto xi = random_samples(rng, n, full / 2);
    const Output spectrum = simulate(sf.get(), fwd, xr, xi);
    std::vector<int64_t> yr(n), yi(n);
    for (int k = 0; k < n; ++k) {
      yr[k] = std::llround(std::ldexp(spectrum.re[k], 17));
      yi[k] = std::llround(std::ldexp(spectrum.im[k], 17));
    }
    const Output back = simulate(si.get(), inv, yr, yi);
    double sum_sq = 0;
    for (int i = 0; i < n; ++i) {
      const double er = back.re[i] - std::ldexp(double(xr[i]), -17);
      const double ei = back.im[i] - std::ldexp(double(xi[i]), -17);
      sum_sq += er * er + ei * ei;
    }
    // Each forward output is within nfft LSBs; the inverse sums N of them.
    const double rms = std::sqrt(sum_sq / (2 * n));
    EXPECT_LE(rms, std::sqrt(double(n)) * (nfft + 1) * std::ldexp(1.0, -17) * 2) << "nfft " << nfft;
  }
}

// An impulse of height a through an unscaled core: a in every bin, exactly,
// in either direction; the exponent and overflow outputs are 0.
TEST(R2Transform, ImpulseThroughUnscaledCoreIsFlatAndExact) {
  for (int direction : {0, 1}) {
    for (int64_t height : {int64_t{-32768}, int64_t{12345}, int64_t{32767}}) {
      r2ref::Config c;
      c.nfft_max = c.nfft = 9;
      c.scaling = false;
      c.direction = direction;
      StatePtr s(korvane_ip_zelfft_v9_0_create_state(generics_of(c)));
      std::vector<int64_t> xr(512, 0), xi(512, 0);
      xr[0] = height;
      const Output o = simulate(s.get(), c, xr, xi);
      for (int k = 0; k < 512; ++k) {
        ASSERT_EQ(o.re[k], std::ldexp(double(height), -15)) << k;
        ASSERT_EQ(o.im[k], 0.0) << k;
      }
      EXPECT_EQ(o.block_exp, 0);
      EXPECT_EQ(o.overflow, 0);
    }
  }
}

// Block floating point picks the stage-0 shift from the input headroom and
// each later shift from the class of the previous stage's outputs. An
// impulse keeps its height through the stages (x0 +- 0), so its path is
// easy to follow: 0.25 (headroom 1, class 0) never shifts; 0.5 (headroom 0)
// is halved in stage 0; 53/128 (headroom 1, class 1) passes stage 0 and is
// halved in stage 1; -1.0 (headroom 0, then class 1) is halved in stages 0
// and 1; just below 53/128 (class 0) never shifts.
TEST(R2Transform, BlockFloatingPointShiftsFollowHeadroomAndGrowth) {
  const struct {
    double height;
    int block_exp;
    double result;
  } cases[] = {{0.25, 0, 0.25},
               {0.5, 1, 0.25},
               {0.4140625, 1, 0.20703125},
               {-1.0, 2, -0.25},
               {0.4140625 - 1.0 / 32768, 0, 0.4140625 - 1.0 / 32768}};
  for (const auto &k : cases) {
    SCOPED_TRACE(k.height);
    r2ref::Config c;
    c.nfft_max = c.nfft = 6;
    c.bfp = true;
    StatePtr s(korvane_ip_zelfft_v9_0_create_state(generics_of(c)));
    std::vector<int64_t> xr(64, 0), xi(64, 0);
    xr[0] = std::llround(k.height * 32768);
    const Output o = simulate(s.get(), c, xr, xi);
    EXPECT_EQ(o.block_exp, k.block_exp);
    EXPECT_EQ(o.overflow, 0);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(o.re[i], k.result) << i;
  }
}

}  // namespace
