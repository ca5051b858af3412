// Decisions of the coarse (quadrant) rotation, taken from register signs
// alone so the GMP and the native data paths share them. The vector part
// turns (x, y) into the sector |y| <= x, the angle part moves z into
// [-pi/4, pi/4]; each records the quarter turn that undoes it, and the two are
// summed into the one post-correction applied after the micro-rotations.
#pragma once

namespace cordic {

// A turn by a multiple of 90 degrees, counted counter-clockwise modulo 360.
enum class QuarterTurn { kNone = 0, kPlus90 = 1, kHalf = 2, kMinus90 = 3 };

// Where the input vector lies, from the signs of x, x + y and x - y. The
// boundaries follow the hardware's comparators: x = y > 0 and x = -y > 0 are
// "right", x = y < 0 is "lower", x = -y < 0 is "upper".
enum class VectorRegion {
  kRight,  // kept as it is
  kLower,  // turned by +90: (x, y) -> (-y, x)
  kUpper,  // turned by -90: (x, y) -> (y, -x)
  kLeft,   // turned by 180: (x, y) -> (-x, -y)
};

// Throws CORDICException("Error in coarse rotation quadrant mapping") for the
// sign combinations no real vector has.
VectorRegion vector_region(bool x_nonnegative, bool sum_nonnegative, bool difference_nonnegative);
QuarterTurn vector_needs(VectorRegion region);

// How the phase is moved. For z >= 0, u = z - 3pi/4 and v = z - pi/4; for
// z < 0, u = z + 3pi/4 and v = z + pi/4 (with the floored quadrant constants).
enum class PhaseStep {
  kSubtractPi,      // z >= 0, u >= 0
  kSubtractHalfPi,  // z >= 0, u < 0, v >= 0
  kKeep,            // |z| within pi/4
  kAddHalfPi,       // z < 0, u >= 0, v < 0
  kAddPi,           // z < 0, u < 0
};

// Every sign combination has its row (z >= 0 with u >= 0 subtracts pi whatever
// v is, z < 0 with u < 0 adds pi); phase_needs throws
// CORDICException("Error in Coarse Rotation of Input Vector") for a value
// outside the enumeration.
PhaseStep phase_step(bool z_nonnegative, bool u_nonnegative, bool v_nonnegative);
QuarterTurn phase_needs(PhaseStep step);

// The post-correction: the sum of both needs modulo 360 degrees.
QuarterTurn combine(QuarterTurn vector, QuarterTurn phase);

}  // namespace cordic
