// The FFT half of the demo: default generics and a bad record.
#include "brevant.h"
#include "demo_parts.h"

#include <cstdio>

namespace {

void print_generics(const korvane_ip_zelfft_v9_0_generics &g) {
  std::printf("  C_NFFT_MAX      %d (N = %d)\n", g.C_NFFT_MAX, 1 << g.C_NFFT_MAX);
  std::printf("  C_ARCH          %d\n", g.C_ARCH);
  std::printf("  C_HAS_NFFT      %d\n", g.C_HAS_NFFT);
  std::printf("  C_USE_FLT_PT    %d\n", g.C_USE_FLT_PT);
  std::printf("  C_INPUT_WIDTH   %d\n", g.C_INPUT_WIDTH);
  std::printf("  C_TWIDDLE_WIDTH %d\n", g.C_TWIDDLE_WIDTH);
  std::printf("  C_HAS_SCALING   %d\n", g.C_HAS_SCALING);
  std::printf("  C_HAS_BFP       %d\n", g.C_HAS_BFP);
  std::printf("  C_HAS_ROUNDING  %d\n", g.C_HAS_ROUNDING);
}

// What a host needs to know to read the results: an unscaled fixed-point
// core grows its words by C_NFFT_MAX + 1 integer bits.
void print_result_format(const korvane_ip_zelfft_v9_0_generics &g) {
  const int out = g.C_USE_FLT_PT ? 32 : g.C_INPUT_WIDTH + (g.C_NFFT_MAX + 1) * (1 - g.C_HAS_SCALING);
  std::printf("  output words    %d bits%s\n", out, g.C_USE_FLT_PT ? " (single precision)" : "");
}

}  // namespace

void run_fft_demo() {
  std::printf("brevant FFT model\n");
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  std::printf("default generics:\n");
  print_generics(g);
  print_result_format(g);
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(g);
  std::printf("create_state(default): %s\n", state ? "ok" : "failed");
  korvane_ip_zelfft_v9_0_destroy_state(state);

  g.C_HAS_SCALING = 0;
  std::printf("unscaled variant:\n");
  print_result_format(g);

  std::printf("a bad record (C_NFFT_MAX = 17) answers on standard error:\n");
  std::fflush(stdout);
  korvane_ip_zelfft_v9_0_generics bad = korvane_ip_zelfft_v9_0_get_default_generics();
  bad.C_NFFT_MAX = 17;
  state = korvane_ip_zelfft_v9_0_create_state(bad);
  std::fflush(stderr);
  std::printf("create_state(bad): %s\n\n", state ? "ok" : "null");
  korvane_ip_zelfft_v9_0_destroy_state(state);
}
