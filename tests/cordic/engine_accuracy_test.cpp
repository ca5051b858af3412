// Every CORDIC function against the exact mathematical result at the output
// scale, over random configurations (widths 8 to 48, both phase formats,
// every rounding mode, gain compensation on and off, derived and explicit
// iteration counts and precisions) with coarse rotation on and off. Errors
// must stay within the bound that follows from N, B and the rounding mode
// (reference/cordic_reference.h); with coarse rotation off the inputs stay in
// the convergence range of the micro-rotations.
#include "reference/cordic_host.h"
#include "reference/cordic_reference.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

using namespace cordtest;

constexpr unsigned kConfigs = 40;  // per function and coarse setting
constexpr unsigned kSamples = 48;  // per configuration
const unsigned kWidths[] = {8, 9, 12, 16, 20, 24, 31, 32, 40, 47, 48};

class Random {
 public:
  explicit Random(uint64_t seed) : gen_(seed) {}
  long double uniform(long double lo, long double hi) {
    return lo + (hi - lo) * std::uniform_real_distribution<double>(0.0, 1.0)(gen_);
  }
  unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(gen_); }
  int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen_); }

 private:
  std::mt19937_64 gen_;
};

// Words of a value with the given fraction bits.
double word(long double value, unsigned fraction_bits) {
  return static_cast<double>(std::llround(std::ldexp(value, static_cast<int>(fraction_bits))));
}
long double value(double w, unsigned fraction_bits) { return std::ldexp(static_cast<long double>(w), -(int)fraction_bits); }

zelip_cordic_v6_0_config random_config(uint32_t function, uint32_t coarse, Random &rng) {
  zelip_cordic_v6_0_config c = config_for(function);
  c.CoarseRotate = coarse;
  c.InputWidth = kWidths[rng.pick(std::size(kWidths))];
  c.OutputWidth = kWidths[rng.pick(std::size(kWidths))];
  c.PhaseFormat = rng.pick(2);
  c.RoundMode = rng.pick(4);
  c.ScaleComp = rng.pick(4);
  if (rng.pick(3) == 0) {
    const int extra = (function == 4 || function == 5) ? 2 : 0;
    c.Iterations = static_cast<uint32_t>(std::clamp<int>((int)c.OutputWidth - 2 + extra + rng.between(-3, 4), 6, 48));
  }
  if (rng.pick(3) == 0) c.Precision = std::min<uint32_t>(48, c.OutputWidth + rng.between(0, 6));
  return c;
}

Budget budget_of(const Model &m, const zelip_cordic_v6_0_config &c) {
  return Budget{m.N(), m.B(), c.InputWidth, c.OutputWidth, c.CordicFunction == 4 || c.CordicFunction == 5,
                c.PhaseFormat == 1, c.RoundMode};
}

// Largest error seen, as a share of its bound, per test.
struct Worst {
  double share = 0.0;
  void note(long double error, long double bound) { share = std::max(share, static_cast<double>(error / bound)); }
  void print(const char *what) const { std::printf("%s: worst error %.2f of its bound\n", what, share); }
};

// A phase difference in phase units, folded into (-half turn, half turn]:
// the model may give -pi where the reference says +pi.
long double phase_difference(long double got, long double want, long double half_turn) {
  long double d = got - want;
  while (d > half_turn) d -= 2 * half_turn;
  while (d <= -half_turn) d += 2 * half_turn;
  return d;
}

