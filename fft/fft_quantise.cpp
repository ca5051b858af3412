#include "fft_quantise.h"

namespace zelfft {

double round_half_even(double x) {
  const double f = std::floor(x);
  const double c = std::ceil(x);
  const double d = std::fabs(x - f);
  if (d < 0.5) return f;
  if (d > 0.5) return c;
  // An infinity or a NaN (a sample of an invalidated floating-point block)
  // gets here too, its distance being a NaN. It rounds to itself and must
  // not reach the integer conversion below, which is undefined for it.
  if (!(d == 0.5)) return f;
  // A tie: x is no integer, so f is an integer below 2^52 in magnitude and
  // its parity is that of its conversion.
  return (static_cast<int64_t>(f) & 1) == 0 ? f : c;
}

double quantise_input(double x, int bits, int unlimited) {
  const double s = power_of_two(bits - 1);
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

int floor_log2_via_log10(double v) {
  // v = m * 2^e with 2m in [1, 2), so log2(v) = (e - 1) + log2(2m). The
  // expression's rounding errors (a few units in the last place of a value
  // below 1100 in magnitude, about 1e-12) can move it across an integer only
  // when log2(2m) lies that close to 0 or 1; at a distance of 2^-29 and more
  // its floor is e - 1. Near a power of two the expression itself decides.
  int e = 0;
  const double m2 = 2.0 * std::frexp(v, &e);
  if (m2 > 1.0 + 0x1p-29 && m2 < 2.0 - 0x1p-28) return e - 1;
  return static_cast<int>(std::floor(std::log10(v) / std::log10(2.0)));
}

}  // namespace zelfft
