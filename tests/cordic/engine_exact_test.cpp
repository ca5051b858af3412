// Exact properties of the CORDIC data path, pinned through identities that
// hold word for word: output rounding against the raw B-bit registers, input
// alignment, the coarse-rotation boundaries against the same micro-rotations
// without coarse rotation, the hyperbolic repeats, gain compensation codes,
// and the native data path against the GMP one. "Raw" configurations have
// InputWidth = OutputWidth = Precision = B, so their words are the registers.
#include "reference/cordic_host.h"
#include "reference/cordic_reference.h"

#include "cordic_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using namespace cordtest;

zelip_cordic_v6_0_config raw_config(uint32_t function, unsigned width, unsigned iterations, uint32_t coarse,
                                    uint32_t phase_format = 0) {
  zelip_cordic_v6_0_config c = config_for(function, width);
  c.Precision = width;
  c.Iterations = iterations;
  c.CoarseRotate = coarse;
  c.PhaseFormat = phase_format;
  return c;
}

struct Pair {
  double x, y;
  bool operator==(const Pair &o) const { return x == o.x && y == o.y; }
};
std::ostream &operator<<(std::ostream &os, const Pair &p) { return os << "(" << p.x << ", " << p.y << ")"; }

Pair cart(const Model &m, double x, double y, double z) {
  const Result r = run_one(m, x, y, z);
  EXPECT_EQ(r.status, 0);
  return {r.x[0], r.y[0]};
}
Pair polar(const Model &m, double x, double y) {
  const Result r = run_one(m, x, y, 0.0);
  EXPECT_EQ(r.status, 0);
  return {r.x[0], r.z[0]};  // magnitude, phase
}

Pair plus_90(Pair p) { return {-p.y, p.x}; }
Pair minus_90(Pair p) { return {p.y, -p.x}; }
Pair half_turn(Pair p) { return {-p.x, -p.y}; }

// A quadrant constant (in phase units) floored to `width` bits with width - 3
// fraction bits.
double quadrant(long double turns_of_pi, unsigned width, bool scaled) {
  const long double c = turns_of_pi * (scaled ? 1.0L : kPi);
  return static_cast<double>(std::floor(std::ldexp(c, static_cast<int>(width) - 3)));
}

// Output rounding is the one reduction from the B-bit registers (after gain
// compensation) to the output width: the rounded words equal the raw words
// of the same data path reduced by the rounding rule.
TEST(EngineExact, OutputsAreTheRawRegistersRounded) {
  std::mt19937_64 gen(11);
  auto pick = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(gen); };
  auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(gen); };
  for (unsigned n = 0; n < 300; ++n) {
    zelip_cordic_v6_0_config c = config_for(n % 6, 8 + pick(33));
    c.OutputWidth = 8 + pick(c.InputWidth - 7 > 33 ? 33 : c.InputWidth - 7);
    c.CoarseRotate = pick(2);
    c.PhaseFormat = pick(2);
    c.RoundMode = pick(4);
    c.ScaleComp = pick(2);
    Model m(c);
    ASSERT_TRUE(m.valid());
    if (m.B() > 48) continue;
    zelip_cordic_v6_0_config r = c;
    r.OutputWidth = m.B();
    r.Precision = m.B();
    r.Iterations = m.N();
    Model raw(r);
    ASSERT_TRUE(raw.valid());
    SCOPED_TRACE(describe(c) + " N " + std::to_string(m.N()) + " B " + std::to_string(m.B()));
    Block in;
    const double scale = std::ldexp(1.0, c.InputWidth - 2);
    for (unsigned s = 0; s < 32; ++s)
      in.push(std::round(uni(-0.7, 0.7) * scale), std::round(uni(-0.7, 0.7) * scale),
              std::round(uni(-0.7, 0.7) * scale));
    const Result got = run_block(m, in), full = run_block(raw, in);
    ASSERT_EQ(got.status, 0);
    ASSERT_EQ(full.status, 0);
    const unsigned k = m.B() - c.OutputWidth;
    const bool has_x = c.CordicFunction <= 2 || c.CordicFunction == 4;
    const bool has_y = c.CordicFunction % 2 == 0, has_z = c.CordicFunction % 2 == 1;
    for (unsigned s = 0; s < in.size(); ++s) {
      if (has_x) {
        EXPECT_EQ(got.x[s], round_by(static_cast<int64_t>(full.x[s]), k, c.RoundMode)) << "sample " << s;
      }
      if (has_y) {
        EXPECT_EQ(got.y[s], round_by(static_cast<int64_t>(full.y[s]), k, c.RoundMode)) << "sample " << s;
      }
      if (has_z) {
        EXPECT_EQ(got.z[s], round_by(static_cast<int64_t>(full.z[s]), k, c.RoundMode)) << "sample " << s;
      }
    }
  }
}

