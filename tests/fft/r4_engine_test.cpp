// The radix-4 burst engine driven directly: loaded in digit-reversed order,
// run with the state's twiddle table and read back in natural order, as the
// core's interface does. Whole transforms are compared with an independent
// long-double transform; block-floating-point shift decisions, which that
// comparison cannot see, are pinned on inputs whose every stage is known.
#include "r4_r22_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using r4r22::Block;
using r4r22::Case;
using r4r22::Core;
using r4r22::Words;

struct Fixture {
  Core core;
  zelfft::FftSettings settings;
  zelfft::TWIDDLE_ROM rom;
  zelfft::R4_loop engine;
  explicit Fixture(const Core &c)
      : core(c), settings(r4r22::settings_for(c)), rom(c.nfft_max, c.twiddle_width), engine(settings) {}
  Words run(const Block &x, int direction, const std::vector<int> &schedule = {}) {
    return r4r22::run_radix4(engine, rom, settings, x, direction, r4r22::pack_schedule(schedule));
  }
};

// Runs one random block and checks it against the reference transform.
void check_transform(const Case &c, uint64_t seed) {
  SCOPED_TRACE(c.describe() + " seed " + std::to_string(seed));
  Fixture f(Core{1, c.nfft_max, c.nfft, c.input_width, c.twiddle_width, c.scaling, c.bfp, c.rounding, 0});
  const bool fixed = c.scaling == 1 && c.bfp == 0;
  // Half scale keeps a unit-gain schedule free of overflow: the complex size
  // of the data never grows.
  const Block x = r4r22::random_block(c.nfft, c.input_width, fixed ? 0.5 : 0.99, seed);
  const std::vector<int> schedule = fixed ? r4r22::unit_gain_schedule(1, c.nfft) : std::vector<int>{};
  const Words w = f.run(x, c.direction, schedule);
  const auto ref = r4r22::reference_transform(x.as_complex(), c.direction);
  const int word_width = f.settings.internal_output_width;

  EXPECT_EQ(w.overflow, 0);
  if (c.scaling == 0) {
    // Unscaled: the words hold X / 2^(nfft_max+1) and never shift.
    EXPECT_EQ(w.total_shift, 0);
    const long double bound = r4r22::word_error_bound(r4r22::stages_of(1, c.nfft, {}), word_width, c.twiddle_width,
                                                      std::ldexp(1.0L, -(c.nfft_max + 1)));
    EXPECT_LE(r4r22::max_error(w, ref, std::ldexp(1.0L, c.nfft_max + 1)), bound * std::ldexp(1.0L, c.nfft_max + 1));
  } else if (fixed) {
    int total = 0;
    for (int s : schedule) total += s;
    EXPECT_EQ(w.total_shift, total);
    const long double scale = std::ldexp(1.0L, total);
    const long double bound =
        r4r22::word_error_bound(r4r22::stages_of(1, c.nfft, schedule), word_width, c.twiddle_width, 0.5L);
    EXPECT_LE(r4r22::max_error(w, ref, scale), bound * scale);
  } else {
    // Block floating point: the stage shifts are the engine's own choice, so
    // judge the noise against the block's size, which block floating point
    // keeps within a few bits of full scale at every stage. (The largest
    // single error is no measure here: the truncation bias of early stages
    // piles up coherently in a few bins, by up to 2^(stages) LSBs.)
    const long double scale = std::ldexp(1.0L, w.total_shift);
    const long double stages = c.nfft / 2 + c.nfft % 2;
    const long double step = std::ldexp(1.0L, 1 - word_width) + std::ldexp(1.0L, 1 - c.twiddle_width);
    EXPECT_LE(r4r22::relative_rms_error(w, ref, scale), 32 * std::sqrt(stages) * step);
    // And the block is left using its range: an extra shift would halve it.
    EXPECT_GE(r4r22::peak(ref) / scale, 0.09);
  }
}

TEST(R4Engine, TransformsAgreeWithTheReference) {
  // Every length 2^6 .. 2^13 in every scaling mode, rounding and direction;
  // the three largest lengths once each.
  std::vector<Case> cases = r4r22::sweep(6, 13, {{16, 16}, {8, 8}, {34, 34}, {12, 20}, {24, 10}});
  cases.push_back({14, 14, 16, 16, 1, 1, 0, 1});
  cases.push_back({16, 15, 18, 18, 1, 0, 1, 0});
  cases.push_back({16, 16, 34, 34, 0, 0, 0, 1});  // the widest words: 51 bits
  uint64_t seed = 1;
  for (const Case &c : cases) check_transform(c, seed++);
}

TEST(R4Engine, InverseOfForwardReturnsTheInput) {
  // Forward, then the inverse of the forward result: N x[n] / 2^(both shifts).
  for (int nfft : {6, 9}) {
    SCOPED_TRACE("nfft " + std::to_string(nfft));
    Fixture f(Core{1, nfft, nfft, 20, 20, 1, 1, 1, 0});
    const Block x = r4r22::random_block(nfft, 20, 0.9, 99 + nfft);
    const Words forward = f.run(x, 1);
    const Block back_in{forward.re, forward.im};
    const Words back = f.run(back_in, 0);
    const long double scale = std::ldexp(1.0L, forward.total_shift + back.total_shift - nfft);
    long double worst = 0;
    for (size_t n = 0; n < x.re.size(); ++n) {
      worst = std::max(worst, std::fabs(back.re[n] * scale - x.re[n]));
      worst = std::max(worst, std::fabs(back.im[n] * scale - x.im[n]));
    }
    EXPECT_LE(worst, 1e-3L);
  }
}

