// The quarter-wave twiddle table and the index functions of the engine base.
#include "fft_base.h"
#include "r2_reference.h"
#include "twiddle_rom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using zelfft::FFT;
using zelfft::TWIDDLE_ROM;
using zelfft::ZelComplex;
using zelfft::ZelFix;

// Exact equality of value and format of two parts.
void expect_identical(const ZelFix &a, const ZelFix &b) {
  EXPECT_EQ(a.width(), b.width());
  EXPECT_EQ(a.point(), b.point());
  EXPECT_EQ(a.bitString(), b.bitString());
}

TEST(TwiddleRom, TableSizeAndFormat) {
  const struct {
    int nfft_max, tw, entries;
  } sizes[] = {{3, 8, 3}, {3, 34, 3}, {10, 16, 257}, {16, 34, 16385}};
  for (const auto &s : sizes) {
    TWIDDLE_ROM rom(s.nfft_max, s.tw);
    EXPECT_EQ(rom.table_size(), s.entries);
    for (const ZelFix *part : {&rom.entry(1).real(), &rom.lookup(5).imag()}) {
      EXPECT_EQ(part->width(), s.tw + 1);
      EXPECT_EQ(part->point(), s.tw - 1);
    }
  }
}

// +1, -1 and j are held exactly (the format has room for magnitude 1), and
// the angles of C_NFFT_MAX = 3 are 0, pi/4 and pi/2.
TEST(TwiddleRom, CardinalPointsAreExactAndUnsaturated) {
  for (int tw : {8, 16, 34}) {
    TWIDDLE_ROM rom(3, tw);
    EXPECT_EQ(rom.entry(0).real().toDouble(), 1.0);
    EXPECT_EQ(rom.entry(0).imag().toDouble(), 0.0);
    const double r = std::nearbyint(std::ldexp(std::sqrt(0.5), tw - 1));
    EXPECT_EQ(rom.entry(1).real().toDouble(), std::ldexp(r, 1 - tw));
    EXPECT_EQ(rom.entry(2).real().toDouble(), 0.0);
    EXPECT_EQ(rom.entry(2).imag().toDouble(), 1.0);
    const struct {
      int index;
      double re, im;
    } points[] = {{0, 1, 0}, {2, 0, 1}, {4, -1, 0}, {6, 0, -1}, {8, 1, 0}, {-2, 0, -1}};
    for (const auto &p : points) {
      const ZelComplex &w = rom.lookup(p.index);
      EXPECT_EQ(w.real().toDouble(), p.re) << p.index;
      EXPECT_EQ(w.imag().toDouble(), p.im) << p.index;
    }
  }
}

// Every factor of several tables against the model's quarter-wave rule, and
// the symmetries: lookup(N-k) is the exact conjugate of lookup(k), and the
// index is taken modulo N.
TEST(TwiddleRom, EveryFactorFollowsTheQuarterWave) {
  const struct {
    int nfft_max, tw;
  } tables[] = {{3, 8}, {5, 13}, {8, 34}, {11, 16}, {12, 27}};
  for (const auto &t : tables) {
    SCOPED_TRACE(std::to_string(t.nfft_max) + "/" + std::to_string(t.tw));
    TWIDDLE_ROM rom(t.nfft_max, t.tw);
    const r2ref::Twiddles model(t.nfft_max, t.tw);
    const int n = 1 << t.nfft_max;
    for (int k = 0; k < n; ++k) {
      int64_t re, im;
      model.at(k, re, im);
      const ZelComplex w = rom.lookup(k);
      ASSERT_EQ(w.real().toDouble(), std::ldexp(double(re), 1 - t.tw)) << k;
      ASSERT_EQ(w.imag().toDouble(), std::ldexp(double(im), 1 - t.tw)) << k;
      // The engines' pattern lookup gives the same factor, also modulo N.
      for (int64_t index : {int64_t{k}, k + 3 * int64_t{n}}) {
        const zelfft::RawComplex p = rom.lookup_pattern(index);
        ASSERT_EQ(p.re, re) << index;
        ASSERT_EQ(p.im, im) << index;
      }
      const ZelComplex conj = rom.lookup(n - k);
      expect_identical(conj.real(), w.real());
      EXPECT_EQ(conj.imag().toDouble(), -w.imag().toDouble());
      const ZelComplex wrapped = rom.lookup(k + 3 * int64_t{n});
      expect_identical(wrapped.real(), w.real());
      expect_identical(wrapped.imag(), w.imag());
    }
  }
}

