// The single-precision data interface of the core. The hardware takes IEEE
// single-precision samples, normalises the whole block by one power of two,
// runs a fixed-point mantissa path (a block-floating-point burst core, or an
// unscaled pipelined core), then rounds every result back to a 24-bit
// significand and restores the block's scale.
#pragma once

#include <ostream>

namespace zelfft {

// The largest single-precision magnitude, as a double.
inline constexpr double kSingleMax = 3.4028234663852886e38;

// The exponent given to a block whose largest magnitude is infinite: it
// makes scale_float_input multiply by zero.
inline constexpr int kInfiniteBlockExponent = -2147483647;

// A double rounded to single precision (nearest, ties to even), with the
// out-of-range cases spelt out: converting a double beyond the float range
// is undefined behaviour in C++, while the hardware gives an infinity above
// the midpoint between the largest value and 2^128 and the largest value below.
float to_single(double x);

// The quiet NaN whose single-precision pattern is 7FFFFFFF, widened to
// double (pattern 7FFFFFFFE0000000): what every result of an invalid block is.
double invalidation_nan();

// Whether a double lies beyond the single-precision range without rounding
// to an infinity there: such a sample is refused at the interface.
bool outside_single_range(double x);

// What the input pass learns about a block.
struct FloatBlock {
  bool invalid_data = false;  // some sample is an infinity or a NaN
  int input_exponent = 0;     // the block's largest magnitude / 2^input_exponent lies in [0.5, 1)
};

// The input pass over a block that passed every check: subnormal samples are
// overwritten by +0.0 in the caller's arrays (with a warning each), infinities
// and NaNs are flagged (one warning per part), and the common exponent is found.
FloatBlock prepare_float_block(double *re, double *im, int n, std::ostream &err);

// x / 2^e in single precision (in steps of at most 2^62, so the divisor never
// overflows), then rounded to `bits` bits, ties to even, without limiting.
double scale_float_input(double x, int e, int bits);

// The output pass: rounds every result to a 24-bit significand, multiplies by
// 2^t (t: the scale to restore), turns magnitudes beyond the single range
// into their single-precision value (setting *overflow), or makes every
// result the invalidation NaN, with *overflow 0, when the block was invalid.
void finish_float_block(double *re, double *im, int n, const FloatBlock &block, int t, int *overflow);

}  // namespace zelfft