// Rotation: rotate turns an input vector by the input phase, sin_cos turns (S, 0).
void check_rotation(uint32_t function, uint32_t coarse, uint64_t seed, Worst &worst) {
  Random rng(seed);
  for (unsigned n = 0; n < kConfigs; ++n) {
    const zelip_cordic_v6_0_config c = random_config(function, coarse, rng);
    SCOPED_TRACE(describe(c) + " seed " + std::to_string(seed) + " config " + std::to_string(n));
    Model m(c);
    ASSERT_TRUE(m.valid());
    const Budget b = budget_of(m, c);
    const long double gain = cordic_gain(false, b.N);
    const bool comp = c.ScaleComp != 0;
    // Without coarse rotation only the micro-rotations' own range converges.
    const long double reach = coarse ? kPi : 0.9L;
    Block in;
    for (unsigned s = 0; s < kSamples; ++s) {
      const long double r = rng.uniform(0.0L, 1.0L), a = rng.uniform(-kPi, kPi);
      const long double theta = rng.uniform(-reach, reach);
      in.push(word(r * std::cos(a), c.InputWidth - 2), word(r * std::sin(a), c.InputWidth - 2),
              word(theta / b.unit(), c.InputWidth - 3));
    }
    const Result out = run_block(m, in);
    ASSERT_EQ(out.status, 0);
    for (unsigned s = 0; s < kSamples; ++s) {
      const long double theta = value(in.z[s], c.InputWidth - 3) * b.unit();
      long double ex, ey, length;
      if (function == 0) {
        const long double x = value(in.x[s], c.InputWidth - 2), y = value(in.y[s], c.InputWidth - 2);
        ex = gain * (x * std::cos(theta) - y * std::sin(theta));
        ey = gain * (x * std::sin(theta) + y * std::cos(theta));
        length = gain * std::hypot(x, y);
      } else {
        ex = std::cos(theta);  // the loaded inverse gain cancels the growth
        ey = std::sin(theta);
        length = 1.0L;
      }
      long double error = length * b.angle_error() + b.xy_noise() * gain;
      if (comp) {
        ex /= gain;
        ey /= gain;
        error = error / gain + 2 * b.xy_step();
      }
      const long double bound = error / b.out_xy_step() + b.rounding();
      const long double dx = std::fabs(out.x[s] - std::ldexp(ex, c.OutputWidth - 2));
      const long double dy = std::fabs(out.y[s] - std::ldexp(ey, c.OutputWidth - 2));
      EXPECT_LE(dx, bound) << "sample " << s << " x " << in.x[s] << " y " << in.y[s] << " z " << in.z[s];
      EXPECT_LE(dy, bound) << "sample " << s << " x " << in.x[s] << " y " << in.y[s] << " z " << in.z[s];
      worst.note(std::max(dx, dy), bound);
    }
  }
}

// Vectoring in circular coordinates: translate gives the magnitude and the
// phase, atan the phase alone.
void check_vectoring(uint32_t function, uint32_t coarse, uint64_t seed, Worst &worst) {
  Random rng(seed);
  for (unsigned n = 0; n < kConfigs; ++n) {
    const zelip_cordic_v6_0_config c = random_config(function, coarse, rng);
    SCOPED_TRACE(describe(c) + " seed " + std::to_string(seed) + " config " + std::to_string(n));
    Model m(c);
    ASSERT_TRUE(m.valid());
    const Budget b = budget_of(m, c);
    const long double gain = cordic_gain(false, b.N);
    const long double reach = coarse ? kPi : 0.9L;
    Block in;
    for (unsigned s = 0; s < kSamples; ++s) {
      const long double r = rng.uniform(0.25L, 1.0L), a = rng.uniform(-reach, reach);
      in.push(word(r * std::cos(a), c.InputWidth - 2), word(r * std::sin(a), c.InputWidth - 2), 0.0);
    }
    const Result out = run_block(m, in);
    ASSERT_EQ(out.status, 0);
    for (unsigned s = 0; s < kSamples; ++s) {
      const long double x = value(in.x[s], c.InputWidth - 2), y = value(in.y[s], c.InputWidth - 2);
      const long double length = std::hypot(x, y);
      const long double noise = b.xy_noise() * gain;
      const long double phase_error = b.angle_error() + noise / (gain * length);
      const long double phase_bound = phase_error / b.out_z_step() + b.rounding();
      const long double half_turn = std::ldexp(kPi / b.unit(), c.OutputWidth - 3);
      const long double dz = std::fabs(
          phase_difference(out.z[s], std::ldexp(std::atan2(y, x) / b.unit(), c.OutputWidth - 3), half_turn));
      EXPECT_LE(dz, phase_bound) << "sample " << s << " x " << in.x[s] << " y " << in.y[s];
      worst.note(dz, phase_bound);
      if (function != 1) continue;
      long double magnitude = gain * length;
      long double error = gain * length * (1 - std::cos(phase_error)) + noise;
      if (c.ScaleComp != 0) {
        magnitude /= gain;
        error = error / gain + 2 * b.xy_step();
      }
      const long double bound = error / b.out_xy_step() + b.rounding();
      const long double dm = std::fabs(out.x[s] - std::ldexp(magnitude, c.OutputWidth - 2));
      EXPECT_LE(dm, bound) << "sample " << s << " x " << in.x[s] << " y " << in.y[s];
      worst.note(dm, bound);
    }
  }
}