// A bare FFT block with the run-time length of nfft.
FFT length_of(int nfft) {
  FFT f;
  f.nfft = nfft;
  f.length = 1 << nfft;
  f.odd_nfft = nfft & 1;
  f.r4_stages = nfft >> 1;
  return f;
}

// Reversals and sums against their definitions, for every index of several
// lengths, odd and even.
TEST(FftBase, IndexFunctions) {
  for (int nfft : {3, 4, 7, 10, 15, 16}) {
    const FFT f = length_of(nfft);
    for (int i = 0; i < (1 << nfft); ++i) {
      int rev = 0, ones = 0;
      for (int b = 0; b < nfft; ++b) {
        rev |= ((i >> b) & 1) << (nfft - 1 - b);
        ones += (i >> b) & 1;
      }
      ASSERT_EQ(f.bit_reverse(i), rev);
      ASSERT_EQ(f.bit_sum(i), ones);
      ASSERT_EQ(f.bit_reverse_short(i & ((1 << (nfft - 1)) - 1)), rev >> 1);
      // Base-4 digits reversed, with bit 0 of an odd-length index on top.
      int dr = 0;
      const int low = nfft & 1;
      for (int t = 0; t < nfft / 2; ++t) {
        const int d = (i >> (low + 2 * t)) & 3;
        dr |= d << (2 * (nfft / 2 - 1 - t));
      }
      if (low) dr |= (i & 1) << (nfft - 1);
      ASSERT_EQ(f.digit_reverse(i), dr) << nfft << " " << i;
      int sum = 0;
      for (int t = 0; t < (nfft + 1) / 2; ++t) sum += (i >> (2 * t)) & 3;
      ASSERT_EQ(f.digit_sum(i), sum);
    }
  }
}

TEST(FftBase, SignHeadroomAndGrowthClass) {
  auto word = [](double v, int width) { return ZelFix(v, width, width - 1, zel::Signed, zel::Truncate, zel::Wrap); };
  const struct {
    double v;
    int headroom;
  } cases[] = {{0.0, 3}, {-1.0 / 65536, 3}, {0.5, 0}, {-1.0, 0}, {0.25, 1}, {-0.25, 2}, {-0.2578125, 1},
               {0.125, 2}, {-0.125, 3}, {0.0625, 3}, {-0.0625, 3}};
  for (const auto &k : cases) EXPECT_EQ(FFT::sign_headroom(word(k.v, 16)), k.headroom) << k.v;
  // Positions below bit 0 read as 0: a 2-bit word -1 ("11") has headroom 1.
  EXPECT_EQ(FFT::sign_headroom(ZelFix(-1, 2, 0, zel::Signed, zel::Truncate, zel::Wrap)), 1);
  ZelComplex c(16, 15, zel::Signed, zel::Truncate, zel::Wrap);
  c.set(0.125, 0.5);
  EXPECT_EQ(FFT::sign_headroom(c), 0);

  // The probe keeps 7 fractional bits, floored: a value just below a bound
  // stays in the lower class.
  FFT f;
  const double bounds[] = {0.4140625, 0.828125};
  EXPECT_EQ(f.growth_class(word(0.4140625 - 1.0 / 32768, 16), bounds, 2), 0);
  EXPECT_EQ(f.growth_class(word(0.4140625, 16), bounds, 2), 1);
  EXPECT_EQ(f.growth_class(word(-0.4140625, 16), bounds, 2), 0);
  EXPECT_EQ(f.growth_class(word(-0.4140625 - 1.0 / 32768, 16), bounds, 2), 1);
  EXPECT_EQ(f.growth_class(word(-1.0, 16), bounds, 2), 2);
  c.set(0.9, 0.0);
  EXPECT_EQ(f.growth_class(c, bounds, 2), 2);
}

}  // namespace
