// The CORDIC half of the demo: a few configurations, each with a short table
// of input words, the model's output words, the exact mathematical values at
// the output scale and the difference in output LSBs.
#include "demo_parts.h"
#include "solvine.h"
#include "solvine_array.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

void on_message(void *, int error, const char *msg) { std::printf("  [%s] %s\n", error ? "error" : "note", msg); }

zelip_array_real *real_array(const std::vector<double> &values) {
  zelip_array_real *a = zelip_cordic_v6_0_zelip_array_real_create();
  zelip_cordic_v6_0_zelip_array_real_reserve_data(a, values.size());
  zelip_cordic_v6_0_zelip_array_real_reserve_dim(a, 1);
  a->data_size = values.size();
  a->dim_size = 1;
  a->dim[0] = values.size();
  for (size_t k = 0; k < values.size(); ++k) zelip_cordic_v6_0_zelip_array_real_set_data(a, values[k], k);
  return a;
}

zelip_array_complex *complex_array(const std::vector<double> &re, const std::vector<double> &im) {
  zelip_array_complex *a = zelip_cordic_v6_0_zelip_array_complex_create();
  zelip_cordic_v6_0_zelip_array_complex_reserve_data(a, re.size());
  zelip_cordic_v6_0_zelip_array_complex_reserve_dim(a, 1);
  a->data_size = re.size();
  a->dim_size = 1;
  a->dim[0] = re.size();
  for (size_t k = 0; k < re.size(); ++k) {
    const zelip_complex v{re[k], im.empty() ? 0.0 : im[k]};
    zelip_cordic_v6_0_zelip_array_complex_set_data(a, &v, k);
  }
  return a;
}

// The growth of the vector over the core's N micro-rotations (shifts 1 to N),
// which the outputs carry when gain compensation is off.
long double circular_gain(unsigned n) {
  long double k = 1.0L;
  for (unsigned s = 1; s <= n; ++s) k *= std::sqrt(1.0L + std::ldexp(1.0L, -2 * static_cast<int>(s)));
  return k;
}

// The documented iteration count of a circular configuration left to derive.
unsigned derived_iterations(const zelip_cordic_v6_0_config &c) {
  return c.OutputWidth - (c.CoarseRotate ? 2 : 0);
}

void header(const char *title, const zelip_cordic_v6_0_config &c) {
  std::printf("\n%s: \"%s\", %u-bit input, %u-bit output, coarse rotation %s, gain compensation %s\n", title,
              c.name, c.InputWidth, c.OutputWidth, c.CoarseRotate ? "on" : "off", c.ScaleComp ? "on" : "off");
}

void rotate_table() {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  header("rotate", c);
  const unsigned n = derived_iterations(c);
  std::printf("  x, y: 14 fraction bits; phase: radians, 13 fraction bits; exact = K x rotated vector, K = %.6Lf"
              " (%u micro-rotations)\n", circular_gain(n), n);
  const std::vector<double> x = {16384, 8192, -11585, 0, 12000};
  const std::vector<double> y = {0, 8192, 11585, -16000, -5000};
  const std::vector<double> phase = {6434, -12868, 25735, 3217, -20000};  // pi/4, -pi/2, pi, pi/8, -2.44 rad
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, on_message, nullptr);
  zelip_array_complex *in = complex_array(x, y), *out = complex_array(x, y);
  zelip_array_real *ph = real_array(phase);
  if (zelip_cordic_v6_0_rotate(m, in, ph, out, x.size()) == 0) {
    std::printf("  %8s %8s %8s | %8s %8s | %12s %12s | %6s %6s\n", "x in", "y in", "phase", "x out", "y out",
                "x exact", "y exact", "err x", "err y");
    const long double gain = circular_gain(n);
    for (size_t k = 0; k < x.size(); ++k) {
      const long double t = std::ldexp(static_cast<long double>(phase[k]), -13);
      const long double ex = gain * (x[k] * std::cos(t) - y[k] * std::sin(t));
      const long double ey = gain * (x[k] * std::sin(t) + y[k] * std::cos(t));
      std::printf("  %8.0f %8.0f %8.0f | %8.0f %8.0f | %12.3Lf %12.3Lf | %6.2Lf %6.2Lf\n", x[k], y[k], phase[k],
                  out->data[k].re, out->data[k].im, ex, ey, out->data[k].re - ex, out->data[k].im - ey);
    }
  }
  zelip_cordic_v6_0_zelip_array_complex_destroy(in);
  zelip_cordic_v6_0_zelip_array_complex_destroy(out);
  zelip_cordic_v6_0_zelip_array_real_destroy(ph);
  zelip_cordic_v6_0_destroy(m);
}

