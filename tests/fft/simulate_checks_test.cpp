// The ordered argument checks of simulate through the exported function:
// every code with its exact line, the first failure winning, the warnings,
// and a failing call leaving the outputs alone.
#include "brevant.h"
#include "fft_generics.h"
#include "fft_state.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using Generics = korvane_ip_zelfft_v9_0_generics;
using State = korvane_ip_zelfft_v9_0_state;

const std::string kErr = "ERROR:zelfft_v9_0:simulate called with ";

Generics radix2(int nfft_max) {
  Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = 2;
  g.C_NFFT_MAX = nfft_max;
  return g;
}

// A state for the argument checks of any architecture. The checks only ask
// whether the engine of the architecture exists, so a plain FFT stands in
// for the radix-4 and pipelined engines; no transform is run on such a state.
std::unique_ptr<State> checks_only_state(const Generics &g) {
  auto s = std::make_unique<State>();
  s->generics = g;
  s->settings = zelfft::derive_settings(g);
  s->twiddle_rom = std::make_unique<zelfft::TWIDDLE_ROM>(g.C_NFFT_MAX, g.C_TWIDDLE_WIDTH);
  if (g.C_ARCH == 1) s->r4_engine = std::make_unique<zelfft::FFT>();
  if (g.C_ARCH == 2 || g.C_ARCH == 4) s->r2_engine = std::make_unique<zelfft::FFT>();
  if (g.C_ARCH == 3) s->r22_engine = std::make_unique<zelfft::FFT>();
  return s;
}

// One call: valid arguments for N = 2^nfft points that a case then spoils.
struct Call {
  explicit Call(int nfft, int stages) : xr(1 << nfft, 0.25), xi(1 << nfft, -0.5), sch(stages, 1),
                                        yr((1 << nfft) + 3, 7.0), yi((1 << nfft) + 3, 7.0) {
    in.nfft = nfft;
    in.xn_re = xr.data();
    in.xn_re_size = static_cast<int32_t>(xr.size());
    in.xn_im = xi.data();
    in.xn_im_size = static_cast<int32_t>(xi.size());
    in.scaling_sch = sch.data();
    in.scaling_sch_size = static_cast<int32_t>(sch.size());
    in.direction = 1;
    out.xk_re = yr.data();
    out.xk_re_size = 1 << nfft;
    out.xk_im = yi.data();
    out.xk_im_size = 1 << nfft;
    out.block_exp = 99;
    out.overflow = 98;
  }
  // Runs simulate with stderr captured.
  int run(State *state, korvane_ip_zelfft_v9_0_outputs *outputs) {
    testsupport::StderrCapture cap;
    const int code = korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, outputs);
    err = cap.text();
    return code;
  }
  int run(State *state) { return run(state, &out); }

  std::vector<double> xr, xi;
  std::vector<int32_t> sch;
  std::vector<double> yr, yi;
  korvane_ip_zelfft_v9_0_inputs in{};
  korvane_ip_zelfft_v9_0_outputs out{};
  std::string err;
};

struct Case {
  const char *name;
  Generics g;
  int nfft, stages;
  std::function<void(Call &)> spoil;
  int code;
  std::string line;
};

Generics with(Generics g, const std::function<void(Generics &)> &f) {
  f(g);
  return g;
}

