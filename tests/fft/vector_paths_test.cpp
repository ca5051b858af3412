// The vector data paths against the scalar processing elements: the same
// random engines, memories and controls run once on each, on every
// instruction set this CPU offers, and must leave identical words, overflow
// flags, block exponents and growth classes. Memories hold arbitrary words
// of their full width, so wrapping sums, overflowing stages, saturating
// rounding and every shift are met.
#include "fft_float_interface.h"
#include "fft_generics.h"
#include "fft_quantise.h"
#include "fft_simd.h"
#include "fft_simulate.h"
#include "fft_state.h"
#include "r22_pipeline.h"
#include "r2_loop.h"
#include "r4_loop.h"
#include "twiddle_rom.h"
#include "word_format.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>

namespace zelfft {
namespace {

struct Draw {
  std::mt19937_64 rng;
  int in(int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo + 1)); }
  // A word of `width` bits, mostly random, sometimes at or next to an extreme.
  int64_t word(int width) {
    const int64_t top = int64_t{1} << (width - 1);
    switch (in(0, 7)) {
      case 0: return top - 1;
      case 1: return -top;
      case 2: return in(-3, 3);
      default: return static_cast<int64_t>(rng() >> (65 - width)) * (in(0, 1) == 1 ? 1 : -1);
    }
  }
};

// Runs one transform on a vector-path engine and on a scalar one built from
// the same settings; returns a description of the first difference.
template <class Engine>
std::string compare(Draw &d, const FftSettings &s, TWIDDLE_ROM &rom, int width, Engine &fast, Engine &slow) {
  fast.use_vectors = true;
  slow.use_vectors = false;
  for (Engine *e : {&fast, &slow}) e->take_length(s);
  const uint32_t schedule = static_cast<uint32_t>(d.rng());
  const int direction = d.in(0, 1);
  const int headroom = d.in(0, 3);
  for (int a = 0; a < s.length; ++a) {
    const RawComplex w{d.word(width), d.word(width)};
    fast.datum(a) = w;
    slow.datum(a) = w;
  }
  for (Engine *e : {&fast, &slow}) {
    e->scaling_word = schedule;
    e->direction = direction;
    e->bfp_class = headroom;
    e->run(rom);
  }
  std::ostringstream why;
  for (int a = 0; a < s.length; ++a) {
    if (fast.datum(a).re != slow.datum(a).re || fast.datum(a).im != slow.datum(a).im) {
      why << "word " << a << ": " << fast.datum(a).re << "," << fast.datum(a).im << " instead of "
          << slow.datum(a).re << "," << slow.datum(a).im;
      return why.str();
    }
  }
  if (fast.overflow != slow.overflow) why << "overflow " << fast.overflow << " instead of " << slow.overflow;
  if (fast.total_shift != slow.total_shift) why << "total_shift " << fast.total_shift << " vs " << slow.total_shift;
  if (fast.bfp_class != slow.bfp_class) why << "bfp_class " << fast.bfp_class << " vs " << slow.bfp_class;
  return why.str();
}

