// Test support for the radix-4 and pipelined engines: an independent
// long-double transform, random input blocks on the input grid, settings
// records for a configuration, and the load/run/unload sequence the core's
// interface applies to each engine (so that an engine can be driven
// directly, white box).
#pragma once

#include "fft_generics.h"
#include "fft_settings.h"
#include "fixed_registers.h"
#include "r22_pipeline.h"
#include "r4_loop.h"
#include "twiddle_rom.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace r4r22 {

using Cplx = std::complex<long double>;

// X[k] = sum_n x[n] e^{-j 2 pi n k / N} (forward, direction 1) or with +j
// (inverse, direction 0), by recursive halving in long double.
inline std::vector<Cplx> reference_transform(const std::vector<Cplx> &x, int direction) {
  const size_t n = x.size();
  if (n == 1) return x;
  std::vector<Cplx> even(n / 2), odd(n / 2);
  for (size_t i = 0; i < n / 2; ++i) {
    even[i] = x[2 * i];
    odd[i] = x[2 * i + 1];
  }
  const std::vector<Cplx> e = reference_transform(even, direction);
  const std::vector<Cplx> o = reference_transform(odd, direction);
  const long double sign = direction == 1 ? -1.0L : 1.0L;
  const long double two_pi = 6.283185307179586476925286766559L;
  std::vector<Cplx> out(n);
  for (size_t k = 0; k < n / 2; ++k) {
    const long double angle = sign * two_pi * static_cast<long double>(k) / static_cast<long double>(n);
    const Cplx t = std::polar(1.0L, angle) * o[k];
    out[k] = e[k] + t;
    out[k + n / 2] = e[k] - t;
  }
  return out;
}

struct Core {
  int arch = 1;
  int nfft_max = 10;
  int nfft = 10;
  int input_width = 16;
  int twiddle_width = 16;
  int scaling = 1;
  int bfp = 0;
  int rounding = 0;
  int flt = 0;
};

// The settings record create_state and simulate would fill for this core
// and transform length.
inline zelfft::FftSettings settings_for(const Core &c) {
  korvane_ip_zelfft_v9_0_generics g = zelfft::default_generics();
  g.C_NFFT_MAX = c.nfft_max;
  g.C_ARCH = c.arch;
  g.C_HAS_NFFT = c.nfft != c.nfft_max ? 1 : 0;
  g.C_USE_FLT_PT = c.flt;
  g.C_INPUT_WIDTH = c.flt ? 32 : c.input_width;
  g.C_TWIDDLE_WIDTH = c.twiddle_width;
  g.C_HAS_SCALING = c.scaling;
  g.C_HAS_BFP = c.bfp;
  g.C_HAS_ROUNDING = c.rounding;
  zelfft::FftSettings s = zelfft::derive_settings(g);
  s.length = 1 << c.nfft;
  s.nfft = c.nfft;
  s.odd_nfft = c.nfft & 1;
  s.r4_stages = c.nfft >> 1;
  s.r4_length = (c.nfft & 1) == 0 ? s.length : s.length / 2;
  s.r4_address_mask = (s.r4_length >> 2) - 1;
  return s;
}

struct Block {
  std::vector<double> re, im;
  std::vector<Cplx> as_complex() const {
    std::vector<Cplx> x(re.size());
    for (size_t i = 0; i < re.size(); ++i) x[i] = Cplx(re[i], im[i]);
    return x;
  }
};

// N samples on the grid of `bits`-bit inputs, uniform in [-amplitude, amplitude).
inline Block random_block(int nfft, int bits, double amplitude, uint64_t seed) {
  std::mt19937_64 gen(seed);
  const double scale = std::ldexp(1.0, bits - 1);
  const int64_t top = static_cast<int64_t>(std::floor(amplitude * scale));
  std::uniform_int_distribution<int64_t> dist(-top, top - 1);
  Block b;
  for (int i = 0; i < (1 << nfft); ++i) {
    b.re.push_back(static_cast<double>(dist(gen)) / scale);
    b.im.push_back(static_cast<double>(dist(gen)) / scale);
  }
  return b;
}

// The engines hold their words as raw patterns. These helpers store and read
// them through ZelFix words of the format the engine's memory has (signed,
// truncation, wrap), so the loading is checked against the ZelFix rules.
inline zelfft::ZelComplex zelfix_word(int width, int point) {
  return zelfft::ZelComplex(width, point, zel::Signed, zel::Truncate, zel::Wrap);
}

// Assigns (re, im) to a ZelFix word and stores its patterns; returns the
// word's sign headroom as the ZelFix word measures it.
inline int store_word(zelfft::RawComplex &word, int width, int point, double re, double im) {
  zelfft::ZelComplex w = zelfix_word(width, point);
  w.set(re, im);
  word = {zelfft::raw::pattern_of(w.real()), zelfft::raw::pattern_of(w.imag())};
  return zelfft::FFT::sign_headroom(w);
}

