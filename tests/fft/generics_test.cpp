// Configuration checking of the FFT model through the exported interface,
// and the parameters derived from a valid record.
#include "brevant.h"
#include "fft_generics.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

using Generics = korvane_ip_zelfft_v9_0_generics;

// Creates a state from g, returns the stderr text; expects null when a
// message is expected and a live state otherwise.
std::string create_and_capture(const Generics &g, bool expect_state) {
  testsupport::StderrCapture cap;
  korvane_ip_zelfft_v9_0_state *s = korvane_ip_zelfft_v9_0_create_state(g);
  std::string text = cap.text();
  EXPECT_EQ(s != nullptr, expect_state) << text;
  korvane_ip_zelfft_v9_0_destroy_state(s);
  return text;
}

std::string range_line(const std::string &name, int lo, int hi, int value) {
  return "ERROR:zelfft_v9_0:create_state called with invalid " + name +
         " generic: must be in the range " + std::to_string(lo) + " to " + std::to_string(hi) +
         ": Value is " + std::to_string(value) + "\n";
}

TEST(FftGenerics, DefaultRecordIsARadix4CoreAndBuilds) {
  Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  EXPECT_EQ(g.C_NFFT_MAX, 10);
  EXPECT_EQ(g.C_ARCH, 1);
  EXPECT_EQ(g.C_HAS_NFFT, 0);
  EXPECT_EQ(g.C_USE_FLT_PT, 0);
  EXPECT_EQ(g.C_INPUT_WIDTH, 16);
  EXPECT_EQ(g.C_TWIDDLE_WIDTH, 16);
  EXPECT_EQ(g.C_HAS_SCALING, 1);
  EXPECT_EQ(g.C_HAS_BFP, 0);
  EXPECT_EQ(g.C_HAS_ROUNDING, 0);
  EXPECT_EQ(create_and_capture(g, true), "");
}

TEST(FftGenerics, RecordLayoutIsNineConsecutiveInt32) {
  EXPECT_EQ(sizeof(Generics), 9 * sizeof(int32_t));
  EXPECT_EQ(offsetof(Generics, C_USE_FLT_PT), 3 * sizeof(int32_t));
  EXPECT_EQ(offsetof(Generics, C_HAS_ROUNDING), 8 * sizeof(int32_t));
}

struct RangeCase {
  int32_t Generics::*field;
  const char *name;
  int lo, hi;
};

const RangeCase kRanges[] = {
    {&Generics::C_NFFT_MAX, "C_NFFT_MAX", 3, 16},
    {&Generics::C_ARCH, "C_ARCH", 1, 4},
    {&Generics::C_HAS_NFFT, "C_HAS_NFFT", 0, 1},
    {&Generics::C_INPUT_WIDTH, "C_INPUT_WIDTH", 8, 34},
    {&Generics::C_TWIDDLE_WIDTH, "C_TWIDDLE_WIDTH", 8, 34},
    {&Generics::C_HAS_SCALING, "C_HAS_SCALING", 0, 1},
    {&Generics::C_HAS_BFP, "C_HAS_BFP", 0, 1},
    {&Generics::C_HAS_ROUNDING, "C_HAS_ROUNDING", 0, 1},
    {&Generics::C_USE_FLT_PT, "C_USE_FLT_PT", 0, 1},
};

TEST(FftGenerics, EachGenericOutOfRangePrintsItsLineWithTheValue) {
  for (const RangeCase &c : kRanges) {
    for (int bad : {c.lo - 1, c.hi + 1, -1, -2147483647 - 1, 2147483647}) {
      if (bad >= c.lo && bad <= c.hi) continue;
      Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
      g.*c.field = bad;
      EXPECT_EQ(create_and_capture(g, false), range_line(c.name, c.lo, c.hi, bad))
          << c.name << " = " << bad;
    }
    // Both bounds are inclusive. Some bounds only build in a consistent record.
    for (int good : {c.lo, c.hi}) {
      Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
      g.C_ARCH = 2;
      g.*c.field = good;
      if (c.field == &Generics::C_USE_FLT_PT && good == 1) g.C_INPUT_WIDTH = 32;
      if (c.field == &Generics::C_HAS_SCALING && good == 0) g.C_HAS_BFP = 0;
      if (c.field == &Generics::C_ARCH) g.C_NFFT_MAX = 10;
      EXPECT_EQ(create_and_capture(g, true), "") << c.name << " = " << good;
    }
  }
}

