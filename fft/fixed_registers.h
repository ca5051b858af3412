// The raw register arithmetic the processing elements of all three engines
// share.
//
// The data path registers are signed fixed-point words of at most 60 bits
// (products at most 88), so the processing elements hold each register as its
// two's-complement pattern in a native integer (value = pattern / 2^point)
// rather than as a ZelFix. Every store into a register applies that
// register's rule exactly as a ZelFix assignment would: the bits are aligned
// at the binary point and floored, optionally rounded half to even with the
// "safe" guard, and cut to the register width (wrap). The engine memories
// hold their words the same way (word_format.h).
#pragma once

#include "zel_complex.h"
#include "zel_fix.h"

#include <cstdint>
#include <vector>

namespace zelfft {

class TWIDDLE_ROM;

// A complex register as its two patterns; the point belongs to the register.
struct RawComplex {
  int64_t re = 0;
  int64_t im = 0;
};

namespace raw {

using Wide = __int128;

// Store into a wrapping register of `width` bits (1..64): the low bits, read
// as a two's-complement number.
inline int64_t wrap(int64_t v, int width) {
  const int up = 64 - width;
  return static_cast<int64_t>(static_cast<uint64_t>(v) << up) >> up;
}

inline Wide wrap(Wide v, int width) {
  const int up = 128 - width;
  return static_cast<Wide>(static_cast<unsigned __int128>(v) << up) >> up;
}

// Store of v, which has `drop` more fraction bits than the register, into a
// register of `width` bits. Truncation floors. ConvergentSafe rounds half to
// even but never rounds the largest positive pattern (0 followed by ones) up
// into the sign; that guard applies because in every store of these engines
// the register has no more integer bits than its source.
inline int64_t store(int64_t v, int drop, int width, bool convergent) {
  if (drop <= 0) return wrap(static_cast<int64_t>(static_cast<uint64_t>(v) << -drop), width);
  const int64_t kept = v >> drop;
  if (convergent) {
    const int64_t below_half = (int64_t{1} << (drop - 1)) - 1;
    const bool half = ((v >> (drop - 1)) & 1) != 0;
    const bool up = half && ((kept & 1) != 0 || (v & below_half) != 0);
    const int64_t largest = (int64_t{1} << (width - 1)) - 1;
    if (up && wrap(kept, width) != largest) return wrap(kept + 1, width);
  }
  return wrap(kept, width);
}

// The twiddle product path: x times w, plus the rounding constant, floored by
// `drop` bits into a register of `width` bits (a product register of
// `product_width` bits holds the two intermediate values). The constant is
// one less than half a unit of the result, so the product is rounded to
// nearest with ties toward minus infinity.
//
// Product is the integer the sums of products are formed in: Wide always
// holds them; int64_t does when |x| <= 2^(a-1) and |w| <= 2^b with a + b <= 62
// (then every partial result, and the product register itself, fits).
template <class Product = Wide>
inline RawComplex round_product(const RawComplex &x, const RawComplex &w, int product_width, int64_t round_constant,
                                int drop, int width) {
  const Product re = wrap(static_cast<Product>(x.re) * w.re - static_cast<Product>(x.im) * w.im, product_width);
  const Product im = wrap(static_cast<Product>(x.re) * w.im + static_cast<Product>(x.im) * w.re, product_width);
  const Product re_biased = wrap(re + round_constant, product_width);
  const Product im_biased = wrap(im + round_constant, product_width);
  return {wrap(static_cast<int64_t>(re_biased >> drop), width), wrap(static_cast<int64_t>(im_biased >> drop), width)};
}

// True when pattern v at `point` fraction bits lies outside [-1, 1).
inline bool outside_unit(int64_t v, int point) {
  const int64_t one = int64_t{1} << point;
  return v >= one || v < -one;
}

// The pattern of a signed ZelFix of at most 64 bits (a NaN holds pattern 0).
int64_t pattern_of(const zel::ZelFix &value);

// Assigns pattern / 2^point to a ZelFix in that format (exact).
void set_pattern(zel::ZelFix &value, int64_t pattern);

// The twiddles of one transform of `length` points as patterns (TW-1
// fraction bits): entry k is lookup(k * step), step = 2^nfft_max / length,
// for an inverse transform and its conjugate lookup(2^nfft_max - k * step)
// for a forward one. Every exponent an engine uses is such a multiple.
void load_twiddles(const TWIDDLE_ROM &rom, int nfft_max, int length, int direction, std::vector<RawComplex> &table);

}  // namespace raw

}  // namespace zelfft
