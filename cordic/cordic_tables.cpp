// Access to the generated constant tables and their conversion to integers.
#include "cordic_tables.h"

#include <cstring>

namespace cordic {

const char *angle_text(bool hyperbolic, bool scaled, unsigned k) {
  const char *const *table = hyperbolic ? (scaled ? kAtanhScaledTexts : kAtanhRadiansTexts)
                                        : (scaled ? kAtanScaledTexts : kAtanRadiansTexts);
  return table[kTableEntries - 1 - k];
}

const char *gain_text(bool hyperbolic, unsigned n) {
  const char *const *table = hyperbolic ? kHyperbolicGainTexts : kCircularGainTexts;
  return table[kTableEntries - n];
}

const QuadrantTexts &quadrant_texts(bool scaled) { return scaled ? kQuadrantScaledTexts : kQuadrantRadiansTexts; }

void mpz_set_twos_text(mpz_t out, const char *text, unsigned bits) {
  char digits[kConstantBits + 1];
  std::memcpy(digits, text, bits);
  digits[bits] = '\0';
  mpz_set_str(out, digits, 2);
  // A leading 1 is the sign: subtract 2^bits.
  if (digits[0] == '1') {
    mpz_t weight;
    mpz_init(weight);
    mpz_set_ui(weight, 1);
    mpz_mul_2exp(weight, weight, bits);
    mpz_sub(out, out, weight);
    mpz_clear(weight);
  }
}

}  // namespace cordic
