// Coarse-rotation decision tables. The error branches cannot be reached with
// exact arithmetic; they mirror the hardware model's own consistency checks.
#include "cordic_engine_coarse.h"

#include "cordic_exception.h"

namespace cordic {

VectorRegion vector_region(bool x_nonnegative, bool sum_nonnegative, bool difference_nonnegative) {
  if (sum_nonnegative && difference_nonnegative) {
    if (x_nonnegative) return VectorRegion::kRight;
  } else if (!sum_nonnegative && difference_nonnegative) {
    return VectorRegion::kLower;
  } else if (sum_nonnegative && !difference_nonnegative) {
    return VectorRegion::kUpper;
  } else if (!x_nonnegative) {
    return VectorRegion::kLeft;
  }
  // x < 0 with x + y >= 0 and x - y >= 0, or x >= 0 with both negative.
  throw CORDICException("Error in coarse rotation quadrant mapping");
}

QuarterTurn vector_needs(VectorRegion region) {
  switch (region) {
    case VectorRegion::kRight: return QuarterTurn::kNone;
    case VectorRegion::kLower: return QuarterTurn::kMinus90;
    case VectorRegion::kUpper: return QuarterTurn::kPlus90;
    case VectorRegion::kLeft: return QuarterTurn::kHalf;
  }
  throw CORDICException("Error in coarse rotation quadrant mapping");
}

PhaseStep phase_step(bool z_nonnegative, bool u_nonnegative, bool v_nonnegative) {
  if (z_nonnegative) {
    if (u_nonnegative) return PhaseStep::kSubtractPi;
    return v_nonnegative ? PhaseStep::kSubtractHalfPi : PhaseStep::kKeep;
  }
  if (!u_nonnegative) return PhaseStep::kAddPi;
  return v_nonnegative ? PhaseStep::kKeep : PhaseStep::kAddHalfPi;
}

QuarterTurn phase_needs(PhaseStep step) {
  switch (step) {
    case PhaseStep::kSubtractPi: return QuarterTurn::kHalf;
    case PhaseStep::kSubtractHalfPi: return QuarterTurn::kPlus90;
    case PhaseStep::kKeep: return QuarterTurn::kNone;
    case PhaseStep::kAddHalfPi: return QuarterTurn::kMinus90;
    case PhaseStep::kAddPi: return QuarterTurn::kHalf;
  }
  throw CORDICException("Error in Coarse Rotation of Input Vector");
}

QuarterTurn combine(QuarterTurn vector, QuarterTurn phase) {
  switch ((static_cast<int>(vector) + static_cast<int>(phase)) % 4) {
    case 0: return QuarterTurn::kNone;
    case 1: return QuarterTurn::kPlus90;
    case 2: return QuarterTurn::kHalf;
    case 3: return QuarterTurn::kMinus90;
    default: break;
  }
  throw CORDICException("Error in combine phase data quad");
}

}  // namespace cordic