// Input words narrower than B are scaled up; wider ones are floored (an
// input of -1 four bits below the data path stays -1); a fraction left after
// scaling is dropped toward zero.
TEST(EngineExact, InputsAlignToTheDataPath) {
  const Model wide_in(raw_config(0, 16, 14, 1));  // B = 16
  zelip_cordic_v6_0_config c = raw_config(0, 16, 14, 1);
  c.InputWidth = 20;
  const Model floored(c);
  c.InputWidth = 12;
  const Model scaled(c);
  ASSERT_TRUE(wide_in.valid() && floored.valid() && scaled.valid());

  std::mt19937_64 gen(12);
  std::uniform_int_distribution<int> word20(-(1 << 19), (1 << 19) - 1);
  for (int s = 0; s < 200; ++s) {
    double x = word20(gen), y = word20(gen), z = word20(gen);
    if (s < 16) x = y = z = -1 - s;  // the smallest negative words floor to -1
    EXPECT_EQ(cart(floored, x, y, z), cart(wide_in, std::floor(x / 16), std::floor(y / 16), std::floor(z / 16)))
        << x << " " << y << " " << z;
    const double x12 = std::floor(x / 256), y12 = std::floor(y / 256), z12 = std::floor(z / 256);
    EXPECT_EQ(cart(scaled, x12, y12, z12), cart(wide_in, x12 * 16, y12 * 16, z12 * 16));
  }
  EXPECT_NE(cart(floored, -1, -1, -1), cart(wide_in, 0, 0, 0));
  // Fractions: scaled first, then dropped toward zero; floored words floor.
  EXPECT_EQ(cart(scaled, 1000.5, -1000.53, 10.04), cart(wide_in, 16008, -16008, 160));
  EXPECT_EQ(cart(floored, 1000.5, -0.5, 31.9), cart(wide_in, 62, -1, 1));
}

// The vector part of the coarse rotation, in vectoring mode: a vector in the
// right region (boundaries x = y > 0 and x = -y > 0 included) enters the
// micro-rotations unchanged; x = y < 0 is turned by +90 degrees (lower
// region) and x = -y < 0 by -90 (upper), the phase corrected by -m = pi/2.
TEST(EngineExact, VectorBoundariesPickTheHardwareRegion) {
  for (uint32_t format = 0; format < 2; ++format) {
    SCOPED_TRACE("phase format " + std::to_string(format));
    const unsigned B = 20;
    const Model on(raw_config(1, B, 16, 1, format)), off(raw_config(1, B, 16, 0, format));
    ASSERT_TRUE(on.valid() && off.valid());
    const double m = quadrant(-0.5L, B, format == 1);
    for (double a : {1.0, 3.0, 1000.0, 98765.0, 262143.0}) {
      EXPECT_EQ(polar(on, a, a), polar(off, a, a)) << a;
      EXPECT_EQ(polar(on, a, -a), polar(off, a, -a)) << a;
      const Pair lower = polar(off, a, -a), upper = polar(off, a, a);
      EXPECT_EQ(polar(on, -a, -a), (Pair{lower.x, lower.y + m})) << a;
      EXPECT_EQ(polar(on, -a, a), (Pair{upper.x, upper.y - m})) << a;
    }
    EXPECT_EQ(polar(on, 0, 0), polar(off, 0, 0));
  }
  // Rotation mode turns the result back instead: (-a, -a) runs as (a, -a)
  // and its result is turned by -90 degrees.
  const Model on(raw_config(0, 20, 16, 1)), off(raw_config(0, 20, 16, 0));
  for (double a : {5.0, 40000.0}) {
    EXPECT_EQ(cart(on, -a, -a, 0), minus_90(cart(off, a, -a, 0))) << a;
    EXPECT_EQ(cart(on, -a, a, 0), plus_90(cart(off, a, a, 0))) << a;
    EXPECT_EQ(cart(on, a, a, 0), cart(off, a, a, 0)) << a;
    EXPECT_EQ(cart(on, a, -a, 0), cart(off, a, -a, 0)) << a;
    EXPECT_EQ(cart(on, -a, 1, 0), half_turn(cart(off, a, -1, 0))) << a;
  }
}