void sin_cos_table(uint32_t width, uint32_t phase_format) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.name = phase_format ? "sin_cos scaled" : "sin_cos";
  c.CordicFunction = 2;
  c.InputWidth = width;
  c.OutputWidth = width;
  c.PhaseFormat = phase_format;
  c.RoundMode = 3;
  header("sin_cos", c);
  const int pf = static_cast<int>(width) - 3, of = static_cast<int>(width) - 2;
  std::printf("  phase: %s, %d fraction bits; outputs: %d fraction bits, rounded to nearest\n",
              phase_format ? "units of pi" : "radians", pf, of);
  const long double unit = phase_format ? kPi : 1.0L;
  std::vector<double> phase;
  for (long double t : {0.0L, 0.5L, -1.0L, 2.0L, -3.0L})
    phase.push_back(std::round(static_cast<double>(std::ldexp(t / unit, pf))));
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, on_message, nullptr);
  zelip_array_real *ph = real_array(phase);
  zelip_array_complex *out = complex_array(phase, {});
  if (zelip_cordic_v6_0_sin_cos(m, ph, out, phase.size()) == 0) {
    std::printf("  %16s | %16s %16s | %20s %20s | %6s %6s\n", "phase", "cos out", "sin out", "cos exact",
                "sin exact", "err c", "err s");
    for (size_t k = 0; k < phase.size(); ++k) {
      const long double t = std::ldexp(static_cast<long double>(phase[k]), -pf) * unit;
      const long double ec = std::ldexp(std::cos(t), of), es = std::ldexp(std::sin(t), of);
      std::printf("  %16.0f | %16.0f %16.0f | %20.3Lf %20.3Lf | %6.2Lf %6.2Lf\n", phase[k], out->data[k].re,
                  out->data[k].im, ec, es, out->data[k].re - ec, out->data[k].im - es);
    }
  }
  zelip_cordic_v6_0_zelip_array_real_destroy(ph);
  zelip_cordic_v6_0_zelip_array_complex_destroy(out);
  zelip_cordic_v6_0_destroy(m);
}

void translate_table() {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.name = "translate";
  c.CordicFunction = 1;
  c.InputWidth = 24;
  c.OutputWidth = 20;
  c.ScaleComp = 1;
  c.RoundMode = 2;
  header("translate", c);
  std::printf("  x, y: 22 fraction bits; magnitude: 18 fraction bits; phase: radians, 17 fraction bits\n");
  const std::vector<double> x = {4194304, -3000000, -4194304, 100000, 2965821};
  const std::vector<double> y = {0, 3000000, -16, -4000000, 2965821};
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, on_message, nullptr);
  zelip_array_complex *in = complex_array(x, y);
  zelip_array_real *mag = real_array(x), *ph = real_array(x);
  if (zelip_cordic_v6_0_translate(m, in, mag, ph, x.size()) == 0) {
    std::printf("  %9s %9s | %9s %9s | %13s %13s | %6s %6s\n", "x in", "y in", "mag out", "phase", "mag exact",
                "phase exact", "err m", "err p");
    for (size_t k = 0; k < x.size(); ++k) {
      const long double em = std::ldexp(std::hypot(static_cast<long double>(x[k]), y[k]), -4);
      const long double ep = std::ldexp(std::atan2(static_cast<long double>(y[k]), x[k]), 17);
      std::printf("  %9.0f %9.0f | %9.0f %9.0f | %13.3Lf %13.3Lf | %6.2Lf %6.2Lf\n", x[k], y[k], mag->data[k],
                  ph->data[k], em, ep, mag->data[k] - em, ph->data[k] - ep);
    }
  }
  zelip_cordic_v6_0_zelip_array_complex_destroy(in);
  zelip_cordic_v6_0_zelip_array_real_destroy(mag);
  zelip_cordic_v6_0_zelip_array_real_destroy(ph);
  zelip_cordic_v6_0_destroy(m);
}

void sqrt_table() {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.name = "sqrt";
  c.CordicFunction = 6;
  c.DataFormat = 2;
  c.InputWidth = 16;
  c.OutputWidth = 9;
  c.RoundMode = 1;
  header("sqrt", c);
  std::printf("  integer radicand, integer root with one more bit rounded half up\n");
  const std::vector<double> m_in = {0, 2, 900, 1000, 32767};
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, on_message, nullptr);
  zelip_array_real *in = real_array(m_in), *out = real_array(m_in);
  if (zelip_cordic_v6_0_sqrt(m, in, out, m_in.size()) == 0) {
    std::printf("  %9s | %9s | %12s | %6s\n", "radicand", "root", "exact", "err");
    for (size_t k = 0; k < m_in.size(); ++k) {
      const long double e = std::sqrt(static_cast<long double>(m_in[k]));
      std::printf("  %9.0f | %9.0f | %12.3Lf | %6.2Lf\n", m_in[k], out->data[k], e, out->data[k] - e);
    }
  }
  zelip_cordic_v6_0_zelip_array_real_destroy(in);
  zelip_cordic_v6_0_zelip_array_real_destroy(out);
  zelip_cordic_v6_0_destroy(m);
}

}  // namespace

void run_cordic_demo() {
  std::printf("solvine CORDIC model, version %s\n", zelip_cordic_v6_0_get_version());
  rotate_table();
  sin_cos_table(16, 0);
  sin_cos_table(48, 1);
  translate_table();
  sqrt_table();
}
