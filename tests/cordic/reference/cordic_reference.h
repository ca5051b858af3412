// Independent reference for the CORDIC tests: the exact functions in long
// double (64-bit significand, far below the 2^-46 output step of the widest
// words), the CORDIC gains from their product formulas, the output rounding
// modes on plain integers, and error bounds that follow from the iteration
// count N, the data-path width B and the rounding mode.
#pragma once

#include <cmath>
#include <cstdint>

namespace cordtest {

inline constexpr long double kPi = 3.141592653589793238462643383279502884L;

// Shift (1, 2, 3, 4, 4, 5, ..., 13, 13, 14, ...) of hyperbolic iteration i.
inline unsigned hyperbolic_shift(unsigned i) {
  if (i <= 3) return i + 1;
  return i <= 13 ? i : i - 1;
}

inline unsigned shift_of(bool hyperbolic, unsigned i) { return hyperbolic ? hyperbolic_shift(i) : i + 1; }

// Growth of the vector length over n micro-rotations.
inline long double cordic_gain(bool hyperbolic, unsigned n) {
  long double k = 1.0L;
  for (unsigned i = 0; i < n; ++i) {
    const long double t = std::ldexp(1.0L, -2 * static_cast<int>(shift_of(hyperbolic, i)));
    k *= std::sqrt(hyperbolic ? 1.0L - t : 1.0L + t);
  }
  return k;
}

// Bound on how much any one error grows over the remaining micro-rotations:
// each step's matrix has norm at most 1 + 2^-s.
inline long double error_growth(bool hyperbolic, unsigned n) {
  long double g = 1.0L;
  for (unsigned i = 0; i < n; ++i) g *= 1.0L + std::ldexp(1.0L, -static_cast<int>(shift_of(hyperbolic, i)));
  return g;
}

// The angle of the last micro-rotation: what rotation or vectoring leaves
// unresolved at most.
inline long double last_angle(bool hyperbolic, unsigned n) {
  const long double t = std::ldexp(1.0L, -static_cast<int>(shift_of(hyperbolic, n - 1)));
  return hyperbolic ? std::atanh(t) : std::atan(t);
}

// Reduces v by k bits with output rounding mode 0..3, from the definitions:
// 0 floor, 1 nearest with ties up, 2 nearest with ties away from zero,
// 3 nearest with non-negative ties to even and negative ties to odd.
inline int64_t round_by(int64_t v, unsigned k, uint32_t mode) {
  if (k == 0) return v;
  const int64_t unit = int64_t{1} << k;
  int64_t q = v / unit;
  if (q * unit > v) --q;  // floor
  const int64_t r = v - q * unit;
  const int64_t half = unit / 2;
  if (mode == 0 || r < half) return q;
  if (r > half) return q + 1;
  switch (mode) {
    case 1: return q + 1;
    case 2: return v >= 0 ? q + 1 : q;
    default: {
      const bool q_even = (q % 2) == 0;
      const bool want_even = v >= 0;
      return q_even == want_even ? q : q + 1;
    }
  }
}

// Error budget of one configuration, as real values of the data path.
struct Budget {
  unsigned N, B, input_width, output_width;
  bool hyperbolic, scaled_phase;
  uint32_t round_mode;

  long double unit() const { return scaled_phase ? kPi : 1.0L; }             // radians per phase unit
  long double xy_step() const { return std::ldexp(1.0L, -(int)(B - 2)); }    // LSB of x, y
  long double z_step() const { return std::ldexp(1.0L, -(int)(B - 3)) * unit(); }  // LSB of z in radians
  long double out_xy_step() const { return std::ldexp(1.0L, -(int)(output_width - 2)); }
  long double out_z_step() const { return std::ldexp(1.0L, -(int)(output_width - 3)) * unit(); }
  long double rounding() const { return round_mode == 0 ? 1.0L : 0.5L; }  // output LSBs
  bool floored_inputs() const { return B < input_width; }

  // Error in the angle actually turned (rotation mode) or accumulated
  // (vectoring mode, before the vector's own noise): the last micro-rotation
  // angle, the rounding of N table entries, input flooring and one step for
  // the floored quadrant constants.
  long double angle_error() const {
    return last_angle(hyperbolic, N) + (N + 2) * 0.5L * z_step() + (floored_inputs() ? z_step() : 0.0L) +
           z_step();
  }
  // Noise of the x, y registers: one floor per component and iteration,
  // grown by the later micro-rotations, plus the scale constant's rounding.
  long double xy_noise() const {
    return (1.5L * N * error_growth(hyperbolic, N) + 2.0L) * xy_step() +
           (floored_inputs() ? 2.0L * xy_step() : 0.0L);
  }
};

}  // namespace cordtest