TEST(SimulateChecks, EachCodeWithItsLine) {
  const Generics r2 = radix2(5);
  const Generics r2_nfft = with(r2, [](Generics &g) { g.C_HAS_NFFT = 1; });
  const Generics r4 = with(r2, [](Generics &g) { g.C_ARCH = 1; g.C_NFFT_MAX = 9; g.C_HAS_NFFT = 1; });
  const Generics r22 = with(r2, [](Generics &g) { g.C_ARCH = 3; g.C_NFFT_MAX = 9; g.C_HAS_NFFT = 1; });
  const std::string range = ": all values must be in the range -1.0 <= data < 1.0\n";
  const Case cases[] = {
      {"nfft below radix-4 minimum", r4, 5, 3, nullptr, 6,
       kErr + "nfft input 5 out of legal range 6 to C_NFFT_MAX\n"},
      {"nfft above C_NFFT_MAX, radix-4", r4, 10, 5, nullptr, 6,
       kErr + "nfft input 10 out of legal range 6 to C_NFFT_MAX\n"},
      {"nfft below 3", r2_nfft, 2, 2, nullptr, 7, kErr + "nfft input 2 out of legal range 3 to C_NFFT_MAX\n"},
      {"nfft above C_NFFT_MAX, pipelined", r22, 10, 5, nullptr, 7,
       kErr + "nfft input 10 out of legal range 3 to C_NFFT_MAX\n"},
      {"xn_re null", r2, 5, 5, [](Call &c) { c.in.xn_re = nullptr; }, 8,
       kErr + "null pointer for xn_re input\n"},
      {"xn_re size", r2, 5, 5, [](Call &c) { c.in.xn_re_size = 31; }, 9,
       kErr + "incorrect xn_re_size input 31: must be 2^nfft = 32\n"},
      {"xn_re value 1.0", r2, 5, 5, [](Call &c) { c.xr[3] = 1.0; c.xr[4] = 2.0; }, 10,
       kErr + "invalid real data value: xn_re[3] = 1" + range},
      {"xn_re NaN", r2, 5, 5, [](Call &c) { c.xr[31] = std::numeric_limits<double>::quiet_NaN(); }, 10,
       kErr + "invalid real data value: xn_re[31] = nan" + range},
      {"xn_im null", r2, 5, 5, [](Call &c) { c.in.xn_im = nullptr; }, 11,
       kErr + "null pointer for xn_im input\n"},
      {"xn_im size", r2, 5, 5, [](Call &c) { c.in.xn_im_size = 64; }, 12,
       kErr + "incorrect xn_im_size input 64: must be 2^nfft = 32\n"},
      {"xn_im value below -1", r2, 5, 5, [](Call &c) { c.xi[0] = -1.5; }, 13,
       kErr + "invalid imaginary data value: xn_im[0] = -1.5" + range},
      {"scaling_sch null", r2, 5, 5, [](Call &c) { c.in.scaling_sch = nullptr; }, 14,
       kErr + "null pointer for scaling_sch input\n"},
      {"schedule size, radix-4", r4, 7, 3, nullptr, 15,
       kErr + "incorrect scaling_sch_size input 3: must be ceil(nfft/2) = 4\n"},
      {"schedule size, pipelined", r22, 8, 5, nullptr, 15,
       kErr + "incorrect scaling_sch_size input 5: must be ceil(nfft/2) = 4\n"},
      {"schedule size, radix-2", r2, 5, 3, nullptr, 16, kErr + "incorrect scaling_sch_size input 3: must be nfft = 5\n"},
      {"schedule value -1", r2, 5, 5, [](Call &c) { c.sch[2] = -1; c.sch[3] = 4; }, 17,
       kErr + "invalid scaling value: scaling_sch[2] = -1: all values must be in the range 0 to 3\n"},
      {"schedule value 4", r2, 5, 5, [](Call &c) { c.sch[4] = 4; }, 17,
       kErr + "invalid scaling value: scaling_sch[4] = 4: all values must be in the range 0 to 3\n"},
      {"final radix-2 stage of radix-4", r4, 7, 4, [](Call &c) { c.sch[3] = 2; }, 18,
       kErr + "invalid scaling value: scaling value in the final stage, scaling_sch[3] = 2: when C_ARCH = 1 "
              "(Radix-4, Burst I/O architecture) or C_ARCH = 3 (Pipelined, Streaming I/O architecture) and "
              "nfft is odd, the final stage scaling value must be 0 or 1\n"},
      {"direction 2", r2, 5, 5, [](Call &c) { c.in.direction = 2; }, 19,
       kErr + "invalid direction input 2: must be 0 or 1\n"},
      {"direction -1", r2, 5, 5, [](Call &c) { c.in.direction = -1; }, 19,
       kErr + "invalid direction input -1: must be 0 or 1\n"},
      {"xk_re null", r2, 5, 5, [](Call &c) { c.out.xk_re = nullptr; }, 20,
       kErr + "null pointer for xk_re output\n"},
      {"xk_im null", r2, 5, 5, [](Call &c) { c.out.xk_im = nullptr; }, 21,
       kErr + "null pointer for xk_im output\n"},
      {"xk_re size", r2, 5, 5, [](Call &c) { c.out.xk_re_size = 31; }, 22,
       kErr + "too small a value for xk_re_size in outputs structure 31: must be at least 2^nfft = 32\n"},
      {"xk_im size", r2, 5, 5, [](Call &c) { c.out.xk_im_size = -1; }, 23,
       kErr + "too small a value for xk_im_size in outputs structure -1: must be at least 2^nfft = 32\n"},
      // The first failure wins: a bad direction and a null xk_re come after xn_re.
      {"first failure wins", r2, 5, 5,
       [](Call &c) { c.in.direction = 5; c.out.xk_re = nullptr; c.in.xn_re_size = 0; }, 9,
       kErr + "incorrect xn_re_size input 0: must be 2^nfft = 32\n"},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.name);
    auto state = checks_only_state(k.g);
    Call call(k.nfft, k.stages);
    if (k.spoil) k.spoil(call);
    const korvane_ip_zelfft_v9_0_outputs before = call.out;
    EXPECT_EQ(call.run(state.get()), k.code);
    EXPECT_EQ(call.err, k.line);
    // A failing call leaves the outputs record and its arrays untouched.
    EXPECT_EQ(call.out.xk_re, before.xk_re);
    EXPECT_EQ(call.out.xk_re_size, before.xk_re_size);
    EXPECT_EQ(call.out.xk_im_size, before.xk_im_size);
    EXPECT_EQ(call.out.block_exp, 99);
    EXPECT_EQ(call.out.overflow, 98);
    for (double v : call.yr) ASSERT_EQ(v, 7.0);
    for (double v : call.yi) ASSERT_EQ(v, 7.0);
  }
}