// The angle part at its four thresholds, each word on either side, for both
// phase formats: with l, o, m, t the floored constants -pi/4, -3pi/4, -pi/2,
// -pi, the phase is moved by the constant and the result turned back.
TEST(EngineExact, PhaseBoundariesFollowTheFlooredConstants) {
  for (uint32_t format = 0; format < 2; ++format) {
    SCOPED_TRACE("phase format " + std::to_string(format));
    const unsigned B = 20;
    const bool scaled = format == 1;
    const Model on(raw_config(2, B, 18, 1, format)), off(raw_config(2, B, 18, 0, format));
    ASSERT_TRUE(on.valid() && off.valid());
    const double l = quadrant(-0.25L, B, scaled), o = quadrant(-0.75L, B, scaled);
    const double m = quadrant(-0.5L, B, scaled), t = quadrant(-1.0L, B, scaled);
    auto sc_on = [&](double z) { return cart(on, 0, 0, z); };
    auto sc_off = [&](double z) { return cart(off, 0, 0, z); };

    EXPECT_EQ(sc_on(-l), plus_90(sc_off(-l + m)));  // z - pi/4 = 0: reduced
    EXPECT_EQ(sc_on(-l - 1), sc_off(-l - 1));       // just inside
    EXPECT_EQ(sc_on(l), sc_off(l));                 // z + pi/4 = 0: inside
    EXPECT_EQ(sc_on(l - 1), minus_90(sc_off(l - 1 - m)));
    EXPECT_EQ(sc_on(-o), half_turn(sc_off(-o + t)));  // z - 3pi/4 = 0: half turn
    EXPECT_EQ(sc_on(-o - 1), plus_90(sc_off(-o - 1 + m)));
    EXPECT_EQ(sc_on(o), minus_90(sc_off(o - m)));  // z + 3pi/4 = 0: quarter turn
    EXPECT_EQ(sc_on(o - 1), half_turn(sc_off(o - 1 - t)));
    EXPECT_EQ(sc_on(0), sc_off(0));
  }
}

// Both parts together: the post-correction is their sum modulo 360 degrees.
TEST(EngineExact, VectorAndPhaseCorrectionsAdd) {
  const unsigned B = 20;
  const Model on(raw_config(0, B, 18, 1)), off(raw_config(0, B, 18, 0));
  const double m = quadrant(-0.5L, B, false), t = quadrant(-1.0L, B, false);
  const double z = 300000;  // about 2.29 rad: reduced by pi/2 (+90 afterwards)
  // Upper region (+90) and +90 give a half turn; lower (-90) and +90 cancel.
  EXPECT_EQ(cart(on, -1000, 5000, z), half_turn(cart(off, 5000, 1000, z + m)));
  EXPECT_EQ(cart(on, -1000, -5000, z), cart(off, 5000, -1000, z + m));
  // Left region (180) with z reduced by pi (180): no turn at all.
  EXPECT_EQ(cart(on, -7000, 100, 400000), cart(off, 7000, -100, 400000 + t));
}

// Translate of a vector just left of the origin: the phase comes out just
// below +pi for a positive y and just above -pi for a negative y.
TEST(EngineExact, TranslateNearTheNegativeAxisKeepsTheSignOfY) {
  const Model m(config_for(1));  // 16-bit words: x, y with 14 fraction bits, phase 13
  ASSERT_TRUE(m.valid());
  const double pi_word = std::ldexp(static_cast<double>(kPi), 13);
  for (double tiny : {16.0, 64.0}) {
    const double expected = std::ldexp(static_cast<double>(kPi - std::atan2(tiny, 16384.0L)), 13);
    const Pair above = polar(m, -16384, tiny), below = polar(m, -16384, -tiny);
    EXPECT_GT(above.y, 0);
    EXPECT_LT(above.y, pi_word);
    EXPECT_NEAR(above.y, expected, 4) << tiny;
    EXPECT_LT(below.y, 0);
    EXPECT_GT(below.y, -pi_word - 1);
    EXPECT_NEAR(below.y, -expected, 4) << tiny;
  }
}

