// Configuration checks of the CORDIC core, in the order the core's model
// applies them, and the derived iteration count and internal width.
#include "cordic_config.h"

#include "cordic_exception.h"

namespace cordic {

bool is_vectoring(uint32_t function) { return function == kTranslate || function == kAtan || function == kAtanh; }

bool is_hyperbolic(uint32_t function) { return function == kSinhCosh || function == kAtanh; }

namespace {

void require(bool ok, const char *text) {
  if (!ok) throw CORDICException(text);
}

bool is_integer_sqrt(const zelip_cordic_v6_0_config &c) { return c.CordicFunction == kSqrt && c.DataFormat == 2; }

}  // namespace

void check_config(const zelip_cordic_v6_0_config &c) {
  require(c.CordicFunction <= 6, "Invalid value for CordicFunction");
  require(c.CoarseRotate <= 1, "Invalid value for CoarseRotate");
  require(c.DataFormat <= 2, "Invalid value for DataFormat");
  require(c.PhaseFormat <= 1, "Invalid value for PhaseFormat");
  require(c.InputWidth >= 8 && c.InputWidth <= 48, "Invalid value for InputWidth");
  if (is_integer_sqrt(c)) {
    // The integer root of a W-bit radicand has W/2 + 1 bits; no other width.
    require(c.OutputWidth == c.InputWidth / 2 + 1, "ERROR: Output Width is Incorrect, it must be input_width/2+1");
  } else {
    require(c.OutputWidth >= 8 && c.OutputWidth <= 48, "ERROR: Output width must be between 8 and 48 ");
  }
  require(c.Iterations <= 48, "Invalid value for Iterations");
  require(c.Precision == 0 || (c.Precision >= c.OutputWidth && c.Precision <= 48), "Invalid value for Precision");
  require(c.RoundMode <= 3, "Invalid value for RoundMode");
  require(c.ScaleComp <= 3, "Invalid value for ScaleComp");
}

uint32_t sqrt_round_bits(uint32_t round_mode) {
  switch (round_mode) {
    case kTruncate: return 0;
    case kRoundHalfUp:
    case kRoundHalfAway: return 1;
    default: return 2;
  }
}

uint32_t derived_iterations(const zelip_cordic_v6_0_config &c) {
  if (c.Iterations != 0) return c.Iterations;
  if (c.CordicFunction == kSqrt) return c.OutputWidth + sqrt_round_bits(c.RoundMode);
  // The coarse rotation already resolves the top two bits of the angle.
  const uint32_t base = c.CoarseRotate == 1 ? c.OutputWidth - 2 : c.OutputWidth;
  if (!is_hyperbolic(c.CordicFunction)) return base;
  // Hyperbolic iterations repeat shift 4 (and 13) to converge.
  if (base >= 13) return base + 2;
  if (base >= 4) return base + 1;
  return base;
}

uint32_t derived_precision(const zelip_cordic_v6_0_config &c, uint32_t iterations) {
  if (c.Precision != 0) return c.Precision;
  if (c.CordicFunction == kSqrt) {
    const uint32_t root_width = c.DataFormat == 2 ? (c.InputWidth + 2) / 2 : c.OutputWidth;
    return root_width + sqrt_round_bits(c.RoundMode);
  }
  // ceil(log2 N) guard bits absorb the rounding error of N micro-rotations.
  uint32_t guard = 0;
  while ((uint32_t{1} << guard) < iterations) ++guard;
  return c.OutputWidth + guard;
}

}  // namespace cordic
