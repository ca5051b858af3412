// The radix-4 and pipelined engines through the exported interface, beside
// the radix-2 engine: one block through all three architectures, in every
// fixed-point scaling mode and both directions, must agree with the
// reference transform (and so with each other) within each engine's noise;
// an impulse through the unscaled cores is exact.
#include "brevant.h"
#include "r4_r22_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using State = korvane_ip_zelfft_v9_0_state;

struct StateDeleter {
  void operator()(State *s) const { korvane_ip_zelfft_v9_0_destroy_state(s); }
};
using StatePtr = std::unique_ptr<State, StateDeleter>;

StatePtr make_state(int arch, int nfft_max, int width, int scaling, int bfp, int rounding) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = arch;
  g.C_NFFT_MAX = nfft_max;
  g.C_INPUT_WIDTH = width;
  g.C_TWIDDLE_WIDTH = width;
  g.C_HAS_SCALING = scaling;
  g.C_HAS_BFP = bfp;
  g.C_HAS_ROUNDING = rounding;
  return StatePtr(korvane_ip_zelfft_v9_0_create_state(g));
}

struct Result {
  int code = -1;
  r4r22::Words words;  // the caller's X[k]
};

Result simulate(State *s, r4r22::Block x, std::vector<int> schedule, int direction) {
  const int n = static_cast<int>(x.re.size());
  Result r;
  r.words.re.assign(static_cast<size_t>(n), 0.0);
  r.words.im.assign(static_cast<size_t>(n), 0.0);
  korvane_ip_zelfft_v9_0_inputs in{static_cast<int>(std::log2(n)), x.re.data(), n, x.im.data(), n, schedule.data(),
                                   static_cast<int>(schedule.size()), direction};
  korvane_ip_zelfft_v9_0_outputs out{r.words.re.data(), n, r.words.im.data(), n, -1, -1};
  r.code = korvane_ip_zelfft_v9_0_bitacc_simulate(s, in, &out);
  r.words.total_shift = out.block_exp;
  r.words.overflow = out.overflow;
  return r;
}

TEST(ThreeEngines, OneBlockAgreesWithTheReferenceOnEveryArchitecture) {
  const char *modes[] = {"unscaled", "schedule", "block floating point"};
  for (int nfft : {6, 7, 10}) {
    for (int mode = 0; mode < 3; ++mode) {
      for (int direction = 0; direction <= 1; ++direction) {
        const bool fixed = mode == 1;
        const r4r22::Block x = r4r22::random_block(nfft, 16, fixed ? 0.5 : 0.99, 31u * nfft + mode);
        const auto ref = r4r22::reference_transform(x.as_complex(), direction);
        for (int arch : {1, 2, 3}) {
          SCOPED_TRACE("nfft " + std::to_string(nfft) + " " + modes[mode] + " direction " +
                       std::to_string(direction) + " arch " + std::to_string(arch));
          StatePtr s = make_state(arch, nfft, 16, mode == 0 ? 0 : 1, mode == 2 ? 1 : 0, direction);
          ASSERT_NE(s, nullptr);
          const std::vector<int> schedule = r4r22::unit_gain_schedule(arch, nfft);
          const Result r = simulate(s.get(), x, fixed ? schedule : std::vector<int>{}, direction);
          ASSERT_EQ(r.code, 0);
          EXPECT_EQ(r.words.overflow, 0);
          // Results come back in input units, divided by 2^(schedule) or
          // 2^(block exponent).
          if (mode == 1) {
            EXPECT_EQ(r.words.total_shift, 0);
            const long double bound = r4r22::word_error_bound(r4r22::stages_of(arch, nfft, schedule), 16, 16, 0.5L);
            EXPECT_LE(r4r22::max_error(r.words, ref, std::ldexp(1.0L, nfft)), bound * std::ldexp(1.0L, nfft));
          } else if (mode == 0) {
            EXPECT_EQ(r.words.total_shift, 0);
            const long double units = std::ldexp(1.0L, nfft + 1);
            const long double bound =
                r4r22::word_error_bound(r4r22::stages_of(arch, nfft, {}), 16 + nfft + 1, 16, 1 / units);
            EXPECT_LE(r4r22::max_error(r.words, ref, 1.0L), bound * units);
          } else {
            // Block floating point keeps the block near full scale, so its
            // noise is judged against the block's size.
            const long double step = std::ldexp(1.0L, -15) * 2;
            EXPECT_LE(r4r22::relative_rms_error(r.words, ref, std::ldexp(1.0L, r.words.total_shift)),
                      32 * std::sqrt(nfft) * step);
          }
        }
      }
    }
  }
}

TEST(ThreeEngines, ImpulseThroughTheUnscaledCoresIsFlatAndExact) {
  // An impulse of height a at n = 0 transforms to a in every bin; the
  // unscaled cores hold it exactly in either direction.
  for (int arch : {1, 3}) {
    for (int nfft : {6, 7}) {
      for (int direction = 0; direction <= 1; ++direction) {
        StatePtr s = make_state(arch, nfft, 12, 0, 0, direction);
        r4r22::Block x{std::vector<double>(size_t{1} << nfft, 0.0), std::vector<double>(size_t{1} << nfft, 0.0)};
        x.re[0] = -1.0;
        x.im[0] = 2047.0 / 2048;
        const Result r = simulate(s.get(), x, {}, direction);
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.words.total_shift, 0);
        EXPECT_EQ(r.words.overflow, 0);
        for (size_t k = 0; k < x.re.size(); ++k) {
          ASSERT_EQ(r.words.re[k], -1.0) << "arch " << arch << " nfft " << nfft << " bin " << k;
          ASSERT_EQ(r.words.im[k], 2047.0 / 2048) << "arch " << arch << " nfft " << nfft << " bin " << k;
        }
      }
    }
  }
}

}  // namespace
