// Speed of the FFT model through its exported interface: transforms per
// second and the cost of building a state. Each configuration is one line
// of kTransforms; radix-4 and pipelined rows are added the same way.
// The fftwf rows time an optimised single-precision floating-point FFT of
// the same lengths on the same input in the same run, so the ratio between
// the bit-accurate model and a plain FFT is measured side by side.
#include "brevant.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

struct Setup {
  const char *name;
  int arch, nfft, width, scaling, bfp;
  int flt = 0;  // single-precision data interface (width 32)
};

const Setup kTransforms[] = {
    {"radix2/N1024/16bit", 2, 10, 16, 1, 0},
    {"radix2/N1024/34bit", 2, 10, 34, 1, 0},
    {"radix2/N65536/16bit", 2, 16, 16, 1, 0},
    {"radix2/N65536/34bit", 2, 16, 34, 1, 0},
    {"radix2/N1024/16bit/bfp", 2, 10, 16, 1, 1},
    {"radix2/N1024/16bit/unscaled", 2, 10, 16, 0, 0},
    {"radix4/N1024/16bit", 1, 10, 16, 1, 0},
    {"radix4/N1024/24bit/bfp", 1, 10, 24, 1, 1},
    {"radix4/N1024/24bit/unscaled", 1, 10, 24, 0, 0},
    {"radix4/N2048/16bit", 1, 11, 16, 1, 0},
    {"radix4/N65536/24bit", 1, 16, 24, 1, 0},
    {"radix4/N65536/34bit", 1, 16, 34, 1, 0},
    {"radix2/N65536/24bit/unscaled", 2, 16, 24, 0, 0},
    {"pipelined/N1024/16bit", 3, 10, 16, 1, 0},
    {"pipelined/N1024/24bit/bfp", 3, 10, 24, 1, 1},
    {"pipelined/N1024/24bit/unscaled", 3, 10, 24, 0, 0},
    {"pipelined/N2048/16bit", 3, 11, 16, 1, 0},
    {"pipelined/N65536/24bit", 3, 16, 24, 1, 0},
    {"pipelined/N65536/34bit", 3, 16, 34, 1, 0},
    {"radix2/N65536/float", 2, 16, 32, 1, 0, 1},
    {"radix4/N65536/float", 1, 16, 32, 1, 0, 1},
    {"pipelined/N65536/float", 3, 16, 32, 1, 0, 1},
};

korvane_ip_zelfft_v9_0_generics generics_of(const Setup &s) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = s.arch;
  g.C_NFFT_MAX = s.nfft;
  g.C_INPUT_WIDTH = s.width;
  g.C_TWIDDLE_WIDTH = s.width;
  g.C_HAS_SCALING = s.scaling;
  g.C_HAS_BFP = s.bfp;
  g.C_USE_FLT_PT = s.flt;
  return g;
}

void transform(benchmark::State &bs, Setup setup) {
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(generics_of(setup));
  if (state == nullptr) {
    bs.SkipWithError("create_state failed");
    return;
  }
  const int n = 1 << setup.nfft;
  const double lsb = std::ldexp(1.0, 1 - setup.width);
  std::vector<double> xr(n), xi(n), yr(n), yi(n);
  for (int i = 0; i < n; ++i) {
    xr[i] = std::floor(0.4 * std::cos(0.01 * i) / lsb) * lsb;
    xi[i] = std::floor(0.4 * std::sin(0.03 * i) / lsb) * lsb;
  }
  // Shift 1 in every stage: the block never overflows.
  std::vector<int32_t> sch(setup.arch == 1 || setup.arch == 3 ? (setup.nfft + 1) / 2 : setup.nfft, 1);
  korvane_ip_zelfft_v9_0_inputs in{setup.nfft, xr.data(), n, xi.data(), n, sch.data(),
                                   static_cast<int32_t>(sch.size()), 1};
  for (auto _ : bs) {
    korvane_ip_zelfft_v9_0_outputs out{yr.data(), n, yi.data(), n, 0, 0};
    if (korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &out) != 0) bs.SkipWithError("simulate failed");
    benchmark::DoNotOptimize(yr.data());
  }
  bs.SetItemsProcessed(bs.iterations());  // items = transforms
  korvane_ip_zelfft_v9_0_destroy_state(state);
}

// Single-precision FFTW (FFTW_MEASURE), out of place, on the signal the
// model rows use.
void fftwf_transform(benchmark::State &bs, int nfft) {
  const int n = 1 << nfft;
  fftwf_complex *in = fftwf_alloc_complex(static_cast<size_t>(n));
  fftwf_complex *out = fftwf_alloc_complex(static_cast<size_t>(n));
  fftwf_plan plan = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_MEASURE);
  for (int i = 0; i < n; ++i) {
    in[i][0] = static_cast<float>(0.4 * std::cos(0.01 * i));
    in[i][1] = static_cast<float>(0.4 * std::sin(0.03 * i));
  }
  for (auto _ : bs) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  bs.SetItemsProcessed(bs.iterations());
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}

// Building a state: the twiddle table and the engine with its memory of
// 2^C_NFFT_MAX words.
void create_destroy(benchmark::State &bs, Setup setup) {
  for (auto _ : bs) {
    korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(generics_of(setup));
    benchmark::DoNotOptimize(state);
    korvane_ip_zelfft_v9_0_destroy_state(state);
  }
}

// Heap bytes a state holds: the twiddle table and the engine's memory.
size_t heap_in_use() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

void state_memory(benchmark::State &bs, Setup setup) {
  size_t held = 0;
  for (auto _ : bs) {
    const size_t before = heap_in_use();
    korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(generics_of(setup));
    held = heap_in_use() - before;
    korvane_ip_zelfft_v9_0_destroy_state(state);
  }
  bs.counters["state_MiB"] = static_cast<double>(held) / (1024.0 * 1024.0);
}

const int kRegistered = [] {
  for (int nfft : {10, 16}) {
    benchmark::RegisterBenchmark(("fftwf/N" + std::to_string(1 << nfft)).c_str(), fftwf_transform, nfft)
        ->Unit(benchmark::kMillisecond);
  }
  for (const Setup &s : kTransforms) {
    benchmark::RegisterBenchmark((std::string("transform/") + s.name).c_str(), transform, s)
        ->Unit(benchmark::kMillisecond);
  }
  const Setup small = {"radix2/N1024/16bit", 2, 10, 16, 1, 0};
  const Setup large = {"radix2/N65536/34bit", 2, 16, 34, 1, 0};
  for (const Setup &s : {small, large}) {
    benchmark::RegisterBenchmark((std::string("create_state/") + s.name).c_str(), create_destroy, s)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("state_memory/") + s.name).c_str(), state_memory, s)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
