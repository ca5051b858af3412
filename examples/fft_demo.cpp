// The FFT half of the demo: a 1024-point radix-2 transform of a built-in
// test signal, checked against a double-precision FFT of the same input.
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

void run_transform() {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = 2;     // radix-2 burst
  g.C_HAS_BFP = 1;  // block floating point: the core picks its own shifts
  const int n = 1 << g.C_NFFT_MAX;
  std::printf("radix-2 transform, N = %d, %d-bit data, %d-bit twiddles, block floating point\n", n,
              g.C_INPUT_WIDTH, g.C_TWIDDLE_WIDTH);
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(g);
  if (state == nullptr) return;

  std::vector<double> xr, xi, yr(n), yi(n);
  test_signal(n, g.C_INPUT_WIDTH, xr, xi);
  korvane_ip_zelfft_v9_0_inputs in{g.C_NFFT_MAX, xr.data(), n, xi.data(), n, nullptr, 0, 1};
  korvane_ip_zelfft_v9_0_outputs out{yr.data(), n, yi.data(), n, 0, 0};
  const int code = korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &out);
  korvane_ip_zelfft_v9_0_destroy_state(state);
  if (code != 0) {
    std::printf("simulate failed with code %d\n", code);
    return;
  }

  // The core's result times 2^block_exp is the transform itself.
  std::vector<std::complex<double>> exact(n);
  for (int i = 0; i < n; ++i) exact[i] = {xr[i], xi[i]};
  reference_fft(exact);
  const double unscale = std::ldexp(1.0, out.block_exp);
  double signal = 0, error = 0;
  for (int k = 0; k < n; ++k) {
    const std::complex<double> got(yr[k] * unscale, yi[k] * unscale);
    signal += std::norm(exact[k]);
    error += std::norm(got - exact[k]);
  }
  std::printf("block_exp %d, overflow %d\n", out.block_exp, out.overflow);
  std::printf("  bin   core output (x 2^block_exp)        double-precision FFT\n");
  for (int k : {0, 49, 50, 51, 201, 822, 823, 824}) {
    std::printf("  %4d  %+12.4f %+12.4fj          %+12.4f %+12.4fj\n", k, yr[k] * unscale, yi[k] * unscale,
                exact[k].real(), exact[k].imag());
  }
  std::printf("signal-to-quantisation-noise ratio: %.1f dB\n\n", 10 * std::log10(signal / error));
}

}  // namespace

void run_fft_demo() {
  std::printf("brevant FFT model\n");
  run_transform();

  std::printf("a bad record (C_NFFT_MAX = 17) answers on standard error:\n");
  std::fflush(stdout);
  korvane_ip_zelfft_v9_0_generics bad = korvane_ip_zelfft_v9_0_get_default_generics();
  bad.C_NFFT_MAX = 17;
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(bad);
  std::fflush(stderr);
  std::printf("create_state(bad): %s\n\n", state ? "ok" : "null");
  korvane_ip_zelfft_v9_0_destroy_state(state);
}