TEST(FftGenerics, FirstFailingGenericInCheckOrderWins) {
  Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = 0;
  g.C_HAS_NFFT = 2;
  EXPECT_EQ(create_and_capture(g, false), range_line("C_ARCH", 1, 4, 0));

  // C_USE_FLT_PT is the fourth field but the last one checked.
  g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_USE_FLT_PT = 5;
  g.C_HAS_ROUNDING = 7;
  EXPECT_EQ(create_and_capture(g, false), range_line("C_HAS_ROUNDING", 0, 1, 7));

  // Single checks run before any combination.
  g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_NFFT_MAX = 5;  // combination 1 would hold with C_ARCH = 1
  g.C_TWIDDLE_WIDTH = 35;
  EXPECT_EQ(create_and_capture(g, false), range_line("C_TWIDDLE_WIDTH", 8, 34, 35));
}

const std::string kCombo1 =
    "ERROR:zelfft_v9_0:create_state called with C_NFFT_MAX < 6 (transform length less than 2^6 = 64) and "
    "C_ARCH = 1 (Radix-4, Burst I/O architecture): this architecture has a minimum transform length of 64, "
    "so C_NFFT_MAX must be 6 or greater.\n";
const std::string kCombo2 =
    "ERROR:zelfft_v9_0:create_state called with C_NFFT_MAX = 3 (transform length of 2^3 = 8) and "
    "C_HAS_NFFT = 1 (run-time configurable transform length): the minimum transform length of 8 cannot be "
    "run-time configurable as it cannot be reduced.\n";
const std::string kCombo3 =
    "ERROR:zelfft_v9_0:create_state called with C_NFFT_MAX = 6 (transform length of 2^6 = 64) and "
    "C_HAS_NFFT = 1 (run-time configurable transform length) and C_ARCH = 1 (Radix-4, Burst I/O "
    "architecture): the minimum transform length of 64 in this architecture cannot be run-time "
    "configurable as it cannot be reduced.\n";
const std::string kCombo4 =
    "ERROR:zelfft_v9_0:create_state called with C_HAS_SCALING = 0 (unscaled) and C_HAS_BFP = 1 (block "
    "floating point scaling): these contradict and do not specify a valid scaling option.\n";
const std::string kCombo5 =
    "ERROR:zelfft_v9_0:create_state called with C_USE_FLT_PT = 1 and C_INPUT_WIDTH != 32: only IEEE "
    "single-precision data of 32 bits is supported.\n";

TEST(FftGenerics, CombinationChecksInOrder) {
  struct Case {
    int nfft_max, arch, has_nfft, flt, width, scaling, bfp;
    const std::string *line;  // null: must build
  } cases[] = {
      {5, 1, 1, 0, 16, 1, 0, &kCombo1},  // combination 1 wins over 2/3-like settings
      {3, 1, 1, 0, 16, 0, 1, &kCombo1},
      {6, 1, 1, 0, 16, 1, 0, &kCombo3},
      {6, 1, 0, 0, 16, 1, 0, nullptr},
      {3, 2, 0, 0, 16, 1, 0, nullptr},
      {3, 2, 1, 0, 16, 1, 0, &kCombo2},
      {3, 3, 1, 0, 16, 0, 1, &kCombo2},  // 2 is reported before 4
      {6, 3, 1, 0, 16, 1, 0, nullptr},   // combination 3 is radix-4 only
      {10, 2, 0, 0, 16, 0, 1, &kCombo4},
      {10, 2, 0, 1, 16, 0, 1, &kCombo4},  // 4 is reported before 5
      {10, 4, 0, 1, 16, 1, 0, &kCombo5},
      {10, 4, 0, 1, 34, 1, 0, &kCombo5},
      {10, 1, 0, 1, 32, 0, 0, nullptr},
      {10, 3, 1, 1, 32, 1, 1, nullptr},
  };
  for (const Case &c : cases) {
    Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
    g.C_NFFT_MAX = c.nfft_max;
    g.C_ARCH = c.arch;
    g.C_HAS_NFFT = c.has_nfft;
    g.C_USE_FLT_PT = c.flt;
    g.C_INPUT_WIDTH = c.width;
    g.C_HAS_SCALING = c.scaling;
    g.C_HAS_BFP = c.bfp;
    SCOPED_TRACE(testing::Message() << "nfft_max " << c.nfft_max << " arch " << c.arch << " has_nfft "
                                    << c.has_nfft << " flt " << c.flt << " width " << c.width);
    EXPECT_EQ(create_and_capture(g, c.line == nullptr), c.line ? *c.line : std::string());
  }
}

