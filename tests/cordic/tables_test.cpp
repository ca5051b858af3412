// The generated constant tables: the ROM words the core is known to hold,
// the storage order, closeness to independently computed values, and the
// quadrant constants against the binary expansion of pi.
#include "cordic_tables.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using cordic::angle_text;
using cordic::gain_text;

TEST(CordicTables, KnownRomWords) {
  EXPECT_STREQ(angle_text(false, false, 0), "000011101101011000110011100000101011000011011101101001111100010010000110");
  EXPECT_STREQ(angle_text(false, false, 1), "000001111101011011011101011111100100101100100000001101110101100010101011");
  EXPECT_STREQ(angle_text(false, false, 63), "000000000000000000000000000000000000000000000000000000000000000000100000");
  EXPECT_STREQ(angle_text(false, true, 0), "000001001011100100000001010001110110011101111100110000100001111010111100");
  EXPECT_STREQ(angle_text(true, false, 0), "000100011001001111101010011110101010110100000011000010100111110011111001");
  EXPECT_STREQ(angle_text(true, true, 0), "000001011001100001011110001000110111101101011100101111010000001101101110");
  EXPECT_STREQ(gain_text(false, 1), "001110010011111001001011100010110111111111011011101100100110101011001010");
  EXPECT_STREQ(gain_text(false, 64), "001101101111011001010110110001011001110111110000010011011011101011011010");
  EXPECT_STREQ(gain_text(true, 1), "010010011110011010011101000101100100000011001100011100010011010010000111");
  EXPECT_STREQ(gain_text(true, 64), "010011010100011110100001110010000000001110111011000010001100101001011001");
}

// Value of a 72-digit text with `frac` fraction bits.
long double value_of(const char *text, int frac) {
  long double v = 0;
  for (int i = 0; i < 72; ++i) v = 2 * v + (text[i] - '0');  // exact to 64 bits, plenty here
  return std::ldexp(v, -frac);
}

TEST(CordicTables, AnglesAreArctangentsOfNegativePowersOfTwo) {
  for (int hyperbolic = 0; hyperbolic < 2; ++hyperbolic) {
    for (int scaled = 0; scaled < 2; ++scaled) {
      long double previous = 1e9L;
      for (unsigned k = 0; k < 64; ++k) {
        const char *t = angle_text(hyperbolic, scaled, k);
        ASSERT_EQ(std::strlen(t), 72u);
        ASSERT_EQ(std::strspn(t, "01"), 72u);
        const long double x = std::ldexp(1.0L, -static_cast<int>(k + 1));
        long double want = hyperbolic ? std::atanh(x) : std::atan(x);
        if (scaled) want /= 3.141592653589793238462643383279502884L;
        const long double got = value_of(t, 69);
        // The ROM's first angles are good to about 59 bits, the rest to the last bit
        // (long double resolves about 64 of the 72).
        const long double tolerance = std::ldexp(1.0L, k == 0 ? -56 : -63);
        EXPECT_NEAR(static_cast<double>((got - want) / tolerance), 0.0, 1.0)
            << "hyperbolic " << hyperbolic << " scaled " << scaled << " k " << k;
        EXPECT_LT(got, previous);  // the angles shrink with k
        previous = got;
      }
    }
  }
}

TEST(CordicTables, GainsAreInverseProductsOverTheShiftSequence) {
  long double circular = 1, hyperbolic = 1;
  for (unsigned n = 1; n <= 64; ++n) {
    circular *= std::sqrt(1 + std::ldexp(1.0L, -2 * static_cast<int>(n)));
    // Hyperbolic shifts 1, 2, 3, 4, 4, 5, ..., 13, 13, 14, ...
    const unsigned i = n - 1;
    const int shift = 1 + static_cast<int>(i <= 3 ? i : (i <= 13 ? i - 1 : i - 2));
    hyperbolic *= std::sqrt(1 - std::ldexp(1.0L, -2 * shift));
    const long double tolerance = std::ldexp(1.0L, -61);
    EXPECT_NEAR(static_cast<double>((value_of(gain_text(false, n), 70) - 1 / circular) / tolerance), 0.0, 1.0) << n;
    EXPECT_NEAR(static_cast<double>((value_of(gain_text(true, n), 70) - 1 / hyperbolic) / tolerance), 0.0, 1.0) << n;
  }
}

// pi from its hexadecimal expansion, times 2^200 (50 hexadecimal fraction digits).
void pi_scaled(mpz_t out) {
  mpz_set_str(out, "3243F6A8885A308D313198A2E03707344A4093822299F31D008", 16);
}

TEST(CordicTables, QuadrantConstantsAreFlooredToEveryWidth) {
  mpz_t pi, want, got;
  mpz_inits(pi, want, got, nullptr);
  pi_scaled(pi);
  // -pi, -pi/2, -3pi/4, -pi/4 as multiples of pi/4.
  const unsigned quarters[4] = {4, 2, 3, 1};
  for (unsigned b : {8u, 9u, 16u, 20u, 33u, 48u, 54u}) {
    for (int scaled = 0; scaled < 2; ++scaled) {
      const cordic::QuadrantTexts &q = cordic::quadrant_texts(scaled);
      const char *texts[4] = {q.t, q.m, q.o, q.l};
      for (int i = 0; i < 4; ++i) {
        // floor(-c x 2^(b-3)) with c = quarters x pi/4 (or x 1/4 scaled).
        if (scaled) {
          mpz_set_si(want, -static_cast<long>(quarters[i]));
          mpz_mul_2exp(want, want, b - 3);
          mpz_fdiv_q_2exp(want, want, 2);
        } else {
          mpz_mul_ui(want, pi, quarters[i]);
          mpz_neg(want, want);
          mpz_fdiv_q_2exp(want, want, 200 + 2 - (b - 3));
        }
        cordic::mpz_set_twos_text(got, texts[i], b);
        EXPECT_EQ(mpz_cmp(got, want), 0) << "B " << b << " scaled " << scaled << " constant " << i;
      }
    }
  }
  mpz_clears(pi, want, got, nullptr);
}

}  // namespace
