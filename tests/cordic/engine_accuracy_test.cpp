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
#include <functional>
#include <random>

namespace {

using namespace cordtest;

constexpr unsigned kConfigs = 100;  // per function and coarse setting
constexpr unsigned kSamples = 64;   // per configuration
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

// Words of a value with the given fraction bits, and back.
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

// The exact outputs of one sample as real values (x, y with 2 integer bits,
// the phase in radians) and their error bounds in the same units; a bound of
// 0 marks an output the function does not have.
struct Expected {
  long double x = 0, y = 0, z = 0;
  long double xy_error = 0, z_error = 0;
};

struct Sample {
  long double x, y, z;  // input values: x, y as fractions, z in radians
};

using Inputs = std::function<void(Random &, const zelip_cordic_v6_0_config &, const Budget &, Block &)>;
using Reference = std::function<Expected(const Budget &, long double gain, const Sample &)>;

// Runs kConfigs random configurations of one function through the model and
// compares every output word with the reference. Prints the largest error
// seen as a share of its bound, so a bound that grew loose shows.
void sweep(uint32_t function, uint64_t seed, const Inputs &inputs, const Reference &reference) {
  double worst = 0.0;
  for (uint32_t coarse = 0; coarse < 2; ++coarse) {
    Random rng(seed + coarse);
    for (unsigned n = 0; n < kConfigs; ++n) {
      const zelip_cordic_v6_0_config c = random_config(function, coarse, rng);
      SCOPED_TRACE(describe(c) + " seed " + std::to_string(seed + coarse) + " config " + std::to_string(n));
      Model m(c);
      ASSERT_TRUE(m.valid());
      const Budget b{m.N(), m.B(), c.InputWidth, c.OutputWidth, function == 4 || function == 5,
                     c.PhaseFormat == 1, c.RoundMode};
      const long double gain = cordic_gain(b.hyperbolic, b.N);
      Block in;
      inputs(rng, c, b, in);
      const Result out = run_block(m, in);
      ASSERT_EQ(out.status, 0);
      const int xy_bits = static_cast<int>(c.OutputWidth) - 2, z_bits = static_cast<int>(c.OutputWidth) - 3;
      for (unsigned s = 0; s < in.size(); ++s) {
        const Sample v{value(in.x[s], c.InputWidth - 2), value(in.y[s], c.InputWidth - 2),
                       value(in.z[s], c.InputWidth - 3) * b.unit()};
        Expected e = reference(b, gain, v);
        if (c.ScaleComp != 0) {  // outputs times the inverse gain, floored
          e.x /= gain;
          e.y /= gain;
          e.xy_error = e.xy_error / gain + 2 * b.xy_step();
        }
        const std::string where = "sample " + std::to_string(s) + " words " + std::to_string(in.x[s]) + " " +
                                  std::to_string(in.y[s]) + " " + std::to_string(in.z[s]);
        auto check = [&](double got, long double want, long double bound) {
          const long double d = std::fabs(got - want);
          EXPECT_LE(d, bound) << where;
          worst = std::max(worst, static_cast<double>(d / bound));
        };
        const long double xy_bound = e.xy_error / b.out_xy_step() + b.rounding();
        if (function != 3 && function != 5) check(out.x[s], std::ldexp(e.x, xy_bits), xy_bound);
        if (function % 2 == 0) check(out.y[s], std::ldexp(e.y, xy_bits), xy_bound);
        if (function % 2 == 1) {
          // Folded into one turn: the model may give -pi where the reference says +pi.
          const long double half_turn = std::ldexp(kPi / b.unit(), z_bits);
          long double want = std::ldexp(e.z / b.unit(), z_bits);
          while (out.z[s] - want > half_turn) want += 2 * half_turn;
          while (out.z[s] - want < -half_turn) want -= 2 * half_turn;
          check(out.z[s], want, e.z_error / b.out_z_step() + b.rounding());
        }
      }
    }
  }
  std::printf("function %u: worst error %.2f of its bound\n", function, worst);
}

// Vectors of length up to 1 in every direction, or within +-0.9 rad of the
// x axis (the reach of the micro-rotations) without coarse rotation.
void vectors(Random &rng, const zelip_cordic_v6_0_config &c, long double shortest, Block &in, bool with_phase) {
  const long double reach = c.CoarseRotate ? kPi : 0.9L;
  const long double unit = c.PhaseFormat ? kPi : 1.0L;
  for (unsigned s = 0; s < kSamples; ++s) {
    const long double r = rng.uniform(shortest, 1.0L), a = rng.uniform(-reach, reach);
    const long double theta = with_phase ? rng.uniform(-reach, reach) : 0.0L;
    in.push(word(r * std::cos(a), c.InputWidth - 2), word(r * std::sin(a), c.InputWidth - 2),
            word(theta / unit, c.InputWidth - 3));
  }
}

TEST(EngineAccuracy, RotateTurnsTheVectorByThePhase) {
  sweep(
      0, 101, [](Random &rng, auto &c, auto &, Block &in) { vectors(rng, c, 0.0L, in, true); },
      [](const Budget &b, long double gain, const Sample &v) {
        Expected e;
        e.x = gain * (v.x * std::cos(v.z) - v.y * std::sin(v.z));
        e.y = gain * (v.x * std::sin(v.z) + v.y * std::cos(v.z));
        e.xy_error = gain * (std::hypot(v.x, v.y) * b.angle_error() + b.xy_noise());
        return e;
      });
}

TEST(EngineAccuracy, SinCosGivesCosineAndSine) {
  sweep(
      2, 201,
      [](Random &rng, auto &c, const Budget &b, Block &in) {
        const long double reach = c.CoarseRotate ? kPi : 0.9L;
        for (unsigned s = 0; s < kSamples; ++s) in.push(0, 0, word(rng.uniform(-reach, reach) / b.unit(), c.InputWidth - 3));
      },
      [](const Budget &b, long double gain, const Sample &v) {
        Expected e;  // the loaded inverse gain cancels the growth
        e.x = std::cos(v.z);
        e.y = std::sin(v.z);
        e.xy_error = b.angle_error() + gain * b.xy_noise();
        return e;
      });
}

// Vectoring in circular coordinates: translate gives the magnitude and the
// phase, atan the phase alone. Noise in y turns the phase by noise / length.
Expected polar(const Budget &b, long double gain, const Sample &v) {
  Expected e;
  const long double length = std::hypot(v.x, v.y);
  e.z = std::atan2(v.y, v.x);
  e.z_error = b.angle_error() + b.xy_noise() / length;
  e.x = gain * length;
  e.xy_error = gain * (length * (1 - std::cos(e.z_error)) + b.xy_noise());
  return e;
}

TEST(EngineAccuracy, TranslateGivesMagnitudeAndPhase) {
  sweep(1, 301, [](Random &rng, auto &c, auto &, Block &in) { vectors(rng, c, 0.25L, in, false); }, polar);
}

TEST(EngineAccuracy, AtanGivesThePhase) {
  sweep(3, 401, [](Random &rng, auto &c, auto &, Block &in) { vectors(rng, c, 0.25L, in, false); }, polar);
}

// The hyperbolic micro-rotations converge for phases up to about 1.118. With
// coarse rotation on, phases stay strictly inside pi/4 (beyond it the
// quadrant mapping turns the vector, which has no hyperbolic meaning).
TEST(EngineAccuracy, SinhCoshGivesHyperbolicCosineAndSine) {
  sweep(
      4, 501,
      [](Random &rng, auto &c, const Budget &b, Block &in) {
        const double limit = c.CoarseRotate ? std::ceil(std::ldexp(kPi / 4 / b.unit(), c.InputWidth - 3)) - 1
                                            : std::ldexp(1.1L / b.unit(), c.InputWidth - 3);
        for (unsigned s = 0; s < kSamples; ++s) {
          const double z = word(rng.uniform(-1.1L, 1.1L) / b.unit(), c.InputWidth - 3);
          in.push(0, 0, std::clamp(z, -limit, limit));
        }
      },
      [](const Budget &b, long double, const Sample &v) {
        Expected e;
        e.x = std::cosh(v.z);
        e.y = std::sinh(v.z);
        e.xy_error = std::cosh(std::fabs(v.z) + b.angle_error()) * b.angle_error() + b.xy_noise();
        return e;
      });
}

// Vectors with |y| < 0.8 x, inside the hyperbolic reach and never moved by
// the coarse rotation. The vector ends as (gain * sqrt(x^2 - y^2), ~0).
TEST(EngineAccuracy, AtanhGivesTheHyperbolicPhase) {
  sweep(
      5, 601,
      [](Random &rng, auto &c, auto &, Block &in) {
        for (unsigned s = 0; s < kSamples; ++s) {
          const long double x = rng.uniform(0.5L, 1.0L), ratio = rng.uniform(-0.8L, 0.8L);
          in.push(word(x, c.InputWidth - 2), word(x * ratio, c.InputWidth - 2), 0);
        }
      },
      [](const Budget &b, long double gain, const Sample &v) {
        Expected e;
        e.z = std::atanh(v.y / v.x);
        e.z_error = b.angle_error() + b.xy_noise() / (gain * std::sqrt(v.x * v.x - v.y * v.y));
        return e;
      });
}

// The root is exact: the floor of the square root of the radicand placed in
// its 2B-bit window, rounded to the output width. Radicands are non-negative
// words whose roots fit the root register.
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
    int shift = 0;  // the radicand's place in the window
    if (c.DataFormat == 2) shift = (w % 2 != 0) ? 2 * a - w - 1 : 2 * a - w - 2;
    if (c.DataFormat == 1) shift = 2 * a - w - 1;
    const int max_bits = std::min(w - 1, 2 * a - 2 - shift);  // root below 2^(B-1)
    Block in;
    for (unsigned s = 0; s < kSamples; ++s) {
      double radicand = std::floor(std::ldexp(static_cast<double>(rng.uniform(0.0L, 1.0L)), rng.between(0, max_bits)));
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
      const int64_t want = round_by(mpz_get_si(root), m.B() - c.OutputWidth, c.RoundMode);
      EXPECT_EQ(out.x[s], static_cast<double>(want)) << "radicand " << in.x[s];
    }
  }
  mpz_clear(p);
  mpz_clear(root);
}

}  // namespace
