// Both libraries used from several threads at once, each thread with its own
// FFT states and CORDIC models and arrays, as the headers require: every
// thread must get, bit for bit, the words one thread alone gets for the same
// seeded workload (every FFT architecture in fixed and floating point, with
// lengths changing between calls on one state; every CORDIC function, on
// the native and on the arbitrary-precision path). Built with
// ThreadSanitizer by scripts/tsan.sh, which then also reports any data race.
#include "brevant.h"
#include "solvine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t kSeed = 20261209;
constexpr int kThreads = 4;

uint64_t next(uint64_t &s) {
  s = s * 6364136223846793005ull + 1442695040888963407ull;
  return s >> 11;
}

// Every word and flag a workload produced, in order, as raw bits.
using Words = std::vector<uint64_t>;

void put(Words &w, double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  w.push_back(b);
}

// Four architectures, each scheduled, block floating point, unscaled and in
// floating point; each state runs several lengths in turn.
void fft_workload(Words &w, uint64_t seed) {
  for (int arch = 1; arch <= 4; ++arch) {
    for (int mode = 0; mode < 4; ++mode) {
      korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
      g.C_ARCH = arch;
      g.C_NFFT_MAX = 7;
      g.C_HAS_NFFT = 1;
      g.C_INPUT_WIDTH = 18;
      g.C_TWIDDLE_WIDTH = 17;
      g.C_HAS_ROUNDING = mode & 1;
      g.C_HAS_SCALING = mode != 2;
      g.C_HAS_BFP = mode == 1;
      if (mode == 3) {
        g.C_USE_FLT_PT = 1;
        g.C_INPUT_WIDTH = 32;
      }
      korvane_ip_zelfft_v9_0_state *s = korvane_ip_zelfft_v9_0_create_state(g);
      ASSERT_NE(s, nullptr);
      for (int nfft : {7, 6, 7}) {
        const int n = 1 << nfft;
        std::vector<double> xr(n), xi(n), yr(n), yi(n);
        for (int i = 0; i < n; ++i) {
          // On the 18-bit grid (no warning line); floating point gets wide magnitudes.
          xr[i] = std::ldexp(static_cast<double>(static_cast<int64_t>(next(seed) % 262144) - 131072), -17);
          xi[i] = std::ldexp(static_cast<double>(static_cast<int64_t>(next(seed) % 262144) - 131072), -17);
          if (mode == 3) xr[i] = std::ldexp(xr[i], static_cast<int>(next(seed) % 40) - 20);
        }
        const int stages = (arch == 1 || arch == 3) ? (nfft + 1) / 2 : nfft;
        std::vector<int32_t> sch(stages, 2);
        sch.back() = 1;
        korvane_ip_zelfft_v9_0_inputs in{nfft, xr.data(), n, xi.data(), n, sch.data(), stages, nfft & 1};
        korvane_ip_zelfft_v9_0_outputs out{yr.data(), n, yi.data(), n, 0, 0};
        ASSERT_EQ(korvane_ip_zelfft_v9_0_bitacc_simulate(s, in, &out), 0);
        for (int k = 0; k < n; ++k) {
          put(w, yr[k]);
          put(w, yi[k]);
        }
        w.push_back(static_cast<uint64_t>(out.block_exp) << 32 | static_cast<uint32_t>(out.overflow));
      }
      korvane_ip_zelfft_v9_0_destroy_state(s);
    }
  }
}

zelip_array_real *real_array(size_t n) {
  zelip_array_real *a = zelip_cordic_v6_0_zelip_array_real_create();
  zelip_cordic_v6_0_zelip_array_real_reserve_data(a, n);
  zelip_cordic_v6_0_zelip_array_real_reserve_dim(a, 1);
  a->data_size = n;
  a->dim_size = 1;
  a->dim[0] = n;
  for (size_t k = 0; k < n; ++k) a->data[k] = 0;  // outputs a function does not write stay 0
  return a;
}

