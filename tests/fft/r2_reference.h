// Independent models for the FFT tests: a long-double FFT, and a bit-exact
// model of the radix-2 burst core written directly on 128-bit integers (no
// fixed-point classes, no banks: logical addresses only), so that the engine
// can be compared with it word for word.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace r2ref {

using i128 = __int128;
using u128 = unsigned __int128;

// Two's-complement wrap of v to `width` bits (width <= 126).
inline i128 wrap(i128 v, int width) {
  const u128 m = u128{1} << width;
  const u128 u = static_cast<u128>(v) & (m - 1);
  return (u >> (width - 1)) != 0 ? static_cast<i128>(u) - static_cast<i128>(m) : static_cast<i128>(u);
}

// Bit i of v as a two's-complement pattern; positions below 0 read as 0.
inline int bit(i128 v, int i) { return i < 0 ? 0 : static_cast<int>((v >> i) & 1); }

// Twiddle table of the core: quarter wave, round half to even at TW-1
// fractional bits; the other quadrants by symmetry.
struct Twiddles {
  int nmax_log;
  std::vector<int64_t> c, s;
  Twiddles(int nfft_max, int tw) : nmax_log(nfft_max) {
    const int q = 1 << (nfft_max - 2);
    for (int k = 0; k <= q; ++k) {
      const double angle = (static_cast<double>(k) * 6.283185307179586) / std::ldexp(1.0, nfft_max);
      c.push_back(static_cast<int64_t>(std::nearbyint(std::ldexp(std::cos(angle), tw - 1))));
      s.push_back(static_cast<int64_t>(std::nearbyint(std::ldexp(std::sin(angle), tw - 1))));
    }
  }
  // e^{+j 2 pi e / 2^nfft_max} in units of 2^-(TW-1).
  void at(int64_t e, int64_t &re, int64_t &im) const {
    const int n = nmax_log;
    const int64_t q = int64_t{1} << (n - 2);
    const int64_t a = e & ((int64_t{1} << n) - 1);
    const int quadrant = static_cast<int>(a >> (n - 2));
    int64_t r = a & (q - 1);
    if (quadrant & 1) r = q - r;
    re = (quadrant == 0 || quadrant == 3) ? c[r] : -c[r];
    im = quadrant >= 2 ? -s[r] : s[r];
  }
};

struct Config {
  int nfft_max = 10;
  int nfft = 10;
  int input_width = 16;
  int twiddle_width = 16;
  bool scaling = true;
  bool bfp = false;
  bool rounding = false;
  int direction = 1;
  std::vector<int> schedule;  // one shift per stage (schedule scaling only)

  int word_width() const { return input_width + (scaling ? 0 : nfft_max + 1); }
};

struct Result {
  std::vector<i128> re, im;  // X[k] in units of 2^-(Bo-1), natural order
  std::vector<int> shifts;   // the shift applied by each stage
  int total_shift = 0;
  bool overflow = false;
};

// Sign headroom of a Bo-bit word: bits Bo-2 .. Bo-4 equal to the sign.
inline int headroom(i128 v, int bo) {
  const int sign = bit(v, bo - 1);
  int h = 0;
  for (int pos = bo - 2; pos >= bo - 4; --pos) {
    if (bit(v, pos) != sign) break;
    ++h;
  }
  return h;
}

// Growth class of a Bo-bit word, measured on its top 8 bits (7 fractional).
inline int growth_class(i128 v, int bo) {
  const i128 p = wrap(v >> (bo - 8), 8);  // 1/128 units, floored
  if (p >= -53 && p < 53) return 0;
  if (p >= -106 && p < 106) return 1;
  return 2;
}

