// Vector files against transform time for a 10,000-frame 1024-point run of
// the default FFT core: the transform itself, then writing (formatting,
// SHA-256, file) and reading back the four quantities of the set (input and
// expected output, real and imaginary) in each format. The target: hex
// writing and reading add at most 20 % to the transform time. Every step
// runs on one thread (BM_Transform/10000/1 is the figure to compare with);
// BM_Read's third argument reads into fresh arrays (0) or into the arrays
// of the previous iteration (1).
// ZEL_BENCH_KEEP_HEAP=1 keeps freed memory in the process, so that repeated
// iterations no longer pay the kernel's first touch of fresh pages (what a
// single zelvec run does pay); the difference shows how much of the reading
// time is that.
#include "models.h"
#include "vectors.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <filesystem>
#include <random>
#include <malloc.h>
#include <unistd.h>
#include <cstdlib>

namespace {

constexpr std::int32_t kPoints = 1024;

struct Run {
  std::size_t frames;
  std::vector<double> xr, xi, yr, yi;
  std::vector<std::int64_t> words[4];  // input re, im; output re, im
};

Run &run_of(std::size_t frames) {
  static std::map<std::size_t, Run> runs;
  Run &r = runs[frames];
  if (r.frames == frames) return r;
  r.frames = frames;
  const std::size_t n = frames * kPoints;
  std::mt19937_64 rng(1);
  for (auto *v : {&r.xr, &r.xi, &r.yr, &r.yi}) v->assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    r.xr[i] = static_cast<double>(static_cast<std::int64_t>(rng() % 65536) - 32768) / 32768.0;
    r.xi[i] = static_cast<double>(static_cast<std::int64_t>(rng() % 65536) - 32768) / 32768.0;
  }
  return r;
}

void transform(Run &r, unsigned threads) {
  const auto g = korvane_ip_zelfft_v9_0_get_default_generics();
  const std::int32_t schedule[5] = {3, 2, 2, 2, 2};
  zel::FftBatch b;
  b.frames = r.frames;
  b.n = kPoints;
  b.re = r.xr.data();
  b.im = r.xi.data();
  b.schedule = schedule;
  b.schedule_size = 5;
  b.out_re = r.yr.data();
  b.out_im = r.yi.data();
  zel::run_fft_batch(g, b, threads);
  const double* src[4] = {r.xr.data(), r.xi.data(), r.yr.data(), r.yi.data()};
  for (int q = 0; q < 4; ++q) {
    r.words[q].resize(r.xr.size());
    for (std::size_t i = 0; i < r.xr.size(); ++i) r.words[q][i] = static_cast<std::int64_t>(src[q][i] * 32768.0);
  }
}

void BM_Transform(benchmark::State &state) {
  Run &r = run_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) transform(r, static_cast<unsigned>(state.range(1)));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

std::string temp_dir() {
  static std::string dir = [] {
    auto p = std::filesystem::temp_directory_path() / ("zelvec_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p.string();
  }();
  return dir;
}

enum Format { kHex, kNpy, kCsv };

std::string bytes_of(Format f, const std::vector<std::int64_t> &w, std::size_t frames) {
  if (f == kHex) return zel::hex_text(w, {16, true});
  if (f == kNpy) return zel::npy_bytes(w, {frames, static_cast<std::size_t>(kPoints)});
  zel::CsvTable t{{"index", "value"}, {std::vector<std::int64_t>(w.size()), w}};
  return zel::csv_text(t);
}

void BM_Write(benchmark::State &state) {
  const auto f = static_cast<Format>(state.range(1));
  Run &r = run_of(static_cast<std::size_t>(state.range(0)));
  if (r.words[0].empty()) transform(r, 0);
  for (auto _ : state) {
    // New files, as a vector set is written into a fresh folder: replacing
    // the previous iteration's would add the release of its pages.
    state.PauseTiming();
    for (int q = 0; q < 4; ++q) std::filesystem::remove(temp_dir() + "/q" + std::to_string(q));
    state.ResumeTiming();
    for (int q = 0; q < 4; ++q) {
      const std::string path = temp_dir() + "/q" + std::to_string(q);
      if (f == kHex) {
        benchmark::DoNotOptimize(zel::write_hex_file(path, r.words[q], {16, true}));
      } else if (f == kNpy) {
        benchmark::DoNotOptimize(zel::write_npy_file(path, r.words[q], {r.frames, static_cast<std::size_t>(kPoints)}));
      } else {
        zel::CsvTable t{{"index", "value"}, {std::vector<std::int64_t>(r.words[q].size()), r.words[q]}};
        benchmark::DoNotOptimize(zel::write_csv_file(path, t));
      }
    }
  }
}

// Arg 2: 1 reads into arrays kept from the previous iteration (a reader of
// many files of one size), 0 into fresh ones (one zelvec run).
void BM_Read(benchmark::State &state) {
  const auto f = static_cast<Format>(state.range(1));
  const bool reuse = state.range(2) != 0;
  Run &r = run_of(static_cast<std::size_t>(state.range(0)));
  if (r.words[0].empty()) transform(r, 0);
  for (int q = 0; q < 4; ++q) zel::write_file(temp_dir() + "/r" + std::to_string(q), bytes_of(f, r.words[q], r.frames));
  zel::NpyArray kept[4];
  auto read_all = [&] {
    for (int q = 0; q < 4; ++q) {
      const std::string path = temp_dir() + "/r" + std::to_string(q);
      zel::NpyArray fresh;
      zel::NpyArray &a = reuse ? kept[q] : fresh;
      if (f == kHex) zel::read_hex_file(path, {16, true}, a.data);
      else if (f == kNpy) zel::read_npy_file(path, a);
      else a.data = zel::read_csv_file(path).columns[1];
      if (a.data != r.words[q]) state.SkipWithError("read back differs");
    }
  };
  if (reuse) read_all();  // the kept arrays exist before the first timed read
  for (auto _ : state) read_all();
}

// Frames, threads (0: every core) / frames, format (0 hex, 1 npy, 2 csv).
BENCHMARK(BM_Transform)->Args({1000, 1})->Args({10000, 1})->Args({10000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->ArgsProduct({{1000, 10000}, {kHex, kNpy, kCsv}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read)->ArgsProduct({{1000, 10000}, {kHex, kNpy, kCsv}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  if (std::getenv("ZEL_BENCH_KEEP_HEAP")) {
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(temp_dir());
  return 0;
}