// Without coarse rotation nothing maps the inputs into range and nothing is
// corrected afterwards: the micro-rotations reach at most the sum of their
// angles, about 0.96 rad, whatever the quadrant of the input.
TEST(EngineExact, CoarseRotationOffLeavesTheQuadrantAlone) {
  const Model vectoring(raw_config(1, 20, 18, 0)), rotation(raw_config(2, 20, 18, 0));
  const double reach = std::ldexp(0.97, 17);  // phase words, 17 fraction bits
  for (double a : {-262144.0, -1000.0, 5.0, 200000.0}) {
    for (double b : {-200000.0, -1.0, 0.0, 1.0, 150000.0}) {
      EXPECT_LE(std::fabs(polar(vectoring, a, b).y), reach) << a << " " << b;
    }
  }
  // Phases beyond the reach leave (S, 0) turned by at most 0.96 rad: cosine > 0.
  for (double z : {-400000.0, -200000.0, 150000.0, 300000.0, 411774.0}) {
    EXPECT_GT(cart(rotation, 0, 0, z).x, 0) << z;
  }
}

// Gain compensation codes 1, 2 and 3 are one setting.
TEST(EngineExact, ScaleCompCodesAgree) {
  Block in;
  for (int s = 0; s < 20; ++s) in.push(1000.0 * s - 9000, 300.0 * s - 2500, 1200.0 * s - 12000);
  for (uint32_t f = 0; f < 6; ++f) {
    zelip_cordic_v6_0_config c = config_for(f);
    c.ScaleComp = 1;
    const Result one = run_block(Model(c), in);
    for (uint32_t code : {2u, 3u}) {
      c.ScaleComp = code;
      const Result other = run_block(Model(c), in);
      EXPECT_TRUE(one.x == other.x && one.y == other.y && one.z == other.z) << f << " " << code;
    }
  }
}

// Hyperbolic micro-rotation i uses the shift sequence 1, 2, 3, 4, 4, 5, ...,
// 13, 13, 14, and an explicit Iterations value counts the repeats: one more
// iteration moves the phase of atanh by exactly the table angle of its shift.
TEST(EngineExact, HyperbolicRepeatsCountAsIterations) {
  const unsigned B = 24;
  std::mt19937_64 gen(13);
  std::uniform_real_distribution<double> ratio(-0.75, 0.75);
  for (uint32_t format = 0; format < 2; ++format) {
    for (unsigned n = 1; n < 22; ++n) {
      const Model shorter(raw_config(5, B, n, 0, format)), longer(raw_config(5, B, n + 1, 0, format));
      ASSERT_TRUE(shorter.valid() && longer.valid());
      const unsigned shift = hyperbolic_shift(n);  // of the added iteration
      long double angle = std::atanh(std::ldexp(1.0L, -static_cast<int>(shift)));
      if (format == 1) angle /= kPi;
      const double step = static_cast<double>(std::nearbyint(std::ldexp(angle, B - 3)));
      for (int s = 0; s < 8; ++s) {
        const double x = std::ldexp(0.9, B - 2), y = std::round(x * ratio(gen));
        const double dz = std::fabs(polar(longer, x, y).y - polar(shorter, x, y).y);
        EXPECT_EQ(dz, step) << "iterations " << n << " shift " << shift << " format " << format;
      }
    }
  }
}

// The native registers and the GMP registers give the same words for any
// configuration and any input, including words outside the input range,
// fractions, the extremes of every width, the widest data paths (B = 54) and
// words on either side of the largest aligned value the native path takes.
TEST(EngineExact, NativeAndGmpDataPathsAgree) {
  std::mt19937_64 gen(14);
  auto pick = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(gen); };
  for (unsigned n = 0; n < 400; ++n) {
    zelip_cordic_v6_0_config c = config_for(n % 6, 8 + pick(41));
    c.OutputWidth = n % 8 == 0 ? 48 : 8 + pick(41);
    c.CoarseRotate = pick(2);
    c.PhaseFormat = pick(2);
    c.RoundMode = pick(4);
    c.ScaleComp = pick(2);
    if (pick(3) == 0) c.Iterations = 1 + pick(48);
    if (pick(3) == 0) c.Precision = c.OutputWidth + pick(49 - c.OutputWidth);
    Model m(c);
    ASSERT_TRUE(m.valid()) << describe(c);
    SCOPED_TRACE(describe(c));
    cordic::CordicEngine native(m.impl()), gmp(m.impl(), cordic::CordicEngine::Arithmetic::kGmpOnly);
    const int top = static_cast<int>(c.InputWidth) + 3;  // up to 8 times the word range
    // Input words whose aligned magnitude is just below and at 2^59.
    const double edge = std::ldexp(1.0, 59 - static_cast<int>(m.B()) + static_cast<int>(c.InputWidth));
    const double edges[2] = {std::nextafter(edge, 0.0), edge};
    for (int s = 0; s < 60; ++s) {
      cordic::SampleWords in;
      double *words[3] = {&in.x, &in.y, &in.z};
      for (double *w : words) {
        const double mag = std::ldexp(static_cast<double>(gen() >> 11), -53 + static_cast<int>(pick(top)));
        *w = (pick(2) ? -1.0 : 1.0) * std::floor(mag);
        if (pick(8) == 0) *w += 0.5;
        if (pick(16) == 0) *w = -std::ldexp(1.0, c.InputWidth - 1);
        if (pick(8) == 0) *w = (pick(2) ? -1.0 : 1.0) * edges[pick(2)];
      }
      const cordic::SampleWords a = native.compute(in), b = gmp.compute(in);
      EXPECT_EQ(a.x, b.x) << in.x << " " << in.y << " " << in.z;
      EXPECT_EQ(a.y, b.y) << in.x << " " << in.y << " " << in.z;
      EXPECT_EQ(a.z, b.z) << in.x << " " << in.y << " " << in.z;
    }
  }
}