// Inputs are integers in units of 2^-(input_width-1), natural order.
inline Result run(const Config &cfg, const std::vector<int64_t> &xr, const std::vector<int64_t> &xi) {
  const int n_log = cfg.nfft;
  const int n = 1 << n_log;
  const int bo = cfg.word_width();
  const int tw = cfg.twiddle_width;
  const int64_t nmax = int64_t{1} << cfg.nfft_max;
  const int64_t step = nmax / n;
  const Twiddles rom(cfg.nfft_max, tw);
  const i128 round_constant = (i128{1} << (tw - 5)) - 1;

  auto bit_reverse = [&](int v) {
    int r = 0;
    for (int i = 0; i < n_log; ++i) r = (r << 1) | ((v >> i) & 1);
    return r;
  };
  // Words keep the input's integer: an unscaled core divides by 2^(Bo-Bi)
  // what its finer grid multiplies back.
  std::vector<i128> mr(n), mi(n);
  int min_headroom = 32;
  for (int i = 0; i < n; ++i) {
    mr[bit_reverse(i)] = xr[i];
    mi[bit_reverse(i)] = xi[i];
    min_headroom = std::min({min_headroom, headroom(xr[i], bo), headroom(xi[i], bo)});
  }

  // Output quantisation from 2^-(Bo+5) units to Bo-bit words.
  auto quantise = [&](i128 v) {
    const int d = 6;
    i128 q = v >> d;
    if (cfg.rounding) {
      const bool half = bit(v, d - 1) == 1;
      const bool rest = (v & ((i128{1} << (d - 1)) - 1)) != 0;
      const bool up = half && (bit(q, 0) == 1 || rest);
      const bool largest = wrap(q, bo) == (i128{1} << (bo - 1)) - 1;
      if (up && !largest) q += 1;
    }
    return wrap(q, bo);
  };

  Result res;
  int cls = std::max(1 - min_headroom, 0);
  const i128 unit = i128{1} << (bo + 5);
  for (int s = 0; s < n_log; ++s) {
    const int shift = !cfg.scaling ? 0 : (cfg.bfp ? cls : cfg.schedule[s]);
    res.shifts.push_back(shift);
    res.total_shift += shift;
    cls = 0;
    const int low = (1 << s) - 1;
    for (int b = 0; b < n / 2; ++b) {
      const int a0 = ((b & ~low) << 1) | (b & low);
      const int a1 = a0 + (1 << s);
      int64_t e = static_cast<int64_t>(b & low) * (int64_t{1} << (n_log - 1 - s)) * step;
      if (cfg.direction == 1) e = (nmax - e) & (nmax - 1);
      int64_t wr, wi;
      rom.at(e, wr, wi);
      // t = x1 * w rounded to Bo+2 fractional bits, ties toward minus infinity.
      const i128 pr = wrap(wrap(mr[a1] * wr - mi[a1] * wi, bo + tw + 2) + round_constant, bo + tw + 2);
      const i128 pi = wrap(wrap(mr[a1] * wi + mi[a1] * wr, bo + tw + 2) + round_constant, bo + tw + 2);
      const i128 tr = wrap(pr >> (tw - 4), bo + 4);
      const i128 ti = wrap(pi >> (tw - 4), bo + 4);
      const i128 x0r = mr[a0] << 3, x0i = mi[a0] << 3;
      const i128 sums[2][2] = {{wrap(x0r + tr, bo + 5), wrap(x0i + ti, bo + 5)},
                               {wrap(x0r - tr, bo + 5), wrap(x0i - ti, bo + 5)}};
      i128 out[2][2];
      for (int k = 0; k < 2; ++k) {
        for (int part = 0; part < 2; ++part) {
          const i128 scaled = wrap(sums[k][part] << 3, bo + 8) >> shift;  // 2^-(Bo+5) units, exact
          if (scaled >= unit || scaled < -unit) res.overflow = true;
          out[k][part] = quantise(scaled);
        }
      }
      mr[a0] = out[0][0];
      mi[a0] = out[0][1];
      mr[a1] = out[1][0];
      mi[a1] = out[1][1];
      for (int k = 0; k < 2; ++k) cls = std::max({cls, growth_class(out[k][0], bo), growth_class(out[k][1], bo)});
    }
  }
  res.re = mr;
  res.im = mi;
  return res;
}

// X[k] = sum x[n] e^{-+j 2 pi n k / N} (forward: minus) in long double, by
// radix-2 recursion.
inline void fft(std::vector<long double> &xr, std::vector<long double> &xi, int direction) {
  const size_t n = xr.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bitv = n >> 1;
    for (; j & bitv; bitv >>= 1) j ^= bitv;
    j ^= bitv;
    if (i < j) {
      std::swap(xr[i], xr[j]);
      std::swap(xi[i], xi[j]);
    }
  }
  const long double sign = direction == 1 ? -1.0L : 1.0L;
  const long double two_pi = 6.283185307179586476925286766559L;
  for (size_t len = 2; len <= n; len <<= 1) {
    for (size_t i = 0; i < n; i += len) {
      for (size_t k = 0; k < len / 2; ++k) {
        const long double angle = sign * two_pi * static_cast<long double>(k) / static_cast<long double>(len);
        const long double c = std::cos(angle), s = std::sin(angle);
        const long double br = xr[i + k + len / 2] * c - xi[i + k + len / 2] * s;
        const long double bi = xr[i + k + len / 2] * s + xi[i + k + len / 2] * c;
        xr[i + k + len / 2] = xr[i + k] - br;
        xi[i + k + len / 2] = xi[i + k] - bi;
        xr[i + k] += br;
        xi[i + k] += bi;
      }
    }
  }
}

}  // namespace r2ref
