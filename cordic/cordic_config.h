// Checking of a CORDIC configuration record and the two parameters derived
// from it: the micro-rotation count N and the internal data-path width B.
#pragma once

#include "solvine.h"

#include <cstdint>

namespace cordic {

// CordicFunction codes.
enum Function : uint32_t {
  kRotate = 0,
  kTranslate = 1,
  kSinCos = 2,
  kAtan = 3,
  kSinhCosh = 4,
  kAtanh = 5,
  kSqrt = 6,
};

// RoundMode codes (the modes of rnd_slv_mpz).
enum RoundMode : uint32_t {
  kTruncate = 0,
  kRoundHalfUp = 1,
  kRoundHalfAway = 2,
  kRoundNearest = 3,
};

// Vectoring mode (translate, atan, atanh) drives y to zero; the others rotate.
bool is_vectoring(uint32_t function);
// sinh_cosh and atanh run in hyperbolic coordinates.
bool is_hyperbolic(uint32_t function);

// Checks the fields in their fixed order and throws CORDICException with the
// text of the first failing one. name and Reserved are never checked.
void check_config(const zelip_cordic_v6_0_config &config);

// Extra rounding bits the square root carries: 0, 1, 1, 2 for RoundMode 0..3.
uint32_t sqrt_round_bits(uint32_t round_mode);

// Number of micro-rotations N of a checked configuration (Iterations, or
// derived from the widths, coarse rotation and the hyperbolic repeats).
uint32_t derived_iterations(const zelip_cordic_v6_0_config &config);

// Internal width B of a checked configuration with N iterations (Precision,
// or OutputWidth plus ceil(log2 N) guard bits; the square root has its own rule).
uint32_t derived_precision(const zelip_cordic_v6_0_config &config, uint32_t iterations);

}  // namespace cordic