TEST(SimulateChecks, NullStateAndOutputsAndMissingEngines) {
  const std::string corrupted = kErr + "corrupted state structure\n";
  Call call(5, 5);
  EXPECT_EQ(call.run(nullptr, nullptr), 1);  // both null: only the state is reported
  EXPECT_EQ(call.err, kErr + "null state structure\n");

  auto state = checks_only_state(radix2(5));
  EXPECT_EQ(call.run(state.get(), nullptr), 2);
  EXPECT_EQ(call.err, kErr + "null output structure\n");

  // The engine of each architecture missing; an architecture outside 1..4
  // (which create_state never makes) has no engine either.
  const struct {
    int arch, code;
  } missing[] = {{1, 3}, {2, 4}, {4, 4}, {3, 5}, {0, 3}, {7, 3}};
  for (const auto &m : missing) {
    SCOPED_TRACE(m.arch);
    Generics g = radix2(6);
    g.C_ARCH = m.arch;
    auto bare = checks_only_state(g);
    bare->r4_engine.reset();
    bare->r2_engine.reset();
    bare->r22_engine.reset();
    EXPECT_EQ(call.run(bare.get()), m.code);
    EXPECT_EQ(call.err, corrupted);
  }
  // Nor can a state without its twiddle table run.
  auto no_table = checks_only_state(radix2(6));
  no_table->twiddle_rom.reset();
  EXPECT_EQ(call.run(no_table.get()), 3);
  EXPECT_EQ(call.err, corrupted);

  // An engine of the wrong architecture does not count.
  Generics g = radix2(6);
  g.C_ARCH = 3;
  auto wrong = checks_only_state(radix2(6));
  wrong->generics = g;
  EXPECT_EQ(call.run(wrong.get()), 5);
  EXPECT_EQ(call.err, corrupted);
}

TEST(SimulateChecks, NfftWarningComesBeforeALaterError) {
  const Generics g = radix2(10);
  auto state = checks_only_state(g);
  Call call(7, 10);  // 128 samples for a core fixed at 1024 points
  EXPECT_EQ(call.run(state.get()), 9);
  EXPECT_EQ(call.err,
            "WARNING:zelfft_v9_0:simulate called with nfft input = 7, different from C_NFFT_MAX = 10, which is "
            "not permitted when C_HAS_NFFT is 0.  The nfft input will be ignored and C_NFFT_MAX used "
            "instead.\n" +
                kErr + "incorrect xn_re_size input 128: must be 2^nfft = 1024\n");
}

// Runs on a real radix-2 state.
class SimulateRuns : public ::testing::Test {
 protected:
  State *make(const Generics &g) {
    state_.reset(korvane_ip_zelfft_v9_0_create_state(g));
    EXPECT_NE(state_.get(), nullptr);
    return state_.get();
  }
  struct Deleter {
    void operator()(State *s) const { korvane_ip_zelfft_v9_0_destroy_state(s); }
  };
  std::unique_ptr<State, Deleter> state_;
};

