// Rounding of host samples onto the input grid of the core, in double
// precision, before they enter the data memory, and the exact power-of-two
// helpers of the sample passes.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace zelfft {

// 2^k, exactly as std::ldexp(1.0, k) gives it (built from its bits within
// the normal range).
inline double power_of_two(int k) {
  if (k < -1022 || k > 1023) return std::ldexp(1.0, k);
  return std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52);
}

// The same in single precision, as std::ldexp(1.0f, k).
inline float power_of_two_single(int k) {
  if (k < -126 || k > 127) return std::ldexp(1.0f, k);
  return std::bit_cast<float>(static_cast<uint32_t>(k + 127) << 23);
}

// Nearest integer, ties to the even one; an infinity or a NaN comes back
// as it is.
double round_half_even(double x);

// x rounded to the nearest multiple of 2^-(bits-1), ties to even. With
// unlimited = 0 a value that would round up to +1.0 (or below -1.0) is
// truncated towards zero instead, so it stays inside the word's range.
double quantise_input(double x, int bits, int unlimited);

// floor(log10(v) / log10(2.0)) for a finite v > 0, bit for bit as that
// double expression evaluates: the exponent rule of the floating-point
// passes.
int floor_log2_via_log10(double v);

}  // namespace zelfft