zelip_array_complex *complex_array(size_t n) {
  zelip_array_complex *a = zelip_cordic_v6_0_zelip_array_complex_create();
  zelip_cordic_v6_0_zelip_array_complex_reserve_data(a, n);
  zelip_cordic_v6_0_zelip_array_complex_reserve_dim(a, 1);
  a->data_size = n;
  a->dim_size = 1;
  a->dim[0] = n;
  for (size_t k = 0; k < n; ++k) a->data[k] = {0, 0};
  return a;
}

// Every function at 16 and at 48 bits; a few words far outside the input
// width take the arbitrary-precision path (the square root always does).
void cordic_workload(Words &w, uint64_t seed) {
  constexpr size_t n = 160;
  for (uint32_t f = 0; f <= 6; ++f) {
    for (uint32_t width : {16u, 48u}) {
      zelip_cordic_v6_0_config c;
      zelip_cordic_v6_0_default_config(&c);
      c.name = "thread";
      c.CordicFunction = f;
      c.InputWidth = width;
      c.OutputWidth = width;
      c.ScaleComp = width == 48;
      c.RoundMode = f % 4;
      zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
      ASSERT_NE(m, nullptr);
      zelip_array_real *magin = real_array(n), *phasein = real_array(n), *magout = real_array(n),
                       *phaseout = real_array(n);
      zelip_array_complex *cartin = complex_array(n), *cartout = complex_array(n);
      const double top = std::ldexp(1.0, static_cast<int>(width) - 1);
      auto word = [&]() { return std::floor(std::ldexp(static_cast<double>(next(seed)), -53) * 2 * top - top); };
      for (size_t k = 0; k < n; ++k) {
        magin->data[k] = std::fabs(word());
        phasein->data[k] = word();
        cartin->data[k] = {word(), word()};
        if (k % 8 == 7) cartin->data[k].re = 1e17;  // beyond the native registers
      }
      ASSERT_EQ(zelip_cordic_v6_0_data_do(m, f, magin, phasein, cartin, magout, phaseout, cartout, n), 0);
      for (size_t k = 0; k < n; ++k) {
        put(w, magout->data[k]);
        put(w, phaseout->data[k]);
        put(w, cartout->data[k].re);
        put(w, cartout->data[k].im);
      }
      zelip_cordic_v6_0_zelip_array_real_destroy(magin);
      zelip_cordic_v6_0_zelip_array_real_destroy(phasein);
      zelip_cordic_v6_0_zelip_array_real_destroy(magout);
      zelip_cordic_v6_0_zelip_array_real_destroy(phaseout);
      zelip_cordic_v6_0_zelip_array_complex_destroy(cartin);
      zelip_cordic_v6_0_zelip_array_complex_destroy(cartout);
      zelip_cordic_v6_0_destroy(m);
    }
  }
}

Words workload(uint64_t seed) {
  Words w;
  fft_workload(w, seed);
  cordic_workload(w, seed + 1);
  return w;
}

TEST(Threads, EveryThreadGetsTheWordsOfOneThread) {
  const Words alone = workload(kSeed);
  ASSERT_GT(alone.size(), 10000u);
  std::vector<Words> got(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      got[t] = workload(kSeed);
    });
  }
  for (std::thread &th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(got[t] == alone) << "thread " << t << " seed " << kSeed;
}

// The version text is built on first use: threads that race for that first
// call all get the same text at the same address. (Each test runs in a
// process of its own, so this is the first call.)
TEST(Threads, FirstVersionCallsRace) {
  std::vector<const char *> got(8, nullptr);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < got.size(); ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < static_cast<int>(got.size())) std::this_thread::yield();
      got[t] = zelip_cordic_v6_0_get_version();
    });
  }
  for (std::thread &th : threads) th.join();
  for (const char *v : got) {
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v, got[0]);
    EXPECT_STREQ(v, "6.0");
  }
}

}  // namespace
