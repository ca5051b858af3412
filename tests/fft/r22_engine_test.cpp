// The pipelined streaming engine driven directly: loaded in natural order,
// run with the state's twiddle table and read back from the bit-reversed
// words, as the core's interface does. Whole transforms are compared with an
// independent long-double transform; the schedule, the end-of-transform
// normalisation and the overflow flag are pinned on inputs whose every
// stage is known.
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
  zelfft::R22_pipeline engine;
  explicit Fixture(const Core &c)
      : core(c), settings(r4r22::settings_for(c)), rom(c.nfft_max, c.twiddle_width), engine(settings) {}
  Words run(const Block &x, int direction, const std::vector<int> &schedule = {}) {
    return r4r22::run_pipelined(engine, rom, settings, x, direction, r4r22::pack_schedule(schedule));
  }
};

void check_transform(const Case &c, uint64_t seed) {
  SCOPED_TRACE(c.describe() + " seed " + std::to_string(seed));
  Fixture f(Core{3, c.nfft_max, c.nfft, c.input_width, c.twiddle_width, c.scaling, c.bfp, c.rounding, 0});
  const bool fixed = c.scaling == 1 && c.bfp == 0;
  const Block x = r4r22::random_block(c.nfft, c.input_width, fixed ? 0.5 : 0.99, seed);
  const std::vector<int> schedule = fixed ? r4r22::unit_gain_schedule(3, c.nfft) : std::vector<int>{};
  const Words w = f.run(x, c.direction, schedule);
  const auto ref = r4r22::reference_transform(x.as_complex(), c.direction);
  const int b = f.engine.word_width;

  if (fixed) {
    EXPECT_EQ(w.overflow, 0);
    EXPECT_EQ(w.total_shift, 0);  // the schedule's shifts are not reported
    int total = 0;
    for (int s : schedule) total += s;
    const long double scale = std::ldexp(1.0L, total);
    const long double bound = r4r22::word_error_bound(r4r22::stages_of(3, c.nfft, schedule), b, c.twiddle_width, 0.5L);
    EXPECT_LE(r4r22::max_error(w, ref, scale), bound * scale);
    return;
  }
  // Unscaled and block floating point run the same unscaled data path on
  // inputs divided by 2^(nfft_max+1); block floating point then drops
  // total_shift bits of every word.
  EXPECT_EQ(w.overflow, 0);
  if (c.bfp == 0) {
    EXPECT_EQ(w.total_shift, 0);
  }
  const long double units = std::ldexp(1.0L, c.nfft_max + 1);
  const long double scale = units * std::ldexp(1.0L, w.total_shift);
  const long double unscaled_bound =
      r4r22::word_error_bound(r4r22::stages_of(3, c.nfft, {}), b, c.twiddle_width, 1.0L / units);
  const long double bound = unscaled_bound + (c.bfp == 1 ? std::ldexp(1.0L, 1 - b + w.total_shift) : 0.0L);
  EXPECT_LE(r4r22::max_error(w, ref, scale), bound * units);
  if (c.bfp == 1) {
    // Normalised: the extreme, in input units, lies in [-1, 1) after the
    // shift, and one shift fewer would not have sufficed.
    const long double shifted = std::ldexp(1.0L, w.total_shift);
    const long double extreme = r4r22::peak(ref) / shifted;
    const long double slack = unscaled_bound * units / shifted;
    EXPECT_LE(extreme, 1.0L + slack);
    if (w.total_shift > 0) {
      EXPECT_GE(extreme, 0.5L - slack);
    }
  }
}

