// Digit-by-digit square root of the CORDIC core's sqrt function, with the
// fixed register widths of the hardware (its top root bit can be lost).
#pragma once

#include <gmp.h>

#include <cstdint>

namespace cordic {

// root = square root of the radicand word m (already an integer) on a data
// path of width a = B, for DataFormat data_format and InputWidth input_width.
// a is 2 to 62 (the model's B is 5 to 54). The result is the raw root
// register (below 2^(a-1)); the engine takes it modulo 2^B and rounds it to
// OutputWidth. root may be the same integer as m.
void cordic_sqrt(mpz_t root, const mpz_t m, uint32_t a, uint32_t data_format, uint32_t input_width);
// The same for a radicand that fits 64 bits; returns the root register.
int64_t cordic_sqrt(int64_t m, uint32_t a, uint32_t data_format, uint32_t input_width);

}  // namespace cordic