inline std::pair<double, double> read_word(const zelfft::RawComplex &word, int width, int point) {
  zelfft::ZelComplex w = zelfix_word(width, point);
  zelfft::raw::set_pattern(w.real(), word.re);
  zelfft::raw::set_pattern(w.imag(), word.im);
  return {w.real().toDouble(), w.imag().toDouble()};
}

struct Words {
  std::vector<double> re, im;  // X[k] as the engine's words hold it, natural order
  int total_shift = 0;
  int overflow = 0;
};

inline uint32_t pack_schedule(const std::vector<int> &schedule) {
  uint32_t word = 0;
  for (auto it = schedule.rbegin(); it != schedule.rend(); ++it) word = word * 4u + static_cast<uint32_t>(*it);
  return word;
}

// The radix-4 engine's loading: sample n at logical address digit_reverse(n)
// (bank digit_sum & 3); the smallest input headroom goes to bfp_class; X[k]
// read back at logical address k.
inline Words run_radix4(zelfft::R4_loop &e, zelfft::TWIDDLE_ROM &rom, const zelfft::FftSettings &s, const Block &x,
                        int direction, uint32_t scaling_word) {
  const int n = s.length;
  const double divide = s.has_scaling == 0 ? std::ldexp(1.0, s.internal_input_width - s.internal_output_width) : 1.0;
  const int bo = s.internal_output_width;  // words (Bo, Bo-1)
  e.take_length(s);
  e.bfp_class = 32;
  for (int i = 0; i < n; ++i) {
    const int a = e.digit_reverse(i);
    const int word = s.odd_nfft == 0 ? (a & e.r4_address_mask) : ((a >> 2) & (n / 8)) + (a & (n / 8 - 1));
    const int headroom = store_word(e.word(e.digit_sum(a) & 3, word), bo, bo - 1,
                                    x.re[static_cast<size_t>(i)] * divide, x.im[static_cast<size_t>(i)] * divide);
    e.bfp_class = std::min<int32_t>(e.bfp_class, headroom);
  }
  e.scaling_word = scaling_word;
  e.direction = direction;
  e.run(rom);
  e.r4_address_mask = s.r4_address_mask;
  Words out;
  for (int k = 0; k < n; ++k) {
    const auto [re, im] =
        read_word(e.word(e.digit_sum(k) & 3, ((s.r4_length >> 2) & (k >> 2)) + (e.r4_address_mask & k)), bo, bo - 1);
    out.re.push_back(re);
    out.im.push_back(im);
  }
  out.total_shift = e.total_shift;
  out.overflow = e.overflow;
  return out;
}

// The pipelined engine's loading: sample n at word n, divided by
// 2^(word_width - internal_input_width) for the unscaled and block-floating-
// point cores; X[k] read back at word bit_reverse(k).
inline Words run_pipelined(zelfft::R22_pipeline &e, zelfft::TWIDDLE_ROM &rom, const zelfft::FftSettings &s,
                           const Block &x, int direction, uint32_t scaling_word) {
  const int n = s.length;
  const bool widened = s.has_scaling == 0 || s.has_bfp == 1;
  const double divide = widened ? std::ldexp(1.0, s.internal_input_width - e.word_width) : 1.0;
  const int bm = e.word_width;  // words (Bm+1, Bm-1)
  e.take_length(s);
  for (int i = 0; i < n; ++i) {
    store_word(e.word(0, i), bm + 1, bm - 1, x.re[static_cast<size_t>(i)] * divide, x.im[static_cast<size_t>(i)] * divide);
  }
  e.scaling_word = scaling_word;
  e.direction = direction;
  e.run(rom);
  Words out;
  for (int k = 0; k < n; ++k) {
    const auto [re, im] = read_word(e.word(0, e.bit_reverse(k)), bm + 1, bm - 1);
    out.re.push_back(re);
    out.im.push_back(im);
  }
  out.total_shift = e.total_shift;
  out.overflow = e.overflow;
  return out;
}

// Largest distance between the words, times `scale`, and the reference.
inline long double max_error(const Words &w, const std::vector<Cplx> &ref, long double scale) {
  long double worst = 0;
  for (size_t k = 0; k < ref.size(); ++k) {
    worst = std::max(worst, std::fabs(static_cast<long double>(w.re[k]) * scale - ref[k].real()));
    worst = std::max(worst, std::fabs(static_cast<long double>(w.im[k]) * scale - ref[k].imag()));
  }
  return worst;
}

