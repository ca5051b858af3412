// Samples per second of the CORDIC model: blocks through data_do for the
// default rotate, translate, sin_cos at 16 and 48 bits and the square root;
// the same blocks sample by sample on the scalar path (the reference the SIMD
// lanes are tested against), sin_cos on each SIMD instruction set this CPU
// has, and one configuration forced onto GMP registers.
#include "cordic_engine.h"
#include "cordic_model.h"
#include "solvine.h"
#include "solvine_array.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <string>

namespace {

constexpr std::size_t kBlock = 4096;

template <class Array>
void size_array(Array *a, std::size_t n) {
  a->dim_size = 1;
  a->dim[0] = n;
  a->data_size = n;
}

// The model and the block's arrays, filled with in-range random words.
struct Fixture {
  explicit Fixture(const zelip_cordic_v6_0_config &c) : config(c) {
    model = zelip_cordic_v6_0_create(&config, nullptr, nullptr);
    real_in = zelip_cordic_v6_0_zelip_array_real_create();
    real_out = zelip_cordic_v6_0_zelip_array_real_create();
    phase_out = zelip_cordic_v6_0_zelip_array_real_create();
    cart_in = zelip_cordic_v6_0_zelip_array_complex_create();
    cart_out = zelip_cordic_v6_0_zelip_array_complex_create();
    zelip_cordic_v6_0_zelip_array_real_reserve_data(real_in, kBlock);
    zelip_cordic_v6_0_zelip_array_real_reserve_data(real_out, kBlock);
    zelip_cordic_v6_0_zelip_array_real_reserve_data(phase_out, kBlock);
    zelip_cordic_v6_0_zelip_array_complex_reserve_data(cart_in, kBlock);
    zelip_cordic_v6_0_zelip_array_complex_reserve_data(cart_out, kBlock);
    zelip_cordic_v6_0_zelip_array_real_reserve_dim(real_in, 1);
    zelip_cordic_v6_0_zelip_array_real_reserve_dim(real_out, 1);
    zelip_cordic_v6_0_zelip_array_real_reserve_dim(phase_out, 1);
    zelip_cordic_v6_0_zelip_array_complex_reserve_dim(cart_in, 1);
    zelip_cordic_v6_0_zelip_array_complex_reserve_dim(cart_out, 1);
    size_array(real_in, kBlock);
    size_array(real_out, kBlock);
    size_array(phase_out, kBlock);
    size_array(cart_in, kBlock);
    size_array(cart_out, kBlock);
    std::mt19937_64 gen(1);
    const double half = std::ldexp(1.0, static_cast<int>(c.InputWidth) - 2);
    std::uniform_real_distribution<double> word(-half, half);
    for (std::size_t k = 0; k < kBlock; ++k) {
      real_in->data[k] = std::floor(c.CordicFunction == 6 ? std::fabs(word(gen)) : word(gen));
      cart_in->data[k] = zelip_complex{std::floor(word(gen)), std::floor(word(gen))};
    }
  }
  ~Fixture() {
    zelip_cordic_v6_0_destroy(model);
    zelip_cordic_v6_0_zelip_array_real_destroy(real_in);
    zelip_cordic_v6_0_zelip_array_real_destroy(real_out);
    zelip_cordic_v6_0_zelip_array_real_destroy(phase_out);
    zelip_cordic_v6_0_zelip_array_complex_destroy(cart_in);
    zelip_cordic_v6_0_zelip_array_complex_destroy(cart_out);
  }
  zelip_status run() {
    return zelip_cordic_v6_0_data_do(model, config.CordicFunction, real_in, real_in, cart_in, real_out, phase_out,
                                     cart_out, kBlock);
  }

  zelip_cordic_v6_0_config config;
  zelip_cordic_v6_0_model *model = nullptr;
  zelip_array_real *real_in, *real_out, *phase_out;
  zelip_array_complex *cart_in, *cart_out;
};

zelip_cordic_v6_0_config config(uint32_t function, uint32_t width) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.CordicFunction = function;
  c.InputWidth = width;
  c.OutputWidth = width;
  return c;
}

void run_blocks(benchmark::State &state, const zelip_cordic_v6_0_config &c) {
  Fixture f(c);
  for (auto _ : state) {
    if (f.run() != 0) state.SkipWithError("data_do failed");
    benchmark::DoNotOptimize(f.cart_out->data);
    benchmark::DoNotOptimize(f.real_out->data);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBlock));
}

// The same block through the engine on one path, without data_do.
void run_engine(benchmark::State &state, const zelip_cordic_v6_0_config &c, cordic::CordicEngine::Arithmetic a) {
  Fixture f(c);
  cordic::CordicEngine engine(*f.model, a);
  const cordic::SampleArrays arrays{f.real_in, f.real_in, f.cart_in, f.real_out, f.phase_out, f.cart_out};
  for (auto _ : state) {
    engine.run(arrays, kBlock);
    benchmark::DoNotOptimize(f.cart_out->data);
    benchmark::DoNotOptimize(f.real_out->data);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBlock));
}

using Arithmetic = cordic::CordicEngine::Arithmetic;

void BM_RotateDefault(benchmark::State &state) { run_blocks(state, config(0, 16)); }
void BM_Translate16(benchmark::State &state) { run_blocks(state, config(1, 16)); }
void BM_SinCos16(benchmark::State &state) { run_blocks(state, config(2, 16)); }
void BM_SinCos48(benchmark::State &state) { run_blocks(state, config(2, 48)); }
void BM_Rotate48(benchmark::State &state) { run_blocks(state, config(0, 48)); }
void BM_Sqrt16(benchmark::State &state) { run_blocks(state, config(6, 16)); }
void BM_RotateDefaultScalar(benchmark::State &state) { run_engine(state, config(0, 16), Arithmetic::kScalar); }
void BM_SinCos16Scalar(benchmark::State &state) { run_engine(state, config(2, 16), Arithmetic::kScalar); }
void BM_SinCos48Scalar(benchmark::State &state) { run_engine(state, config(2, 48), Arithmetic::kScalar); }
void BM_RotateDefaultGmpOnly(benchmark::State &state) { run_engine(state, config(0, 16), Arithmetic::kGmpOnly); }

// sin_cos 16 and 48-bit with the lanes limited to one instruction set.
void BM_SinCosOnTarget(benchmark::State &state, int64_t target, uint32_t width) {
  hwy::SetSupportedTargetsForTest(target);
  run_blocks(state, config(2, width));
  hwy::SetSupportedTargetsForTest(0);
}

BENCHMARK(BM_RotateDefault);
BENCHMARK(BM_Translate16);
BENCHMARK(BM_SinCos16);
BENCHMARK(BM_SinCos48);
BENCHMARK(BM_Rotate48);
BENCHMARK(BM_Sqrt16);
BENCHMARK(BM_RotateDefaultScalar);
BENCHMARK(BM_SinCos16Scalar);
BENCHMARK(BM_SinCos48Scalar);
BENCHMARK(BM_RotateDefaultGmpOnly);

}  // namespace

int main(int argc, char **argv) {
  benchmark::AddCustomContext("cordic_lanes", cordic::lane_target_name());
  for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
    for (uint32_t width : {16u, 48u}) {
      const std::string name = std::string("BM_SinCos") + std::to_string(width) + "On/" + hwy::TargetName(target);
      benchmark::RegisterBenchmark(name.c_str(), BM_SinCosOnTarget, target, width);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