TEST(FftGenerics, FloatingPointBuildsWhateverTheScalingSwitches) {
  for (int arch = 1; arch <= 4; ++arch)
    for (int scaling = 0; scaling <= 1; ++scaling)
      for (int bfp = 0; bfp <= scaling; ++bfp)
        for (int rnd = 0; rnd <= 1; ++rnd) {
          Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
          g.C_ARCH = arch;
          g.C_USE_FLT_PT = 1;
          g.C_INPUT_WIDTH = 32;
          g.C_HAS_SCALING = scaling;
          g.C_HAS_BFP = bfp;
          g.C_HAS_ROUNDING = rnd;
          EXPECT_EQ(create_and_capture(g, true), "");
        }
}

TEST(FftGenerics, DestroyIgnoresNull) { korvane_ip_zelfft_v9_0_destroy_state(nullptr); }

// Derived parameters, white box: the settings record the engines copy from.
TEST(FftDerivedParameters, FixedPointWidthsGrowOnlyWhenUnscaled) {
  Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  zelfft::FftSettings s = zelfft::derive_settings(g);
  EXPECT_EQ(s.input_width, 16);
  EXPECT_EQ(s.internal_input_width, 16);
  EXPECT_EQ(s.output_width, 16);
  EXPECT_EQ(s.internal_output_width, 16);
  EXPECT_EQ(s.twiddle_width, 16);
  EXPECT_EQ(s.nfft_max, 10);
  EXPECT_EQ(s.has_rounding, 0);
  EXPECT_EQ(s.has_scaling, 1);
  EXPECT_EQ(s.has_bfp, 0);
  EXPECT_EQ(s.arch, 1);
  EXPECT_EQ(s.use_flt_pt, 0);

  g.C_HAS_SCALING = 0;
  g.C_HAS_ROUNDING = 1;
  g.C_TWIDDLE_WIDTH = 24;
  s = zelfft::derive_settings(g);
  EXPECT_EQ(s.output_width, 27);
  EXPECT_EQ(s.internal_output_width, 27);
  EXPECT_EQ(s.internal_input_width, 16);
  EXPECT_EQ(s.twiddle_width, 24);
  EXPECT_EQ(s.has_rounding, 1);

  g.C_HAS_SCALING = 1;
  g.C_HAS_BFP = 1;
  s = zelfft::derive_settings(g);
  EXPECT_EQ(s.output_width, 16);
  EXPECT_EQ(s.has_bfp, 1);
}

TEST(FftDerivedParameters, FloatingPointRunsOnAFixedMantissaPath) {
  struct Case {
    int arch, nfft_max, internal_in, internal_out, scaling, bfp;
  } cases[] = {
      {1, 10, 29, 29, 1, 1}, {2, 10, 28, 28, 1, 1}, {4, 12, 28, 28, 1, 1},
      {3, 16, 27, 44, 0, 0}, {3, 3, 27, 31, 0, 0},
  };
  for (const Case &c : cases) {
    Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
    g.C_ARCH = c.arch;
    g.C_NFFT_MAX = c.nfft_max;
    g.C_USE_FLT_PT = 1;
    g.C_INPUT_WIDTH = 32;
    g.C_HAS_SCALING = 0;  // the caller's switches do not reach the data path
    g.C_HAS_ROUNDING = 1;
    zelfft::FftSettings s = zelfft::derive_settings(g);
    SCOPED_TRACE(c.arch);
    EXPECT_EQ(s.input_width, 32);
    EXPECT_EQ(s.output_width, 32);
    EXPECT_EQ(s.internal_input_width, c.internal_in);
    EXPECT_EQ(s.internal_output_width, c.internal_out);
    EXPECT_EQ(s.has_scaling, c.scaling);
    EXPECT_EQ(s.has_bfp, c.bfp);
    EXPECT_EQ(s.has_rounding, 0);
    EXPECT_EQ(s.use_flt_pt, 1);
  }
}

}  // namespace
