#include "fft_quantise.h"

#include <cmath>

namespace zelfft {

double round_half_even(double x) {
  const double f = std::floor(x);
  const double c = std::ceil(x);
  const double d = std::fabs(x - f);
  if (d < 0.5) return f;
  if (d > 0.5) return c;
  return std::fmod(f, 2.0) == 0.0 ? f : c;
}

double quantise_input(double x, int bits, int unlimited) {
  const double s = std::ldexp(1.0, bits - 1);
  const double y = s * x;
  double r = round_half_even(y);
  if (unlimited == 0) {
    if (r >= s) {
      r = std::floor(y);
    } else if (r < -s) {
      r = std::ceil(y);
    }
  }
  return r / s;
}

}  // namespace zelfft