TEST(R22Engine, TransformsAgreeWithTheReference) {
  // Every length 2^3 .. 2^12 in every scaling mode, rounding and direction;
  // the four largest lengths once each.
  std::vector<Case> cases = r4r22::sweep(3, 12, {{16, 16}, {8, 8}, {34, 34}, {12, 20}, {27, 12}});
  cases.push_back({13, 13, 16, 16, 1, 0, 1, 1});
  cases.push_back({15, 14, 16, 16, 1, 1, 0, 0});
  cases.push_back({16, 15, 34, 34, 0, 0, 1, 1});
  cases.push_back({16, 16, 16, 16, 1, 1, 1, 1});
  uint64_t seed = 1000;
  for (const Case &c : cases) check_transform(c, seed++);
}

TEST(R22Engine, InverseOfForwardReturnsTheInput) {
  for (int nfft : {3, 8, 9}) {
    SCOPED_TRACE("nfft " + std::to_string(nfft));
    Fixture f(Core{3, nfft, nfft, 20, 20, 1, 1, 1, 0});
    const Block x = r4r22::random_block(nfft, 20, 0.9, 7 + nfft);
    const Words forward = f.run(x, 1);
    // The interface hands back words times 2^(nfft_max+1); feed them in again.
    const double up = std::ldexp(1.0, nfft + 1);
    Block again;
    for (size_t i = 0; i < forward.re.size(); ++i) {
      again.re.push_back(forward.re[i] * up);
      again.im.push_back(forward.im[i] * up);
    }
    const Words back = f.run(again, 0);
    const long double scale = std::ldexp(1.0L, forward.total_shift + back.total_shift - nfft) * up;
    long double worst = 0;
    for (size_t n = 0; n < x.re.size(); ++n) {
      worst = std::max(worst, std::fabs(back.re[n] * scale - x.re[n]));
      worst = std::max(worst, std::fabs(back.im[n] * scale - x.im[n]));
    }
    EXPECT_LE(worst, 1e-4L);
  }
}

TEST(R22Engine, NormalisationShiftsByTheSignedExtreme) {
  // In input units the block's extreme decides the shift: -1.0 fits, +1.0
  // needs one shift. A constant block of v puts N v into bin 0 and zeros
  // elsewhere, exactly; an impulse of v gives v in every bin.
  const int nfft = 5;
  const double n = 32;
  struct Pin {
    const char *what;
    bool impulse;
    double value;
    int total_shift;
  };
  const Pin pins[] = {
      {"zeros", true, 0.0, 0},
      {"impulse -1.0: every bin -1.0", true, -1.0, 0},
      {"constant -1/N: bin 0 is -1.0", false, -1.0 / n, 0},
      {"constant +1/N: bin 0 is +1.0", false, 1.0 / n, 1},
      {"constant 4/N: bin 0 is 4.0", false, 4.0 / n, 3},
      {"constant -4/N: bin 0 is -4.0", false, -4.0 / n, 2},
      {"constant 1/2 - 2^-15: bin 0 just below 16", false, 0.5 - std::ldexp(1.0, -15), 4},
  };
  for (const Pin &p : pins) {
    SCOPED_TRACE(p.what);
    Fixture f(Core{3, nfft, nfft, 16, 16, 1, 1, 0, 0});
    Block x{std::vector<double>(32, p.impulse ? 0.0 : p.value), std::vector<double>(32, 0.0)};
    x.re[0] = p.value;
    const Words w = f.run(x, 1);
    EXPECT_EQ(w.total_shift, p.total_shift);
    const double up = std::ldexp(1.0, nfft + 1 + p.total_shift);
    EXPECT_EQ(w.re[0] * up, p.impulse ? p.value : p.value * n);
    EXPECT_EQ(w.overflow, 0);
  }
}

TEST(R22Engine, NormalisationTakesTheLastExtremeOfEqualSize) {
  // 2/N at odd n, 0 at even n: X[0] = +1.0 (word 0) and X[N/2] = -1.0
  // (word 1), all other bins 0, exactly. Of equal magnitudes the word met
  // last decides, so -1.0 wins and nothing is shifted; +1.0 stays as it is.
  Fixture f(Core{3, 5, 5, 16, 16, 1, 1, 0, 0});
  Block x{std::vector<double>(32, 0.0), std::vector<double>(32, 0.0)};
  for (int n = 1; n < 32; n += 2) x.re[static_cast<size_t>(n)] = 1.0 / 16;
  const Words w = f.run(x, 1);
  EXPECT_EQ(w.total_shift, 0);
  EXPECT_EQ(w.re[0] * 64, 1.0);
  EXPECT_EQ(w.re[16] * 64, -1.0);
}

