// The constant tables of the CORDIC core: arctangent and hyperbolic
// arctangent angles and inverse CORDIC gains as 72-bit two's-complement
// binary texts (angles 3 integer bits, gains 2), and the coarse-rotation
// quadrant constants.
#pragma once

#include <gmp.h>

#include <cstdint>

namespace cordic {

inline constexpr unsigned kTableEntries = 64;  // iterations the tables cover
inline constexpr unsigned kConstantBits = 72;  // width of every stored constant

// Raw tables, 64 texts of 72 '0'/'1' digits each, smallest value first: the
// angle of shift index k (shift k + 1) sits at position 63 - k, the gain for
// n iterations at position 64 - n.
extern const char *const kCircularGainTexts[kTableEntries];
extern const char *const kHyperbolicGainTexts[kTableEntries];
extern const char *const kAtanRadiansTexts[kTableEntries];
extern const char *const kAtanScaledTexts[kTableEntries];
extern const char *const kAtanhRadiansTexts[kTableEntries];
extern const char *const kAtanhScaledTexts[kTableEntries];

// Angle of shift index k (0..63): arctan or artanh of 2^-(k+1), in radians
// or in units of pi (scaled).
const char *angle_text(bool hyperbolic, bool scaled, unsigned k);
// Inverse gain 1/K(n) after n iterations (1..64); the hyperbolic gain counts
// the repeated shifts 4 and 13.
const char *gain_text(bool hyperbolic, unsigned n);

// Quadrant constants in the angle format: t = -pi, m = -pi/2, o = -3pi/4,
// l = -pi/4 (radians), or -1, -1/2, -3/4, -1/4 (scaled).
struct QuadrantTexts {
  const char *t;
  const char *m;
  const char *o;
  const char *l;
};
const QuadrantTexts &quadrant_texts(bool scaled);

// Reads the first `bits` digits of a binary text (1..72) as a two's-complement
// number of that width: the constant floored to `bits` bits.
void mpz_set_twos_text(mpz_t out, const char *text, unsigned bits);

}  // namespace cordic