// The square root's native registers give the GMP words for every data
// format, width and rounding, negative and fractional radicands and words on
// either side of the 64-bit limit included.
TEST(EngineExact, NativeAndGmpSquareRootsAgree) {
  std::mt19937_64 gen(15);
  auto pick = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(gen); };
  for (unsigned n = 0; n < 300; ++n) {
    zelip_cordic_v6_0_config c = config_for(6, 8 + pick(41));
    c.DataFormat = pick(3);
    c.OutputWidth = c.DataFormat == 2 ? c.InputWidth / 2 + 1 : 8 + pick(41);
    c.RoundMode = pick(4);
    if (pick(3) == 0) c.Precision = c.OutputWidth + pick(49 - c.OutputWidth);
    Model m(c);
    ASSERT_TRUE(m.valid()) << describe(c);
    SCOPED_TRACE(describe(c));
    cordic::CordicEngine native(m.impl()), gmp(m.impl(), cordic::CordicEngine::Arithmetic::kGmpOnly);
    for (int s = 0; s < 40; ++s) {
      cordic::SampleWords in;
      const int bits = static_cast<int>(pick(c.InputWidth + 2));
      in.x = std::floor(std::ldexp(static_cast<double>(gen() >> 11), bits - 53));
      if (pick(8) == 0) in.x = -in.x;
      if (pick(8) == 0) in.x += 0.75;
      if (pick(16) == 0) in.x = (pick(2) ? -1.0 : 1.0) * std::ldexp(1.0, 62 + static_cast<int>(pick(3)));
      EXPECT_EQ(native.compute(in).x, gmp.compute(in).x) << in.x;
    }
  }
}

// Words far beyond the native registers go through GMP. Without coarse
// rotation, adding a multiple of 2^(B+1) to x and y changes nothing once the
// first micro-rotation has wrapped them (the shift is at most 1 there).
TEST(EngineExact, HugeInputWordsWrapLikeTheHardware) {
  const Model m(raw_config(0, 20, 16, 0));
  // Sums that doubles hold exactly: the words' low bits stay clear.
  for (int e : {62, 64, 68}) {
    const double lap = std::ldexp(1.0, e), x = std::ldexp(3.0, 16), y = -std::ldexp(5.0, 16);
    EXPECT_EQ(cart(m, x + lap, y - lap, 5000), cart(m, x, y, 5000)) << e;
    EXPECT_EQ(cart(m, x - lap, y + lap, -5000), cart(m, x, y, -5000)) << e;
  }
  EXPECT_EQ(cart(m, 3072 + std::ldexp(1.0, 62), -5120, 7), cart(m, 3072, -5120, 7));
  // A word that overflows a double once scaled to the data path.
  zelip_cordic_v6_0_config c = raw_config(0, 20, 16, 0);
  c.InputWidth = 16;
  const Model narrow(c);
  const double top = std::ldexp(1.5, 1023);
  EXPECT_EQ(cart(narrow, top, -top, 300), cart(narrow, 0, 0, 300));
  const double huge = std::ldexp(1.0, 900);
  EXPECT_EQ(cart(m, huge, -huge, 5000), cart(m, 0, 0, 5000));
  EXPECT_EQ(cart(m, -huge, std::ldexp(3.0, 1020), -5000), cart(m, 0, 0, -5000));
}

}  // namespace