// Hyperbolic: sinh_cosh turns (S, 0) by the input phase, atanh gives the
// phase of the input vector. The micro-rotations converge for phases up to
// about 1.118; with coarse rotation on, the phase must stay within pi/4
// (beyond it the quadrant mapping turns the vector, which has no hyperbolic
// meaning), and the vector within |y| < x, where it is not moved.
void check_hyperbolic(uint32_t function, uint32_t coarse, uint64_t seed, Worst &worst) {
  Random rng(seed);
  for (unsigned n = 0; n < kConfigs; ++n) {
    const zelip_cordic_v6_0_config c = random_config(function, coarse, rng);
    SCOPED_TRACE(describe(c) + " seed " + std::to_string(seed) + " config " + std::to_string(n));
    Model m(c);
    ASSERT_TRUE(m.valid());
    const Budget b = budget_of(m, c);
    const long double gain = cordic_gain(true, b.N);
    // Phase words strictly inside pi/4 when coarse rotation is on.
    const double limit = coarse ? std::ceil(std::ldexp(kPi / 4 / b.unit(), c.InputWidth - 3)) - 1
                                : std::ldexp(1.1L / b.unit(), c.InputWidth - 3);
    Block in;
    for (unsigned s = 0; s < kSamples; ++s) {
      if (function == 4) {
        const double z = word(rng.uniform(-1.1L, 1.1L) / b.unit(), c.InputWidth - 3);
        in.push(0.0, 0.0, std::clamp(z, -limit, limit));
      } else {
        const long double x = rng.uniform(0.5L, 1.0L), ratio = rng.uniform(-0.8L, 0.8L);
        in.push(word(x, c.InputWidth - 2), word(x * ratio, c.InputWidth - 2), 0.0);
      }
    }
    const Result out = run_block(m, in);
    ASSERT_EQ(out.status, 0);
    for (unsigned s = 0; s < kSamples; ++s) {
      if (function == 4) {
        const long double theta = value(in.z[s], c.InputWidth - 3) * b.unit();
        long double ex = std::cosh(theta), ey = std::sinh(theta);
        long double error = std::cosh(std::fabs(theta) + b.angle_error()) * b.angle_error() + b.xy_noise();
        if (c.ScaleComp != 0) {
          ex /= gain;
          ey /= gain;
          error = error / gain + 2 * b.xy_step();
        }
        const long double bound = error / b.out_xy_step() + b.rounding();
        const long double dx = std::fabs(out.x[s] - std::ldexp(ex, c.OutputWidth - 2));
        const long double dy = std::fabs(out.y[s] - std::ldexp(ey, c.OutputWidth - 2));
        EXPECT_LE(dx, bound) << "sample " << s << " z " << in.z[s];
        EXPECT_LE(dy, bound) << "sample " << s << " z " << in.z[s];
        worst.note(std::max(dx, dy), bound);
      } else {
        const long double x = value(in.x[s], c.InputWidth - 2), y = value(in.y[s], c.InputWidth - 2);
        // The vector ends as (gain * sqrt(x^2 - y^2), ~0); noise in y turns the phase.
        const long double final_x = gain * std::sqrt(x * x - y * y);
        const long double error = b.angle_error() + b.xy_noise() / final_x;
        const long double bound = error / b.out_z_step() + b.rounding();
        const long double dz = std::fabs(out.z[s] - std::ldexp(std::atanh(y / x) / b.unit(), c.OutputWidth - 3));
        EXPECT_LE(dz, bound) << "sample " << s << " x " << in.x[s] << " y " << in.y[s];
        worst.note(dz, bound);
      }
    }
  }
}

TEST(EngineAccuracy, RotateTurnsTheVectorByThePhase) {
  Worst worst;
  check_rotation(0, 1, 101, worst);
  check_rotation(0, 0, 102, worst);
  worst.print("rotate");
}

