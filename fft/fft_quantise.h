// Rounding of host samples onto the input grid of the core, in double
// precision, before they enter the data memory.
#pragma once

namespace zelfft {

// Nearest integer, ties to the even one.
double round_half_even(double x);

// x rounded to the nearest multiple of 2^-(bits-1), ties to even. With
// unlimited = 0 a value that would round up to +1.0 (or below -1.0) is
// truncated towards zero instead, so it stays inside the word's range.
double quantise_input(double x, int bits, int unlimited);

}  // namespace zelfft