TEST_F(SimulateRuns, NfftIgnoredWithWarningWhenFixedLength) {
  State *s = make(radix2(4));
  Call call(4, 4);
  call.in.nfft = 9;
  EXPECT_EQ(call.run(s), 0);
  EXPECT_EQ(call.err,
            "WARNING:zelfft_v9_0:simulate called with nfft input = 9, different from C_NFFT_MAX = 4, which is "
            "not permitted when C_HAS_NFFT is 0.  The nfft input will be ignored and C_NFFT_MAX used "
            "instead.\n");
  EXPECT_EQ(call.out.xk_re_size, 16);
}

TEST_F(SimulateRuns, LargerCapacitiesComeBackAsN) {
  Generics g = radix2(6);
  g.C_HAS_NFFT = 1;
  State *s = make(g);
  Call call(3, 3);  // an 8-point transform on a 64-point core
  call.out.xk_re_size = 1000;
  call.out.xk_im_size = 9;
  EXPECT_EQ(call.run(s), 0);
  EXPECT_EQ(call.err, "");
  EXPECT_EQ(call.out.xk_re_size, 8);
  EXPECT_EQ(call.out.xk_im_size, 8);
  EXPECT_EQ(call.out.block_exp, 0);  // scaled by schedule
  EXPECT_EQ(call.yr[8], 7.0);        // nothing written past N
}

TEST_F(SimulateRuns, EdgeValuesAndUnreadSchedules) {
  // -1.0 is a valid sample; radix-2 accepts 2 and 3 in the last stage.
  State *s = make(radix2(7));
  Call call(7, 7);
  call.xr[0] = -1.0;
  call.xi[127] = -1.0;
  call.sch = {0, 0, 0, 0, 0, 0, 3};
  call.in.scaling_sch = call.sch.data();
  EXPECT_EQ(call.run(s), 0);
  EXPECT_EQ(call.err, "");

  // Block floating point and unscaled cores never read the schedule.
  for (int bfp : {0, 1}) {
    Generics g = radix2(5);
    g.C_HAS_SCALING = bfp;
    g.C_HAS_BFP = bfp;
    State *t = make(g);
    Call c2(5, 5);
    c2.in.scaling_sch = nullptr;
    c2.in.scaling_sch_size = -3;
    EXPECT_EQ(c2.run(t), 0) << c2.err;
    EXPECT_EQ(c2.err, "");
  }
}

TEST_F(SimulateRuns, OffGridInputsWarnOnceAndRoundTheWholeBlock) {
  const std::string warning =
      "WARNING:zelfft_v9_0:simulate called with real and/or imaginary data values that are not pre-quantized "
      "to signed two's-complement fixed-point values of precision C_INPUT_WIDTH = 16 bits.  All real and "
      "imaginary data will be internally rounded to the nearest quantization level for this precision (using "
      "convergent rounding to nearest even).\n";
  Generics g = radix2(3);
  g.C_HAS_SCALING = 0;  // unscaled: an impulse comes back unchanged in every bin
  State *s = make(g);
  const double lsb = std::ldexp(1.0, -15);
  const struct {
    double in, rounded;
  } grid[] = {{0.5 * lsb, 0.0}, {1.5 * lsb, 2 * lsb}, {2.5 * lsb, 2 * lsb},
              {-0.5 * lsb, 0.0}, {-1.5 * lsb, -2 * lsb}, {1.0 - 0.25 * lsb, 1.0 - lsb}, {0.1, 3277 * lsb}};
  for (const auto &v : grid) {
    SCOPED_TRACE(v.in);
    Call call(3, 3);
    std::fill(call.xr.begin(), call.xr.end(), 0.0);
    std::fill(call.xi.begin(), call.xi.end(), 0.0);
    call.xr[0] = v.in;
    call.xi[0] = 0.1;  // off the grid too: still one warning
    EXPECT_EQ(call.run(s), 0);
    EXPECT_EQ(call.err, warning);
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(call.yr[k], v.rounded);
      EXPECT_EQ(call.yi[k], 3277 * lsb);
    }
  }
  // On the grid: no warning, values unchanged.
  Call call(3, 3);
  std::fill(call.xr.begin(), call.xr.end(), 0.0);
  std::fill(call.xi.begin(), call.xi.end(), 0.0);
  call.xr[0] = 12345 * lsb;
  EXPECT_EQ(call.run(s), 0);
  EXPECT_EQ(call.err, "");
  EXPECT_EQ(call.yr[5], 12345 * lsb);
}

}  // namespace
