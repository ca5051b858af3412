// The single width-reduction routine of the CORDIC core.
#pragma once

#include <gmp.h>

#include <cstdint>

// Reduces v, held with in_len bits, to out_len bits by mode (RoundMode):
//   0 truncate (floor), 1 ties toward +inf, 2 ties away from zero,
//   3 nearest; a non-negative tie goes to even, a negative tie to odd.
// Equal widths copy v for any mode. Widening writes a diagnostic line to
// stderr and leaves out unchanged, as does an unknown mode. The result is
// neither wrapped nor saturated. out and v may be the same integer.
void rnd_slv_mpz(mpz_t out, const mpz_t v, uint32_t in_len, uint32_t out_len, uint32_t mode);