TEST(R22Engine, NormalisationFloorsTheDroppedBits) {
  // Real parts 1/2 everywhere put 16 input units into bin 0: shift 5. An
  // imaginary impulse of -2^-15 gives -2^-15 input units in every bin, one
  // word LSB below zero (words carry nfft_max + 1 more fraction bits); the
  // shift by 5 floors it to one LSB below zero again, not to zero.
  Fixture f(Core{3, 5, 5, 16, 16, 1, 1, 1, 0});
  Block x{std::vector<double>(32, 0.5), std::vector<double>(32, 0.0)};
  x.im[0] = -std::ldexp(1.0, -15);
  const Words w = f.run(x, 1);
  ASSERT_EQ(w.total_shift, 5);
  const double word_lsb = std::ldexp(1.0, -(f.engine.word_width - 1));
  EXPECT_EQ(w.re[0], 16.0 / 64 / 32);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(w.im[static_cast<size_t>(k)], -word_lsb) << "bin " << k;
}

TEST(R22Engine, UnscaledCoreNeverFlagsOverflowNorShifts) {
  // The extreme input: every sample -1 - 1j, bin 0 = -N (1 + j).
  for (int nfft : {3, 6, 7}) {
    Fixture f(Core{3, nfft, nfft, 16, 16, 0, 0, 1, 0});
    const Block x{std::vector<double>(size_t{1} << nfft, -1.0), std::vector<double>(size_t{1} << nfft, -1.0)};
    const Words w = f.run(x, 1);
    EXPECT_EQ(w.overflow, 0) << "nfft " << nfft;
    EXPECT_EQ(w.total_shift, 0) << "nfft " << nfft;
    EXPECT_EQ(w.re[0] * std::ldexp(1.0, nfft + 1), -std::ldexp(1.0, nfft)) << "nfft " << nfft;
  }
}

TEST(R22Engine, ScheduleAppliesOncePerPairAndOnlyItsLowBitToALoneLastStage) {
  // A constant block of 1/4 over 8 points. The pair's first stage makes 1/2
  // (no shift), its second 1 before the pair's entry shifts it; the lone
  // last stage doubles again before the low bit of its entry halves it.
  // Words hold [-2, 2): results of 1.0 stay (flagged), 2.0 wraps to -2.0.
  Fixture f(Core{3, 3, 3, 16, 16, 1, 0, 0, 0});
  const Block x{std::vector<double>(8, 0.25), std::vector<double>(8, 0.0)};
  struct Pin {
    int first, last;
    double bin0;
    int overflow;
  };
  const Pin pins[] = {
      {1, 1, 0.5, 0}, {1, 3, 0.5, 0},  // only the low bit of the last entry counts
      {1, 0, 1.0, 1}, {1, 2, 1.0, 1},  // 1.0 is flagged and stored
      {2, 0, 0.5, 0}, {0, 1, 1.0, 1},  // the pair's 1.0 is flagged
      {0, 0, -2.0, 1},                 // 2.0 wraps
  };
  for (const Pin &p : pins) {
    SCOPED_TRACE("schedule " + std::to_string(p.first) + "," + std::to_string(p.last));
    const Words w = f.run(x, 1, {p.first, p.last});
    EXPECT_EQ(w.re[0], p.bin0);
    EXPECT_EQ(w.overflow, p.overflow);
    for (int k = 1; k < 8; ++k) EXPECT_EQ(w.re[static_cast<size_t>(k)], 0.0) << "bin " << k;
  }
}

}  // namespace
