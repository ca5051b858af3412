// rnd_slv_mpz and the square root, each against the quoted examples and a
// plain GMP model written from the hardware description (fixed seeds).
#include "cordic_sqrt.h"
#include "rnd_slv_mpz.h"
#include "stderr_capture.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {

// Small RAII integer for the tests.
struct Z {
  mpz_t v;
  Z() { mpz_init(v); }
  explicit Z(long x) { mpz_init_set_si(v, x); }
  ~Z() { mpz_clear(v); }
  Z(const Z &) = delete;
  Z &operator=(const Z &) = delete;
  long get() const { return mpz_get_si(v); }
  std::string str() const {
    char *s = mpz_get_str(nullptr, 10, v);
    std::string r(s);
    void (*freefunc)(void *, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(s, r.size() + 1);
    return r;
  }
};

long round20to16(long v, uint32_t mode) {
  Z in(v), out(12345);
  rnd_slv_mpz(out.v, in.v, 20, 16, mode);
  return out.get();
}

TEST(RndSlvMpz, QuotedExamplesFrom20To16Bits) {
  EXPECT_EQ(round20to16(-1, 0), -1);
  EXPECT_EQ(round20to16(23, 0), 1);
  EXPECT_EQ(round20to16(8, 1), 1);
  EXPECT_EQ(round20to16(-8, 1), 0);
  EXPECT_EQ(round20to16(8, 2), 1);
  EXPECT_EQ(round20to16(-8, 2), -1);
  EXPECT_EQ(round20to16(8, 3), 0);
  EXPECT_EQ(round20to16(24, 3), 2);
  EXPECT_EQ(round20to16(-8, 3), -1);
  EXPECT_EQ(round20to16(-24, 3), -1);  // -1.5 goes to the odd neighbour
  EXPECT_EQ(round20to16(-40, 3), -3);  // -2.5 likewise
}

TEST(RndSlvMpz, EqualWidthsCopyAndBadRequestsLeaveTheDestination) {
  for (uint32_t mode : {0u, 1u, 2u, 3u, 9u}) {
    Z in(-123457), out(5);
    rnd_slv_mpz(out.v, in.v, 20, 20, mode);
    EXPECT_EQ(out.get(), -123457) << mode;
  }
  Z in(77), out(5);
  rnd_slv_mpz(out.v, in.v, 20, 16, 4);  // unknown mode
  EXPECT_EQ(out.get(), 5);

  testsupport::StderrCapture capture;
  rnd_slv_mpz(out.v, in.v, 16, 20, 0);  // widening
  EXPECT_EQ(capture.text(), "Error: in rnd_slv_mpz. Output length of round is greater than input\n");
  EXPECT_EQ(out.get(), 5);
}

// Reference: split v into floor quotient and remainder, then decide by the
// remainder against half a unit and the tie rule of each mode.
void reference_round(mpz_t out, const mpz_t v, uint32_t k, uint32_t mode) {
  Z q, rem, half(1);
  mpz_fdiv_q_2exp(q.v, v, k);
  mpz_fdiv_r_2exp(rem.v, v, k);
  mpz_mul_2exp(half.v, half.v, k - 1);
  const int cmp = mpz_cmp(rem.v, half.v);
  const bool negative = mpz_sgn(v) < 0;
  bool up = false;
  switch (mode) {
    case 0: up = false; break;
    case 1: up = cmp >= 0; break;
    case 2: up = cmp > 0 || (cmp == 0 && !negative); break;
    case 3:
      if (cmp != 0) {
        up = cmp > 0;
      } else {
        const bool q_odd = mpz_odd_p(q.v);
        up = negative ? !q_odd : q_odd;  // even neighbour when non-negative, odd when negative
      }
      break;
  }
  mpz_set(out, q.v);
  if (up) mpz_add_ui(out, out, 1);
}

TEST(RndSlvMpz, MatchesReferenceOnRandomWordsWithLongRuns) {
  gmp_randstate_t rs;
  gmp_randinit_default(rs);
  const unsigned long seed = 20240611;
  gmp_randseed_ui(rs, seed);
  Z v, got, want;
  for (int i = 0; i < 40000; ++i) {
    const uint32_t in_len = 2 + gmp_urandomm_ui(rs, 150);  // beyond 64 bits too
    const uint32_t out_len = 1 + gmp_urandomm_ui(rs, in_len - 1);
    const uint32_t mode = gmp_urandomm_ui(rs, 4);
    mpz_rrandomb(v.v, rs, in_len - 1);  // long runs of ones and zeros make ties common
    if (gmp_urandomm_ui(rs, 2) != 0) mpz_neg(v.v, v.v);
    reference_round(want.v, v.v, in_len - out_len, mode);
    rnd_slv_mpz(got.v, v.v, in_len, out_len, mode);
    ASSERT_EQ(mpz_cmp(got.v, want.v), 0) << "seed " << seed << " case " << i << ": v=" << v.str() << " L="
                                         << in_len << " A=" << out_len << " mode " << mode;
    // In place gives the same result.
    rnd_slv_mpz(v.v, v.v, in_len, out_len, mode);
    ASSERT_EQ(mpz_cmp(v.v, want.v), 0) << "in place, seed " << seed << " case " << i;
  }
  gmp_randclear(rs);
}

// Square root ---------------------------------------------------------------

long root_of(double m, uint32_t a, uint32_t format, uint32_t width) {
  Z in, root;
  mpz_set_d(in.v, m);
  cordic::cordic_sqrt(root.v, in.v, a, format, width);
  return root.get();
}

TEST(CordicSqrt, IntegerRadicands) {
  // DataFormat 2, 16-bit radicands, 9-bit data path.
  EXPECT_EQ(root_of(65535, 9, 2, 16), 255);
  EXPECT_EQ(root_of(900, 9, 2, 16), 30);
  EXPECT_EQ(root_of(4, 9, 2, 16), 2);
  EXPECT_EQ(root_of(2, 9, 2, 16), 1);
  EXPECT_EQ(root_of(0, 9, 2, 16), 0);
}

TEST(CordicSqrt, FractionalRadicandLosesTheTopRootBit) {
  // DataFormat 1, 16-bit radicand, 16-bit path: 8192/2^15 = 1/4 has root 1/2.
  EXPECT_EQ(root_of(8192, 16, 1, 16), 16384);
  // The exact root of 65535 at this scale is 46340, which needs a 16th root
  // bit the register does not have.
  const long lost = root_of(65535, 16, 1, 16);
  EXPECT_NE(lost, 46340);
  EXPECT_LT(lost, 32768);
}

// Reference: the digit loop written literally on GMP integers.
void reference_sqrt(mpz_t root, const mpz_t m, uint32_t a, uint32_t format, uint32_t w) {
  Z p, q, t, r, trial;
  mpz_set(p.v, m);
  const long two_a = 2L * a, wl = w;
  if (format == 2) mpz_mul_2exp(p.v, p.v, wl % 2 ? two_a - wl - 1 : two_a - wl - 2);
  if (format == 1) {
    if (two_a - wl - 1 >= 0)
      mpz_mul_2exp(p.v, p.v, two_a - wl - 1);
    else
      mpz_fdiv_q_2exp(p.v, p.v, wl - two_a + 1);
  }
  mpz_set_ui(root, 0);
  for (uint32_t j = 0; j < a; ++j) {
    const uint32_t d = 2 * a - 2 - 2 * j;
    mpz_fdiv_q_2exp(t.v, p.v, d);
    mpz_fdiv_r_2exp(t.v, t.v, 2);
    mpz_fdiv_r_2exp(q.v, q.v, a - 1);
    mpz_mul_2exp(q.v, q.v, 2);
    mpz_add(q.v, q.v, t.v);
    mpz_fdiv_r_2exp(root, root, a - 2);
    mpz_mul_2exp(trial.v, root, 2);
    mpz_add_ui(trial.v, trial.v, 1);
    mpz_sub(r.v, q.v, trial.v);
    mpz_mul_2exp(root, root, 1);
    if (mpz_sgn(r.v) >= 0) {
      mpz_set(q.v, r.v);
      mpz_add_ui(root, root, 1);
    }
  }
}

TEST(CordicSqrt, MatchesLiteralDigitLoopForAllFormatsAndWidths) {
  gmp_randstate_t rs;
  gmp_randinit_default(rs);
  const unsigned long seed = 777;
  gmp_randseed_ui(rs, seed);
  Z m, got, want;
  for (int i = 0; i < 20000; ++i) {
    const uint32_t w = 8 + gmp_urandomm_ui(rs, 41);
    const uint32_t format = gmp_urandomm_ui(rs, 3);
    uint32_t a = 5 + gmp_urandomm_ui(rs, 50);  // 5..54
    if (format == 2 && a < w / 2 + 1) a = w / 2 + 1;  // the integer root is never narrower
    // Radicands of the input width, sometimes negative or far too wide (the
    // model does not saturate its inputs).
    mpz_rrandomb(m.v, rs, gmp_urandomm_ui(rs, 8) == 0 ? 2 * w + 10 : w);
    if (gmp_urandomm_ui(rs, 4) == 0) mpz_neg(m.v, m.v);
    reference_sqrt(want.v, m.v, a, format, w);
    cordic::cordic_sqrt(got.v, m.v, a, format, w);
    ASSERT_EQ(mpz_cmp(got.v, want.v), 0) << "seed " << seed << " case " << i << ": m=" << m.str() << " a=" << a
                                         << " format " << format << " W=" << w;
  }
  gmp_randclear(rs);
}

TEST(CordicSqrt, IntegerFormatIsTheExactRootWhereTheRegistersSuffice) {
  // With DataFormat 2 and a = W/2 + 1 the aligned radicand stays below
  // 2^(2a-2), so the root fits: it is floor(sqrt(p)) for every radicand of
  // W - 1 bits (and of W bits when W is even).
  gmp_randstate_t rs;
  gmp_randinit_default(rs);
  gmp_randseed_ui(rs, 99);
  Z m, p, got, want;
  for (uint32_t w = 8; w <= 48; ++w) {
    const uint32_t a = w / 2 + 1;
    const uint32_t top = w % 2 == 0 ? w : w - 1;
    for (int i = 0; i < 300; ++i) {
      mpz_urandomb(m.v, rs, top);
      if (i == 0) mpz_set_ui(m.v, 0);
      if (i == 1) {
        mpz_set_ui(m.v, 1);
        mpz_mul_2exp(m.v, m.v, top);
        mpz_sub_ui(m.v, m.v, 1);
      }
      mpz_mul_2exp(p.v, m.v, w % 2 ? 2 * a - w - 1 : 2 * a - w - 2);
      mpz_sqrt(want.v, p.v);
      cordic::cordic_sqrt(got.v, m.v, a, 2, w);
      ASSERT_EQ(mpz_cmp(got.v, want.v), 0) << "W=" << w << " m=" << m.str();
    }
  }
  gmp_randclear(rs);
}

}  // namespace
