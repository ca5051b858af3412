#include "fft_float_interface.h"

#include "fft_quantise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zelfft {

namespace {

enum class SingleClass { kZero, kSubnormal, kNormal, kInfinite, kNaN };

SingleClass classify(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  const uint32_t exponent = (bits >> 23) & 0xFFu;
  const uint32_t fraction = bits & 0x7FFFFFu;
  if (exponent == 0) return fraction == 0 ? SingleClass::kZero : SingleClass::kSubnormal;
  if (exponent == 0xFFu) return fraction == 0 ? SingleClass::kInfinite : SingleClass::kNaN;
  return SingleClass::kNormal;
}

bool inf_or_nan(float f) {
  const SingleClass c = classify(f);
  return c == SingleClass::kInfinite || c == SingleClass::kNaN;
}

// Multiplies (t >= 0) or divides (t < 0) by 2^|t|, 62 binary places at a
// time, as the hardware's scale restoration does; t = 0 multiplies once by 1.
double restore_scale(double v, int t) {
  long long a = t < 0 ? -static_cast<long long>(t) : t;
  do {
    const double step = power_of_two(static_cast<int>(std::min<long long>(a, 62)));
    v = t >= 0 ? v * step : v / step;
    a -= 62;
  } while (a > 0);
  return v;
}

// Rounds a result to 24 significant bits, ties to even. The scale factor is
// 2^(e mod 64) as a 64-bit integer: for |v| >= 1 it is 2^(64+e), so the
// value is large enough that the rounding leaves it unchanged.
double round_significand(double v) {
  double sign = 1.0;
  if (!(v >= 0)) {
    sign = -1.0;
    v = -v;
  }
  const int e = v == 0 ? 0 : -1 - floor_log2_via_log10(v);
  const double p = static_cast<double>(uint64_t{1} << (static_cast<unsigned>(e) & 63u));
  return sign * (quantise_input(v * p, 25, 1) / p);
}

}  // namespace

float to_single(double x) {
  if (std::isnan(x) || std::fabs(x) <= kSingleMax) return static_cast<float>(x);
  const double midpoint = 0x1.ffffffp127;  // (2 - 2^-24) * 2^127
  const float inf = HUGE_VALF;
  const float big = static_cast<float>(kSingleMax);
  if (x > 0) return x >= midpoint ? inf : big;
  return x <= -midpoint ? -inf : -big;
}

double invalidation_nan() {
  const uint64_t bits = 0x7FFFFFFFE0000000ull;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

bool outside_single_range(double x) {
  return (x > kSingleMax || x < -kSingleMax) && !std::isinf(to_single(x));
}

FloatBlock prepare_float_block(double *re, double *im, int n, std::ostream &err) {
  FloatBlock block;
  double m = 0.0;
  // One part of one sample: its magnitude joins the block maximum, and an
  // infinity or NaN invalidates the block.
  auto measure = [&](double x, const char *warning) {
    const float f = to_single(x);
    if (!(f > 0)) x = x * -1.0;
    if (x > m) m = static_cast<double>(to_single(x));
    if (inf_or_nan(f)) {
      block.invalid_data = true;
      err << warning << std::endl;
    }
  };
  for (int i = 0; i < n; ++i) {
    if (classify(to_single(re[i])) == SingleClass::kSubnormal) {
      re[i] = +0.0;
      err << "WARNING:zelfft_v9_0:simulate called with a denormalized real data value, this value will be set to "
             "zero"
          << std::endl;
    }
    if (classify(to_single(im[i])) == SingleClass::kSubnormal) {
      im[i] = +0.0;
      err << "WARNING:zelfft_v9_0:simulate called with a denormalized imag data value, this value will be set to "
             "zero"
          << std::endl;
    }
    measure(re[i],
            "WARNING:zelfft_v9_0:simulate called with real data values set to inf or NaN, output will be invalidated");
    measure(im[i],
            "WARNING:zelfft_v9_0:simulate called with imag data values set to inf or NaN, output will be invalidated");
  }
  if (m > 0) {
    block.input_exponent =
        std::isinf(m) ? kInfiniteBlockExponent : floor_log2_via_log10(m) + 1;
  }
  return block;
}

double scale_float_input(double x, int e, int bits) {
  float f = to_single(x);
  if (e == kInfiniteBlockExponent) {
    f = f * 0.0f;
  } else {
    long long a = e < 0 ? -static_cast<long long>(e) : e;
    do {
      const float p = power_of_two_single(static_cast<int>(std::min<long long>(a, 62)));
      f = e < 0 ? f * p : f / p;
      a -= 62;
    } while (a > 0);
  }
  return quantise_input(static_cast<double>(f), bits, 1);
}

void finish_float_block(double *re, double *im, int n, const FloatBlock &block, int t, int *overflow) {
  if (block.invalid_data) {
    // Nothing of the run is kept, and its flag is 0. A NaN sample enters the
    // data path as a ZelFix marked not-a-number, and every butterfly passes
    // the mark on to its outputs. A marked part never compares as out of
    // range and measures as the largest growth class, so every stage after
    // the first runs with the largest shift, and the first cannot overflow.
    // The raw engines carry such a sample as 0 without the mark, so they
    // could raise the flag where the marked data path does not.
    const double nan = invalidation_nan();
    std::fill(re, re + n, nan);
    std::fill(im, im + n, nan);
    *overflow = 0;
    return;
  }
  for (int k = 0; k < n; ++k) {
    re[k] = round_significand(re[k]);
    im[k] = round_significand(im[k]);
  }
  for (int k = 0; k < n; ++k) {
    for (double *v : {&re[k], &im[k]}) {
      *v = restore_scale(*v, t);
      if (std::fabs(*v) > kSingleMax) {
        *v = static_cast<double>(to_single(*v));
        *overflow = 1;
      }
    }
  }
}

}  // namespace zelfft