TEST(VectorPaths, EveryTargetGivesTheScalarWords) {
  const std::vector<int64_t> targets = simd::available_targets();
  ASSERT_FALSE(targets.empty());
  for (int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    const uint64_t seed = 0x5EC7012ull;
    Draw d{std::mt19937_64(seed)};
    for (int c = 0; c < 400; ++c) {
      korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
      g.C_ARCH = d.in(1, 4);
      g.C_NFFT_MAX = d.in(g.C_ARCH == 1 ? 6 : 3, d.in(0, 5) == 0 ? 11 : 8);
      g.C_USE_FLT_PT = d.in(0, 7) == 0 ? 1 : 0;
      g.C_INPUT_WIDTH = g.C_USE_FLT_PT == 1 ? 32 : d.in(8, 34);
      g.C_TWIDDLE_WIDTH = d.in(8, 34);
      g.C_HAS_SCALING = d.in(0, 1);
      g.C_HAS_BFP = g.C_HAS_SCALING == 1 ? d.in(0, 1) : 0;
      g.C_HAS_ROUNDING = d.in(0, 1);
      FftSettings s = derive_settings(g);
      TWIDDLE_ROM rom(s.nfft_max, s.twiddle_width);
      std::ostringstream where;
      where << "target " << simd::target_name(target) << " seed " << seed << " case " << c << ": arch "
            << g.C_ARCH << " nfft_max " << g.C_NFFT_MAX << " flt " << g.C_USE_FLT_PT << " width "
            << g.C_INPUT_WIDTH << " twiddle " << g.C_TWIDDLE_WIDTH << " scaling " << g.C_HAS_SCALING << " bfp "
            << g.C_HAS_BFP << " rounding " << g.C_HAS_ROUNDING;
      // Three transforms per engine pair: lengths and directions change the
      // cached twiddle tables.
      std::string why;
      const auto transforms = [&](auto &fast, auto &slow, int width) {
        for (int t = 0; t < 3 && why.empty(); ++t) {
          fill_length_fields(s, d.in(g.C_ARCH == 1 ? 6 : 3, g.C_NFFT_MAX));
          why = compare(d, s, rom, width, fast, slow);
          if (!why.empty()) why = "nfft " + std::to_string(s.nfft) + ": " + why;
        }
      };
      if (g.C_ARCH == 1) {
        R4_loop fast(s), slow(s);
        transforms(fast, slow, s.internal_output_width);
      } else if (g.C_ARCH == 3) {
        R22_pipeline fast(s), slow(s);
        transforms(fast, slow, fast.word_width + 1);
      } else {
        R2_loop fast(s), slow(s);
        transforms(fast, slow, s.internal_output_width);
      }
      if (!why.empty()) {
        ADD_FAILURE() << where.str() << ": " << why;
        break;
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

// simulate's sample passes against the word format's own conversions, on
// lengths that leave partial vectors, with and without a reordering.
TEST(VectorPaths, SamplePassesMatchTheWordFormat) {
  for (int64_t target : simd::available_targets()) {
    hwy::SetSupportedTargetsForTest(target);
    const uint64_t seed = 0x5A3B1Eull;
    Draw d{std::mt19937_64(seed)};
    for (int c = 0; c < 200; ++c) {
      const int n = c % 4 == 0 ? 1024 : d.in(1, 37);
      const int width = d.in(8, 53);
      const int point = std::max(1, width - 1 - d.in(0, 18));
      const int grid_bits = d.in(8, 34);
      const double grid = std::ldexp(1.0, grid_bits - 1);
      std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
      const bool off_grid = d.in(0, 2) == 0;
      for (double *x : {re.data(), im.data()}) {
        for (int i = 0; i < n; ++i) {
          const double u = std::ldexp(static_cast<double>(d.rng() >> 11), -52) - 1.0;  // [-1, 1)
          x[i] = off_grid ? u : std::floor(u * grid) / grid;
        }
      }
      std::vector<int32_t> from(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) from[static_cast<size_t>(i)] = i;
      std::shuffle(from.begin(), from.end(), d.rng);
      const bool reorder = d.in(0, 1) == 1;
      const int32_t *order = reorder ? from.data() : nullptr;
      const auto sample = [&](const std::vector<double> &x, int a) {
        return x[static_cast<size_t>(reorder ? from[static_cast<size_t>(a)] : a)];
      };
      std::ostringstream where;
      where << "target " << simd::target_name(target) << " seed " << seed << " case " << c << " n " << n
            << " width " << width << " point " << point;

      // Range and grid, with an outlier now and then.
      if (d.in(0, 3) == 0) {
        const double bad[] = {1.0, -1.0000000000000002, std::numeric_limits<double>::quiet_NaN(), 7.0};
        re[static_cast<size_t>(d.in(0, n - 1))] = bad[d.in(0, 3)];
      }
      bool in_range = true, on_grid = true;
      for (double x : re) {
        in_range &= x >= -1.0 && x < 1.0;
        on_grid &= std::floor(grid * x) == grid * x;
      }
      const simd::SampleScan scan = simd::scan_samples(re.data(), n, grid);
      ASSERT_EQ(scan.in_range, in_range) << where.str();
      if (in_range) {
        ASSERT_EQ(scan.on_grid, on_grid) << where.str();
      }

      // Interleaved pairs loaded and checked in one pass, into words with m
      // more fraction bits than the grid: plain exactly when both parts are
      // in range and on the grid (an imaginary part half a step off now and
      // then), and then the words of the word format.
      {
        const int m = d.in(0, 4);
        std::vector<double> x(2 * static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) x[2 * static_cast<size_t>(i)] = re[static_cast<size_t>(i)];
        for (int i = 0; i < n; ++i) x[2 * static_cast<size_t>(i) + 1] = im[static_cast<size_t>(i)];
        if (d.in(0, 3) == 0) {
          double &v = x[2 * static_cast<size_t>(d.in(0, n - 1)) + 1];
          v = v < 0 ? v + 0.5 / grid : v - 0.5 / grid;
        }
        bool plain_want = true;
        for (double v : x) plain_want &= v >= -1.0 && v < 1.0 && std::floor(grid * v) == grid * v;
        const WordFormat pf(grid_bits + m, grid_bits - 1 + m);
        std::vector<RawComplex> pw(static_cast<size_t>(n));
        bool plain = true;
        const int64_t most = simd::load_pairs_checked(x.data(), n, std::ldexp(1.0, grid_bits - 1 + m), grid_bits + m,
                                                      pw.data(), (int64_t{1} << m) - 1, &plain);
        ASSERT_EQ(plain, plain_want) << where.str() << " m " << m;
        int64_t most_want = 0;
        for (int a = 0; plain && a < n; ++a) {
          const RawComplex w = pf.pattern(x[2 * static_cast<size_t>(a)], x[2 * static_cast<size_t>(a) + 1]);
          ASSERT_TRUE(pw[static_cast<size_t>(a)].re == w.re && pw[static_cast<size_t>(a)].im == w.im)
              << where.str() << " m " << m << " pair " << a;
          most_want = std::max({most_want, w.re ^ (w.re >> 63), w.im ^ (w.im >> 63)});
        }
        if (plain) {
          ASSERT_EQ(most, most_want) << where.str();
        }
      }
      if (!in_range) continue;

      const WordFormat f(width, point);
      std::vector<RawComplex> words(static_cast<size_t>(n));
      const int64_t largest = simd::load_words(re.data(), im.data(), n, std::ldexp(1.0, point), width, order,
                                               words.data());
      int64_t expected_largest = 0;
      for (int a = 0; a < n; ++a) {
        const RawComplex w = f.pattern(sample(re, a), sample(im, a));
        ASSERT_TRUE(words[static_cast<size_t>(a)].re == w.re && words[static_cast<size_t>(a)].im == w.im)
            << where.str() << " word " << a;
        expected_largest = std::max({expected_largest, w.re ^ (w.re >> 63), w.im ^ (w.im >> 63)});
      }
      ASSERT_EQ(largest, expected_largest) << where.str();

      const double scale = std::ldexp(1.0, -point + d.in(0, 17));
      std::vector<double> yr(static_cast<size_t>(n)), yi(static_cast<size_t>(n));
      simd::unload_words(words.data(), order, n, scale, yr.data(), yi.data());
      for (int k = 0; k < n; ++k) {
        const RawComplex &w = words[static_cast<size_t>(reorder ? from[static_cast<size_t>(k)] : k)];
        ASSERT_TRUE(yr[static_cast<size_t>(k)] == static_cast<double>(w.re) * scale &&
                    yi[static_cast<size_t>(k)] == static_cast<double>(w.im) * scale)
            << where.str() << " result " << k;
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

// The single-precision passes in lanes against the element-by-element
// passes they stand in for.
TEST(VectorPaths, SinglePassesMatchTheElementPasses) {
  for (int64_t target : simd::available_targets()) {
    hwy::SetSupportedTargetsForTest(target);
    const uint64_t seed = 0x516E7Eull;
    Draw d{std::mt19937_64(seed)};
    for (int c = 0; c < 200; ++c) {
      const int n = c % 3 == 0 ? 256 : 8 * d.in(1, 6);
      std::ostringstream where;
      where << "target " << simd::target_name(target) << " seed " << seed << " case " << c;
      // Samples: singles of random magnitudes, sometimes a special one.
      const int spread = d.in(0, 60);
      const int e0 = d.in(-120, 100);
      std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
      for (double *x : {re.data(), im.data()}) {
        for (int i = 0; i < n; ++i) {
          const double m = static_cast<double>(static_cast<float>(std::ldexp(static_cast<double>(d.rng() >> 40), -24)));
          x[i] = (d.in(0, 1) == 1 ? -m : m) * std::ldexp(1.0, e0 - d.in(0, spread));
        }
      }
      if (d.in(0, 3) == 0) {
        const double special[] = {0x1p-140, std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(), 3.4028235e38, -0.0, 1e-300};
        re[static_cast<size_t>(d.in(0, n - 1))] = special[d.in(0, 5)];
      }
      double largest = 0.0;
      if (simd::plain_single_block(re.data(), im.data(), n, &largest)) {
        std::vector<double> r2 = re, i2 = im;
        std::ostringstream err;
        const FloatBlock block = prepare_float_block(r2.data(), i2.data(), n, err);
        const double m = static_cast<double>(to_single(largest));
        ASSERT_TRUE(err.str().empty() && !block.invalid_data && r2 == re && i2 == im) << where.str();
        ASSERT_EQ(block.input_exponent, m > 0 ? floor_log2_via_log10(m) + 1 : 0) << where.str();
        const int e = block.input_exponent;
        if (e >= -62 && e <= 62) {
          const int bits = d.in(27, 29);
          const int width = d.in(bits, 51);
          const WordFormat f(width, width - 1);
          const double divide = std::ldexp(1.0, bits - width);
          std::vector<RawComplex> words(static_cast<size_t>(n));
          simd::single_words(re.data(), im.data(), n, e, bits, std::ldexp(divide / f.value(1), 1 - bits), width,
                             words.data());
          for (int i = 0; i < n; ++i) {
            const RawComplex w = f.pattern(scale_float_input(re[static_cast<size_t>(i)], e, bits) * divide,
                                           scale_float_input(im[static_cast<size_t>(i)], e, bits) * divide);
            ASSERT_TRUE(words[static_cast<size_t>(i)].re == w.re && words[static_cast<size_t>(i)].im == w.im)
                << where.str() << " word " << i;
          }
        }
      }

      // Results: fixed-point values of up to 53 bits, with zeros, powers of
      // two and their neighbours, values of 1 and more and tiny ones.
      std::vector<double> yr(static_cast<size_t>(n)), yi(static_cast<size_t>(n));
      for (double *y : {yr.data(), yi.data()}) {
        for (int i = 0; i < n; ++i) {
          const int p = d.in(20, 70);
          double v = std::ldexp(static_cast<double>(static_cast<int64_t>(d.rng() >> d.in(11, 50))), -p);
          switch (d.in(0, 9)) {
            case 0: v = 0.0; break;
            case 1: v = std::ldexp(1.0, -d.in(0, 70)); break;
            case 2: v = std::nextafter(std::ldexp(1.0, -d.in(0, 70)), 0.0); break;
            case 3: v = std::ldexp(1.0, -d.in(0, 70)) * (1.0 + 0x1p-30); break;
            default: break;
          }
          y[i] = d.in(0, 1) == 1 ? -v : v;
        }
      }
      const int t = d.in(-62, 62);
      std::vector<double> fr = yr, fi = yi;
      int overflow_fast = 0, overflow_slow = 0;
      std::vector<int32_t> pending(static_cast<size_t>(n));
      int chunk = 1;
      const int count = simd::finish_singles(fr.data(), fi.data(), n, t, pending.data(), &chunk);
      FloatBlock valid;
      for (int i = 0; i < count; ++i) {
        const int at = pending[static_cast<size_t>(i)];
        finish_float_block(fr.data() + at, fi.data() + at, chunk, valid, t, &overflow_fast);
      }
      finish_float_block(yr.data(), yi.data(), n, valid, t, &overflow_slow);
      ASSERT_EQ(overflow_fast, overflow_slow) << where.str() << " t " << t;
      const size_t bytes = sizeof(double) * static_cast<size_t>(n);
      ASSERT_EQ(std::memcmp(fr.data(), yr.data(), bytes), 0) << where.str() << " t " << t;
      ASSERT_EQ(std::memcmp(fi.data(), yi.data(), bytes), 0) << where.str() << " t " << t;
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

// Whole calls: simulate on a state whose engine runs the vector paths and
// on one whose engine runs the scalar processing elements, with the same
// blocks (on the grid, off it, single precision), on every instruction set.
TEST(VectorPaths, SimulateGivesTheScalarResults) {
  for (int64_t target : simd::available_targets()) {
    hwy::SetSupportedTargetsForTest(target);
    const uint64_t seed = 0x51AA7Eull;
    Draw d{std::mt19937_64(seed)};
    for (int c = 0; c < 150; ++c) {
      korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
      g.C_ARCH = d.in(1, 4);
      g.C_NFFT_MAX = d.in(g.C_ARCH == 1 ? 7 : 3, 10);
      g.C_HAS_NFFT = 1;
      g.C_USE_FLT_PT = d.in(0, 3) == 0 ? 1 : 0;
      g.C_INPUT_WIDTH = g.C_USE_FLT_PT == 1 ? 32 : d.in(8, 34);
      g.C_TWIDDLE_WIDTH = d.in(8, 34);
      g.C_HAS_SCALING = d.in(0, 1);
      g.C_HAS_BFP = g.C_HAS_SCALING == 1 ? d.in(0, 1) : 0;
      g.C_HAS_ROUNDING = d.in(0, 1);
      std::unique_ptr<korvane_ip_zelfft_v9_0_state> fast = assemble_state(g), slow = assemble_state(g);
      if (auto *e = dynamic_cast<R4_loop *>(slow->r4_engine.get())) e->use_vectors = false;
      if (auto *e = dynamic_cast<R2_loop *>(slow->r2_engine.get())) e->use_vectors = false;
      if (auto *e = dynamic_cast<R22_pipeline *>(slow->r22_engine.get())) e->use_vectors = false;
      for (int call = 0; call < 3; ++call) {
        const int nfft = d.in(g.C_ARCH == 1 ? 6 : 3, g.C_NFFT_MAX);
        const int n = 1 << nfft;
        const double lsb = std::ldexp(1.0, 1 - (g.C_USE_FLT_PT == 1 ? 24 : g.C_INPUT_WIDTH));
        const bool off_grid = d.in(0, 4) == 0;
        std::vector<double> x(2 * static_cast<size_t>(n));
        for (double &v : x) {
          const int64_t w = d.word(g.C_USE_FLT_PT == 1 ? 24 : g.C_INPUT_WIDTH);
          v = static_cast<double>(w) * lsb + (off_grid ? lsb * 0.3 : 0.0);
          if (v >= 1.0) v = 1.0 - lsb;
          if (g.C_USE_FLT_PT == 1) v = std::ldexp(v, d.in(-40, 40));
        }
        std::vector<int32_t> sch(static_cast<size_t>(g.C_ARCH == 1 || g.C_ARCH == 3 ? (nfft + 1) / 2 : nfft));
        for (int32_t &v : sch) v = d.in(0, 3);
        if ((g.C_ARCH == 1 || g.C_ARCH == 3) && (nfft & 1) == 1) sch.back() &= 1;
        const int direction = d.in(0, 1);
        double results[2][4][1024];
        int codes[2], exps[2], flags[2];
        std::string said[2];
        for (int k = 0; k < 2; ++k) {
          std::vector<double> xin = x;  // single-precision calls may rewrite samples
          korvane_ip_zelfft_v9_0_inputs in{nfft, xin.data(), n, xin.data() + n, n, sch.data(),
                                           static_cast<int32_t>(sch.size()), direction};
          korvane_ip_zelfft_v9_0_outputs out{results[k][0], n, results[k][1], n, 0, 0};
          std::ostringstream err;
          codes[k] = simulate(k == 0 ? fast.get() : slow.get(), in, &out, err);
          std::memcpy(results[k][2], xin.data(), sizeof(double) * static_cast<size_t>(n));
          std::memcpy(results[k][3], xin.data() + n, sizeof(double) * static_cast<size_t>(n));
          exps[k] = out.block_exp;
          flags[k] = out.overflow;
          said[k] = err.str();
        }
        const bool same = codes[0] == codes[1] && exps[0] == exps[1] && flags[0] == flags[1] && said[0] == said[1] &&
                          std::memcmp(results[0][0], results[1][0], sizeof(double) * static_cast<size_t>(n)) == 0 &&
                          std::memcmp(results[0][1], results[1][1], sizeof(double) * static_cast<size_t>(n)) == 0 &&
                          std::memcmp(results[0][2], results[1][2], sizeof(double) * static_cast<size_t>(n)) == 0 &&
                          std::memcmp(results[0][3], results[1][3], sizeof(double) * static_cast<size_t>(n)) == 0;
        ASSERT_TRUE(same) << "target " << simd::target_name(target) << " seed " << seed << " case " << c
                          << " call " << call << ": arch " << g.C_ARCH << " nfft " << nfft << " flt "
                          << g.C_USE_FLT_PT << " width " << g.C_INPUT_WIDTH << " twiddle " << g.C_TWIDDLE_WIDTH
                          << " scaling " << g.C_HAS_SCALING << " bfp " << g.C_HAS_BFP << " rounding "
                          << g.C_HAS_ROUNDING << ": codes " << codes[0] << "/" << codes[1] << " block_exp "
                          << exps[0] << "/" << exps[1] << " overflow " << flags[0] << "/" << flags[1];
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
}  // namespace zelfft
