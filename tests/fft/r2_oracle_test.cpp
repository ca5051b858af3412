// The radix-2 engine on native integers against the same engine computed on
// ZelFix registers (r2_zelfix_oracle.h), word for word: one butterfly over
// every data and twiddle width, shift and rounding mode, and whole transforms
// over the configurations, directions, schedules and block floating point.
#include "r2_dit_pe.h"
#include "r2_loop.h"
#include "r2_zelfix_oracle.h"
#include "twiddle_rom.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

using zelfft::FFT;
using zelfft::FftSettings;
using zelfft::R2_DIT_PE;
using zelfft::R2_loop;
using zelfft::RawComplex;
using zelfft::TWIDDLE_ROM;
using zelfft::ZelComplex;
namespace raw = zelfft::raw;

int pick(std::mt19937_64 &rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

// A pattern of a `width`-bit register: one time in two a corner (most
// negative, largest positive, their neighbours, -1, 0, 1), else uniform.
int64_t pattern(std::mt19937_64 &rng, int width) {
  const int64_t full = int64_t{1} << (width - 1);
  const int64_t corners[] = {-full, -full + 1, full - 1, full - 2, -1, 0, 1, full / 2, -full / 2};
  if (pick(rng, 0, 1) == 0) return corners[pick(rng, 0, 8)];
  return std::uniform_int_distribution<int64_t>(-full, full - 1)(rng);
}

RawComplex raw_of(const ZelComplex &c) { return {raw::pattern_of(c.real()), raw::pattern_of(c.imag())}; }

void set_raw(ZelComplex &c, const RawComplex &v) {
  raw::set_pattern(c.real(), v.re);
  raw::set_pattern(c.imag(), v.im);
}

bool same(const RawComplex &a, const RawComplex &b) { return a.re == b.re && a.im == b.im; }

// Every data width 8..51 (unscaled cores reach 34 + 17 bits) with every
// twiddle width 8..34, shift 0..3 and both output roundings; operands and
// twiddles anywhere in their registers, corners often. Both product paths
// where the narrow one applies.
TEST(R2Oracle, ButterflyMatchesZelFixRegisters) {
  const uint64_t seed = 5150;
  std::mt19937_64 rng(seed);
  for (int bo = 8; bo <= 51; ++bo) {
    for (int tw = 8; tw <= 34; ++tw) {
      const int rounding = pick(rng, 0, 1);
      FFT f;
      f.input_width = f.output_width = bo;
      f.twiddle_width = tw;
      f.has_rounding = rounding;
      f.has_scaling = 1;
      ZelComplex oracle_inputs[2];
      for (ZelComplex &x : oracle_inputs) x.setFormat(bo, bo - 1, zel::Signed, zel::Truncate, zel::Wrap);
      ZelComplex w(tw + 1, tw - 1, zel::Signed, zel::Truncate, zel::Saturate);
      r2oracle::ZelFixButterfly oracle(oracle_inputs, f);
      R2_DIT_PE wide(f), narrow(f);
      for (int trial = 0; trial < 24; ++trial) {
        const int shift = trial % 4;
        const RawComplex x0{pattern(rng, bo), pattern(rng, bo)};
        const RawComplex x1{pattern(rng, bo), pattern(rng, bo)};
        const RawComplex tw_raw{pattern(rng, tw + 1), pattern(rng, tw + 1)};
        set_raw(oracle_inputs[0], x0);
        set_raw(oracle_inputs[1], x1);
        set_raw(w, tw_raw);
        oracle.butterfly(w, shift);

        RawComplex y0 = x0, y1 = x1;
        wide.butterfly(y0, y1, tw_raw, shift);
        const std::string where = "seed " + std::to_string(seed) + " Bo " + std::to_string(bo) + " TW " +
                                  std::to_string(tw) + " rounding " + std::to_string(rounding) + " shift " +
                                  std::to_string(shift) + " x0 (" + std::to_string(x0.re) + ", " +
                                  std::to_string(x0.im) + ") x1 (" + std::to_string(x1.re) + ", " +
                                  std::to_string(x1.im) + ") w (" + std::to_string(tw_raw.re) + ", " +
                                  std::to_string(tw_raw.im) + ")";
        ASSERT_TRUE(same(wide.twiddled, raw_of(oracle.twiddled))) << where;
        ASSERT_TRUE(same(wide.scaled[0], raw_of(oracle.scaled[0]))) << where;
        ASSERT_TRUE(same(wide.scaled[1], raw_of(oracle.scaled[1]))) << where;
        ASSERT_TRUE(same(y0, raw_of(oracle.outputs[0]))) << where;
        ASSERT_TRUE(same(y1, raw_of(oracle.outputs[1]))) << where;
        ASSERT_EQ(wide.overflow, oracle.overflow) << where;
        if (narrow.narrow_products()) {
          RawComplex z0 = x0, z1 = x1;
          narrow.butterfly<int64_t>(z0, z1, tw_raw, shift);
          ASSERT_TRUE(same(z0, y0) && same(z1, y1) && same(narrow.twiddled, wide.twiddled)) << where;
        }
      }
    }
  }
}

struct Transform {
  FftSettings settings;
  int headroom = 0;  // the input block's sign headroom, as simulate measures it
  uint32_t schedule = 0;
  int direction = 1;
};

std::string describe(const Transform &c) {
  const FftSettings &s = c.settings;
  return "nfft_max " + std::to_string(s.nfft_max) + " nfft " + std::to_string(s.nfft) + " Bo " +
         std::to_string(s.internal_output_width) + " TW " + std::to_string(s.twiddle_width) + " scaling " +
         std::to_string(s.has_scaling) + " bfp " + std::to_string(s.has_bfp) + " rounding " +
         std::to_string(s.has_rounding) + " direction " + std::to_string(c.direction) + " schedule " +
         std::to_string(c.schedule) + " headroom " + std::to_string(c.headroom);
}

Transform random_transform(std::mt19937_64 &rng, int nfft_max) {
  Transform c;
  FftSettings &s = c.settings;
  s.nfft_max = nfft_max;
  s.twiddle_width = pick(rng, 0, 3) == 0 ? 34 : pick(rng, 8, 34);
  const int mode = pick(rng, 0, 2);
  s.has_scaling = mode != 0;
  s.has_bfp = mode == 2;
  s.has_rounding = pick(rng, 0, 1);
  s.internal_input_width = pick(rng, 8, 34);
  // Unscaled cores carry C_NFFT_MAX + 1 more bits; other widths up to 51
  // test the data path beyond the configurations that reach it.
  s.internal_output_width = s.has_scaling == 0 ? s.internal_input_width + nfft_max + 1 : pick(rng, 8, 51);
  s.nfft = pick(rng, 0, 2) == 0 ? pick(rng, 3, nfft_max) : nfft_max;
  s.length = 1 << s.nfft;
  c.headroom = pick(rng, 0, 3);
  c.schedule = static_cast<uint32_t>(rng());
  c.direction = pick(rng, 0, 1);
  return c;
}

// Random configurations and blocks (uniform, quiet, corner-heavy) through
// both engines: every memory word, the block exponent, the overflow flag and
// the last stage's class agree. Each pair of engines runs twice, the second
// time on another length, as simulate reuses a state.
TEST(R2Oracle, TransformMatchesZelFixEngineWordForWord) {
  const uint64_t seed = 8086;
  std::mt19937_64 rng(seed);
  for (int trial = 0; trial < 80; ++trial) {
    const int nfft_max = trial < 72 ? 3 + trial % 6 : 9 + trial % 4;
    Transform c = random_transform(rng, nfft_max);
    R2_loop engine(c.settings);
    r2oracle::ZelFixEngine oracle(c.settings);
    TWIDDLE_ROM rom(nfft_max, c.settings.twiddle_width);
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) {
        c.settings.nfft = pick(rng, 3, nfft_max);
        c.settings.length = 1 << c.settings.nfft;
        c.direction ^= 1;
      }
      SCOPED_TRACE("seed " + std::to_string(seed) + " trial " + std::to_string(trial) + " pass " +
                   std::to_string(pass) + ": " + describe(c));
      engine.take_length(c.settings);
      oracle.take_length(c.settings);
      const int bo = c.settings.internal_output_width;
      const int quiet = pick(rng, 0, 3) == 0 ? pick(rng, 1, 4) : 0;
      // One block in four is an impulse at datum 0 (bank 0, word 0): every
      // stage then writes its height, so a height on a growth-class bound
      // or one LSB off it shows a misplaced bound.
      const bool impulse = pick(rng, 0, 3) == 0;
      for (int a = 0; a < c.settings.length / 2; ++a) {
        for (int bank = 0; bank < 2; ++bank) {
          RawComplex v{pattern(rng, bo - quiet), pattern(rng, bo - quiet)};
          if (impulse) v = {0, 0};
          if (impulse && a == 0 && bank == 0) {
            const int64_t bound = int64_t{pick(rng, 0, 1) == 0 ? 53 : 106} << (bo - 8);
            v.re = (pick(rng, 0, 1) == 0 ? bound : -bound) - pick(rng, 0, 1);
          }
          engine.word(bank, a) = v;
          set_raw(oracle.word(bank, a), v);
        }
      }
      for (FFT *e : {static_cast<FFT *>(&engine), static_cast<FFT *>(&oracle)}) {
        e->bfp_class = c.headroom;
        e->scaling_word = c.schedule;
        e->direction = c.direction;
      }
      engine.run(rom);
      oracle.run(rom);
      int mismatches = 0;
      for (int a = 0; a < c.settings.length / 2 && mismatches < 5; ++a) {
        for (int bank = 0; bank < 2; ++bank) {
          const RawComplex got = engine.word(bank, a);
          const RawComplex want = raw_of(oracle.word(bank, a));
          if (!same(got, want)) {
            ADD_FAILURE() << "bank " << bank << " word " << a << ": (" << got.re << ", " << got.im << "), oracle ("
                          << want.re << ", " << want.im << ")";
            ++mismatches;
          }
        }
      }
      EXPECT_EQ(engine.total_shift, oracle.total_shift);
      EXPECT_EQ(engine.overflow, oracle.overflow);
      EXPECT_EQ(engine.bfp_class, oracle.bfp_class);
    }
  }
}

}  // namespace