TEST(R4Engine, SuccessiveTransformsOfDifferentLengthsAreIndependent) {
  // A run-time-length core reused for 2^8, 2^6 and 2^7 points gives what a
  // fresh engine gives for each: nothing of one transform leaks into the next.
  const Core core{1, 8, 8, 16, 16, 1, 1, 1, 0};
  Fixture reused(core);
  for (int nfft : {8, 6, 7, 8}) {
    Core c = core;
    c.nfft = nfft;
    reused.settings = r4r22::settings_for(c);
    Fixture fresh(c);
    const Block x = r4r22::random_block(nfft, 16, 0.7, 5u + nfft);
    const Words a = reused.run(x, 1);
    const Words b = fresh.run(x, 1);
    EXPECT_EQ(a.re, b.re) << "nfft " << nfft;
    EXPECT_EQ(a.im, b.im) << "nfft " << nfft;
    EXPECT_EQ(a.total_shift, b.total_shift) << "nfft " << nfft;
  }
}

// Block floating point on a 64-point block whose every stage is known. An
// impulse spreads unchanged: every stage writes x[0] / 2^(shifts so far). A
// constant block v piles up in bin 0: stage s writes 4^(s+1) v / 2^(shifts).
// Stage 0 shifts by 2 - (input headroom), at least 0; stage s > 0 by the
// growth class of what stage s-1 wrote: 0 below 3/16, 1 below 3/8, 2 below
// 97/128, else 3.
struct BfpPin {
  const char *what;
  bool impulse;
  double value;
  int total_shift;
  double bin0;
};

TEST(R4Engine, BlockFloatingPointShiftsFollowHeadroomAndGrowthClasses) {
  const double lsb = std::ldexp(1.0, -15);
  const BfpPin pins[] = {
      {"impulse -1.0, headroom 0: shifts 2, 1 (class of -1/4), 0", true, -1.0, 3, -0.125},
      {"impulse 1/4, headroom 1: shifts 1, 0, 0", true, 0.25, 1, 0.125},
      {"impulse 1/8, headroom 2: no shift", true, 0.125, 0, 0.125},
      {"impulse 2^-10, headroom 3: no shift", true, std::ldexp(1.0, -10), 0, std::ldexp(1.0, -10)},
      {"impulse 3/16 is class 1: shifts 0, 1, 0", true, 0.1875, 1, 0.09375},
      {"impulse just below 3/16 is class 0", true, 0.1875 - lsb, 0, 0.1875 - lsb},
      {"impulse -3/16 is class 0", true, -0.1875, 0, -0.1875},
      {"impulse just below -3/16 is class 1 (floored by the probe)", true, -0.1875 - lsb, 1, -0.09375 - lsb},
      {"constant 3/64: bin 0 grows to 3/16 (class 1), then 3/8 (class 2)", false, 0.046875, 3, 0.375},
      {"constant 3/16: 3/4 is class 2, twice", false, 0.1875, 4, 0.75},
      {"constant 97/512: 97/128 is class 3, then class 2", false, 97.0 / 512.0, 5, 97.0 / 256.0},
  };
  for (const BfpPin &p : pins) {
    SCOPED_TRACE(p.what);
    Fixture f(Core{1, 6, 6, 16, 16, 1, 1, 0, 0});
    Block x{std::vector<double>(64, p.impulse ? 0.0 : p.value), std::vector<double>(64, 0.0)};
    x.re[0] = p.value;
    const Words w = f.run(x, 1);
    EXPECT_EQ(w.total_shift, p.total_shift);
    EXPECT_EQ(w.overflow, 0);
    EXPECT_EQ(w.re[0], p.bin0);
    for (int k = 1; k < 64; ++k) {
      ASSERT_EQ(w.re[static_cast<size_t>(k)], p.impulse ? p.bin0 : 0.0) << "bin " << k;
      ASSERT_EQ(w.im[static_cast<size_t>(k)], 0.0) << "bin " << k;
    }
  }
}

TEST(R4Engine, ScheduleOverflowSetsTheFlagAndWraps) {
  // A constant block of -1/2 under a schedule of zeros: bin 0 reaches -2 in
  // stage 0, which the data word cannot hold.
  Fixture f(Core{1, 6, 6, 16, 16, 1, 0, 0, 0});
  const Block x{std::vector<double>(64, -0.5), std::vector<double>(64, 0.0)};
  EXPECT_EQ(f.run(x, 1, {0, 0, 0}).overflow, 1);
  // The same block under shifts of 3, 2, 1: -64/2 / 2^6 = -1/2, exactly.
  const Words w = f.run(x, 1, {3, 2, 1});
  EXPECT_EQ(w.overflow, 0);
  EXPECT_EQ(w.total_shift, 6);
  EXPECT_EQ(w.re[0], -0.5);
}

TEST(R4Engine, RadixTwoStageTakesItsShiftFromTheLastScheduleEntry) {
  // 128 points: three radix-4 stages and the radix-2 stage. A constant
  // block's bin 0 doubles in the last stage; its entry of 1 halves it back.
  Fixture f(Core{1, 7, 7, 16, 16, 1, 0, 0, 0});
  const Block x{std::vector<double>(128, 0.25), std::vector<double>(128, 0.0)};
  const Words w = f.run(x, 0, {2, 2, 2, 1});
  EXPECT_EQ(w.total_shift, 7);
  EXPECT_EQ(w.overflow, 0);
  EXPECT_EQ(w.re[0], 0.25);
  const Words unshifted = f.run(x, 0, {2, 2, 2, 0});
  EXPECT_EQ(unshifted.re[0], 0.5);
}

}  // namespace
