// The direct C loops the Python package is measured against: one frame per
// bitacc_simulate call on one state, and one sin_cos call over a whole block,
// both through the exported C functions of the shared libraries.
// Usage: zelcores_c_baseline fft FRAMES [LOG2N (10)] | cordic COUNT; prints processor
// seconds per frame or per sample (best of three runs).
#include "brevant.h"
#include "solvine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <time.h>
#include <vector>

namespace {

// Processor time of this process: on a shared machine it counts the work
// done, not the time spent waiting for a core.
double now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double fft_seconds_per_frame(int frames, int log2n) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_NFFT_MAX = log2n;
  if (log2n < 6) g.C_ARCH = 2;  // radix-4 cores start at 64 points
  korvane_ip_zelfft_v9_0_state *s = korvane_ip_zelfft_v9_0_create_state(g);
  const int n = 1 << log2n;
  std::mt19937_64 rng(1);
  std::uniform_int_distribution<int> word(-32768, 32767);
  std::vector<double> xr(n), xi(n), yr(n), yi(n);
  for (int k = 0; k < n; ++k) xr[k] = word(rng) / 32768.0, xi[k] = word(rng) / 32768.0;
  // The schedule the package uses when none is given: it cannot overflow.
  std::vector<int32_t> sch;
  if (g.C_ARCH == 1) {
    sch.assign(log2n / 2, 2);
    if (log2n % 2) sch.push_back(1);
  } else {
    sch.assign(log2n, 1);
  }
  double best = 1e30;
  for (int rep = 0; rep < 3; ++rep) {
    const double t0 = now();
    for (int f = 0; f < frames; ++f) {
      korvane_ip_zelfft_v9_0_inputs in = {log2n, xr.data(), n, xi.data(), n, sch.data(),
                                          static_cast<int32_t>(sch.size()), 1};
      korvane_ip_zelfft_v9_0_outputs out = {yr.data(), n, yi.data(), n, 0, 0};
      if (korvane_ip_zelfft_v9_0_bitacc_simulate(s, in, &out) != 0) std::abort();
    }
    best = std::min(best, (now() - t0) / frames);
  }
  korvane_ip_zelfft_v9_0_destroy_state(s);
  return best;
}

double cordic_seconds_per_sample(size_t count) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.CordicFunction = 2;
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
  zelip_array_real *phase = zelip_cordic_v6_0_zelip_array_real_create();
  zelip_array_complex *cart = zelip_cordic_v6_0_zelip_array_complex_create();
  if (!m || !phase || !cart || zelip_cordic_v6_0_zelip_array_real_reserve_data(phase, count) ||
      zelip_cordic_v6_0_zelip_array_real_reserve_dim(phase, 1) ||
      zelip_cordic_v6_0_zelip_array_complex_reserve_data(cart, count) ||
      zelip_cordic_v6_0_zelip_array_complex_reserve_dim(cart, 1))
    std::abort();
  phase->data_size = cart->data_size = count;
  phase->dim_size = cart->dim_size = 1;
  phase->dim[0] = cart->dim[0] = count;
  std::mt19937_64 rng(2);
  std::uniform_int_distribution<int> word(-25736, 25735);  // phases within -pi..pi
  for (size_t k = 0; k < count; ++k) phase->data[k] = word(rng);
  double best = 1e30;
  for (int rep = 0; rep < 3; ++rep) {
    const double t0 = now();
    if (zelip_cordic_v6_0_sin_cos(m, phase, cart, count) != 0) std::abort();
    best = std::min(best, (now() - t0) / static_cast<double>(count));
  }
  zelip_cordic_v6_0_zelip_array_real_destroy(phase);
  zelip_cordic_v6_0_zelip_array_complex_destroy(cart);
  zelip_cordic_v6_0_destroy(m);
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "fft") == 0) {
    const int log2n = argc == 4 ? std::atoi(argv[3]) : 10;
    if (log2n < 3 || log2n > 16) return 2;
    std::printf("%.9g\n", fft_seconds_per_frame(std::atoi(argv[2]), log2n));
  } else if (argc == 3 && std::strcmp(argv[1], "cordic") == 0) {
    std::printf("%.9g\n", cordic_seconds_per_sample(std::strtoull(argv[2], nullptr, 10)));
  } else {
    std::fprintf(stderr, "usage: %s fft FRAMES [LOG2N] | cordic COUNT\n", argv[0]);
    return 2;
  }
  return 0;
}