TEST(EngineAccuracy, SinCosGivesCosineAndSine) {
  Worst worst;
  check_rotation(2, 1, 201, worst);
  check_rotation(2, 0, 202, worst);
  worst.print("sin_cos");
}

TEST(EngineAccuracy, TranslateGivesMagnitudeAndPhase) {
  Worst worst;
  check_vectoring(1, 1, 301, worst);
  check_vectoring(1, 0, 302, worst);
  worst.print("translate");
}

TEST(EngineAccuracy, AtanGivesThePhase) {
  Worst worst;
  check_vectoring(3, 1, 401, worst);
  check_vectoring(3, 0, 402, worst);
  worst.print("atan");
}

TEST(EngineAccuracy, SinhCoshGivesHyperbolicCosineAndSine) {
  Worst worst;
  check_hyperbolic(4, 1, 501, worst);
  check_hyperbolic(4, 0, 502, worst);
  worst.print("sinh_cosh");
}

TEST(EngineAccuracy, AtanhGivesTheHyperbolicPhase) {
  Worst worst;
  check_hyperbolic(5, 1, 601, worst);
  check_hyperbolic(5, 0, 602, worst);
  worst.print("atanh");
}

// The root is exact: the floor of the square root of the radicand placed in
// its 2B-bit window, rounded to the output width. Radicands are non-negative
// input words, whose roots fit the root register.
TEST(EngineAccuracy, SqrtIsTheRoundedIntegerRoot) {
  Random rng(701);
  mpz_t p, root;
  mpz_init(p);
  mpz_init(root);
  for (unsigned n = 0; n < 3 * kConfigs; ++n) {
    zelip_cordic_v6_0_config c = config_for(6);
    c.DataFormat = rng.pick(3);
    c.InputWidth = kWidths[rng.pick(std::size(kWidths))];
    c.OutputWidth = c.DataFormat == 2 ? c.InputWidth / 2 + 1 : kWidths[rng.pick(std::size(kWidths))];
    c.RoundMode = rng.pick(4);
    if (c.DataFormat != 2 && rng.pick(3) == 0) c.Precision = std::min<uint32_t>(48, c.OutputWidth + rng.between(0, 4));
    SCOPED_TRACE(describe(c) + " config " + std::to_string(n));
    Model m(c);
    ASSERT_TRUE(m.valid());
    const int a = static_cast<int>(m.B()), w = static_cast<int>(c.InputWidth);
    // The radicand's place in the 2B-bit window.
    int shift = 0;
    if (c.DataFormat == 2) shift = (w % 2 != 0) ? 2 * a - w - 1 : 2 * a - w - 2;
    if (c.DataFormat == 1) shift = 2 * a - w - 1;
    // Non-negative words whose root fits: below 2^(2B - 2) once placed.
    const int max_bits = std::min(w - 1, 2 * a - 2 - shift);
    Block in;
    for (unsigned s = 0; s < kSamples; ++s) {
      // Spread over the magnitudes of the word, with the extremes included.
      const int bits = rng.between(0, max_bits);
      double radicand = std::floor(std::ldexp(static_cast<double>(rng.uniform(0.0L, 1.0L)), bits));
      if (s == 0) radicand = 0;
      if (s == 1) radicand = std::ldexp(1.0, max_bits) - 1;
      in.push(radicand, 0.0, 0.0);
    }
    const Result out = run_block(m, in);
    ASSERT_EQ(out.status, 0);
    for (unsigned s = 0; s < kSamples; ++s) {
      mpz_set_d(p, in.x[s]);
      if (shift >= 0)
        mpz_mul_2exp(p, p, shift);
      else
        mpz_fdiv_q_2exp(p, p, -shift);
      mpz_sqrt(root, p);
      ASSERT_LT(mpz_sizeinbase(root, 2), static_cast<size_t>(a)) << "radicand " << in.x[s];
      const int64_t want = round_by(mpz_get_si(root), m.B() - c.OutputWidth, c.RoundMode);
      EXPECT_EQ(out.x[s], static_cast<double>(want)) << "radicand " << in.x[s];
    }
  }
  mpz_clear(p);
  mpz_clear(root);
}

}  // namespace