// Bound on the largest part error of an engine's words when the shift of
// every stage is known. Error and data sizes are complex moduli. Each stage
// passes the error it received on grown by its radix and divided by 2^shift,
// and adds its own: two LSBs of product rounding and output quantisation,
// and the error of its (radix - 1) twiddles (2^-TW in each part) on data of
// the size it received.
struct Stage {
  int radix;
  int shift;
};

inline long double word_error_bound(const std::vector<Stage> &stages, int word_width, int twiddle_width,
                                    long double input_part_peak) {
  const long double root2 = std::sqrt(2.0L);
  const long double lsb = std::ldexp(1.0L, 1 - word_width);
  const long double twiddle_error = root2 * std::ldexp(1.0L, -twiddle_width);
  long double error = 0;
  long double size = root2 * input_part_peak;
  for (const Stage &st : stages) {
    const long double gain = st.radix / std::ldexp(1.0L, st.shift);
    error = gain * error + root2 * 2 * lsb + (st.radix - 1) * size * twiddle_error / std::ldexp(1.0L, st.shift);
    size *= gain;
  }
  return error;
}

// A schedule that keeps the block's size: log2 of each stage's radix. The
// radix-4 and pipelined schedules have one entry per stage pair (2) and one
// for a lone radix-2 stage (1); the radix-2 schedule one per stage (1).
inline std::vector<int> unit_gain_schedule(int arch, int nfft) {
  if (arch == 2) return std::vector<int>(static_cast<size_t>(nfft), 1);
  std::vector<int> s(static_cast<size_t>(nfft / 2), 2);
  if (nfft % 2 == 1) s.push_back(1);
  return s;
}

// The error model's stages for an architecture: radix-2 stages for the
// radix-2 engine; radix-4 stages, or stage pairs (whose -j rotation and
// first sums are exact), as radix-4 steps otherwise, and a lone radix-2 step
// for an odd length. Shifts from the schedule, or none.
inline std::vector<Stage> stages_of(int arch, int nfft, const std::vector<int> &schedule) {
  std::vector<Stage> st;
  const auto shift = [&](int i) { return schedule.empty() ? 0 : schedule[static_cast<size_t>(i)]; };
  if (arch == 2) {
    for (int i = 0; i < nfft; ++i) st.push_back({2, shift(i)});
    return st;
  }
  for (int i = 0; i < nfft / 2; ++i) st.push_back({4, shift(i)});
  if (nfft % 2 == 1) st.push_back({2, shift(nfft / 2)});
  return st;
}

// One randomised case of an engine test.
struct Case {
  int nfft_max, nfft, input_width, twiddle_width;
  int scaling, bfp, rounding, direction;
  std::string describe() const {
    return "nfft_max " + std::to_string(nfft_max) + " nfft " + std::to_string(nfft) + " widths " +
           std::to_string(input_width) + "/" + std::to_string(twiddle_width) + " scaling " + std::to_string(scaling) +
           " bfp " + std::to_string(bfp) + " rounding " + std::to_string(rounding) + " direction " +
           std::to_string(direction);
  }
};

// Every length from `first` to `last` in each scaling mode, rounding and
// direction, with a rotating choice of widths and, for every third case, a
// maximum length one above the run-time length.
inline std::vector<Case> sweep(int first, int last, const std::vector<std::pair<int, int>> &widths) {
  std::vector<Case> cases;
  size_t pick = 0;
  for (int nfft = first; nfft <= last; ++nfft) {
    for (int mode = 0; mode < 3; ++mode) {
      for (int rounding = 0; rounding <= 1; ++rounding) {
        for (int direction = 0; direction <= 1; ++direction) {
          const auto [iw, tw] = widths[pick % widths.size()];
          const int nfft_max = nfft + (pick % 3 == 2 && nfft < 16 ? 1 : 0);
          ++pick;
          cases.push_back({nfft_max, nfft, iw, tw, mode == 0 ? 0 : 1, mode == 2 ? 1 : 0, rounding, direction});
        }
      }
    }
  }
  return cases;
}

// Root-mean-square distance of the scaled words from the reference,
// relative to the reference's own root-mean-square size.
inline long double relative_rms_error(const Words &w, const std::vector<Cplx> &ref, long double scale) {
  long double noise = 0, signal = 0;
  for (size_t k = 0; k < ref.size(); ++k) {
    const Cplx got(static_cast<long double>(w.re[k]) * scale, static_cast<long double>(w.im[k]) * scale);
    noise += std::norm(got - ref[k]);
    signal += std::norm(ref[k]);
  }
  return std::sqrt(noise / signal);
}

inline long double peak(const std::vector<Cplx> &ref) {
  long double p = 0;
  for (const Cplx &c : ref) p = std::max({p, std::fabs(c.real()), std::fabs(c.imag())});
  return p;
}

}  // namespace r4r22
