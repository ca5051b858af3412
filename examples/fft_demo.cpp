// The FFT half of the demo: one built-in test signal through the default
// radix-4 core, a radix-2 core, the pipelined core and a floating-point core,
// each checked against a double-precision FFT of the same input.
#include "brevant.h"
#include "demo_parts.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A plain recursive-doubling FFT in double precision, forward (e^{-j}).
void reference_fft(std::vector<std::complex<double>> &x) {
  const size_t n = x.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    for (size_t i = 0; i < n; i += len) {
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> w = std::polar(1.0, -2 * kPi * static_cast<double>(k) / static_cast<double>(len));
        const std::complex<double> t = w * x[i + k + len / 2];
        x[i + k + len / 2] = x[i + k] - t;
        x[i + k] += t;
      }
    }
  }
}

// Two tones and a little noise, rounded to the input grid.
void test_signal(int n, int width, std::vector<double> &re, std::vector<double> &im) {
  const double scale = std::ldexp(1.0, width - 1);
  uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.002;
  };
  re.resize(n);
  im.resize(n);
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * 50 * i / n, b = 2 * kPi * 201 * i / n;
    re[i] = std::round((0.5 * std::cos(a) + 0.25 * std::cos(b) + noise()) * scale) / scale;
    im[i] = std::round((0.5 * std::sin(a) - 0.25 * std::sin(b) + noise()) * scale) / scale;
  }
}

struct Run {
  const char *label;
  korvane_ip_zelfft_v9_0_generics g;
  std::vector<int32_t> schedule;  // empty: the configuration reads none
  double amplitude;               // the test signal is multiplied by this
  bool show_bins;
};

void print_generics(const korvane_ip_zelfft_v9_0_generics &g) {
  std::printf("  C_NFFT_MAX %d, C_ARCH %d, C_HAS_NFFT %d, C_USE_FLT_PT %d, C_INPUT_WIDTH %d, C_TWIDDLE_WIDTH %d,\n"
              "  C_HAS_SCALING %d, C_HAS_BFP %d, C_HAS_ROUNDING %d\n",
              g.C_NFFT_MAX, g.C_ARCH, g.C_HAS_NFFT, g.C_USE_FLT_PT, g.C_INPUT_WIDTH, g.C_TWIDDLE_WIDTH,
              g.C_HAS_SCALING, g.C_HAS_BFP, g.C_HAS_ROUNDING);
}

// One transform of the test signal through one configuration, compared with
// a double-precision FFT of exactly the samples the core was given.
void run_transform(const Run &run) {
  const korvane_ip_zelfft_v9_0_generics &g = run.g;
  const int n = 1 << g.C_NFFT_MAX;
  std::printf("%s\n", run.label);
  print_generics(g);
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(g);
  if (state == nullptr) return;

  std::vector<double> xr, xi, yr(n), yi(n);
  test_signal(n, g.C_USE_FLT_PT ? 24 : g.C_INPUT_WIDTH, xr, xi);
  for (int i = 0; i < n; ++i) {
    xr[i] *= run.amplitude;
    xi[i] *= run.amplitude;
  }
  std::vector<int32_t> schedule = run.schedule;
  korvane_ip_zelfft_v9_0_inputs in{g.C_NFFT_MAX, xr.data(), n, xi.data(), n,
                                   schedule.empty() ? nullptr : schedule.data(),
                                   static_cast<int32_t>(schedule.size()), 1};
  korvane_ip_zelfft_v9_0_outputs out{yr.data(), n, yi.data(), n, 0, 0};
  const int code = korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &out);
  korvane_ip_zelfft_v9_0_destroy_state(state);
  if (code != 0) {
    std::printf("simulate failed with code %d\n", code);
    return;
  }

  // What the results mean: an unscaled fixed-point core returns the
  // transform itself, a scheduled one the transform / 2^(sum of shifts), a
  // block-floating-point one the transform / 2^block_exp, and floating-point
  // mode the transform itself.
  int shifts = out.block_exp;
  for (int32_t s : run.schedule) shifts += s;
  if (g.C_USE_FLT_PT) shifts = 0;
  std::vector<std::complex<double>> exact(n);
  for (int i = 0; i < n; ++i) exact[i] = {xr[i], xi[i]};
  reference_fft(exact);
  const double unscale = std::ldexp(1.0, shifts);
  double signal = 0, error = 0;
  for (int k = 0; k < n; ++k) {
    const std::complex<double> got(yr[k] * unscale, yi[k] * unscale);
    signal += std::norm(exact[k]);
    error += std::norm(got - exact[k]);
  }
  std::printf("  block_exp %d, overflow %d", out.block_exp, out.overflow);
  if (!run.schedule.empty()) {
    std::printf(", schedule");
    for (int32_t s : run.schedule) std::printf(" %d", s);
  }
  std::printf("\n");
  if (run.show_bins) {
    std::printf("  bin   core output x 2^%-2d                   double-precision FFT\n", shifts);
    for (int k : {0, 49, 50, 51, 201, 822, 823, 824}) {
      std::printf("  %4d  %+14.4f %+14.4fj      %+14.4f %+14.4fj\n", k, yr[k] * unscale, yi[k] * unscale,
                  exact[k].real(), exact[k].imag());
    }
  }
  std::printf("  signal-to-quantisation-noise ratio: %.1f dB\n\n", 10 * std::log10(signal / error));
}

}  // namespace

void run_fft_demo() {
  std::printf("brevant FFT model: two tones and a little noise, 1024 points\n\n");
  const korvane_ip_zelfft_v9_0_generics defaults = korvane_ip_zelfft_v9_0_get_default_generics();
  korvane_ip_zelfft_v9_0_generics radix2 = defaults, pipelined = defaults, floating = defaults;
  radix2.C_ARCH = 2;
  radix2.C_HAS_BFP = 1;
  pipelined.C_ARCH = 3;
  pipelined.C_HAS_ROUNDING = 1;
  floating.C_USE_FLT_PT = 1;
  floating.C_INPUT_WIDTH = 32;
  const Run runs[] = {
      {"default core: radix-4 burst, scaled by a schedule, truncating", defaults, {2, 2, 2, 2, 2}, 1.0, true},
      {"radix-2 burst, block floating point", radix2, {}, 1.0, false},
      {"pipelined streaming, scaled by a schedule, convergent rounding", pipelined, {2, 2, 2, 2, 2}, 1.0, false},
      {"radix-4 burst, single-precision data (samples up to 7.5e5)", floating, {}, 1e6, false},
  };
  for (const Run &run : runs) run_transform(run);

  std::printf("a bad record (C_NFFT_MAX = 17) answers on standard error:\n");
  std::fflush(stdout);
  korvane_ip_zelfft_v9_0_generics bad = korvane_ip_zelfft_v9_0_get_default_generics();
  bad.C_NFFT_MAX = 17;
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(bad);
  std::fflush(stderr);
  std::printf("create_state(bad): %s\n\n", state ? "ok" : "null");
  korvane_ip_zelfft_v9_0_destroy_state(state);
}
