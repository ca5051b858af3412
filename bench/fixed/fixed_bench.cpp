// Speed of the data-path arithmetic at the engines' widths (16, 34 and 51-bit
// data words): complex product, complex sum and the store into a register, as
// new values and into a target, in ns per operation, with the heap
// allocations per operation counted by replacing the global operator new.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>

#include "zel_complex.h"

using namespace zel;

namespace {
long long gAllocations = 0;  // this benchmark program only
}  // namespace

// GCC cannot see that operator new below is malloc-based.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
  ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Data word (W, W-1) and twiddle (W+1, W-1) with values that exercise all digits.
struct Operands {
  explicit Operands(int w)
      : x(w, w - 1, Signed, Truncate, Wrap),
        y(w, w - 1, Signed, Truncate, Wrap),
        twiddle(w + 1, w - 1, Signed, Truncate, Saturate),
        product(w + 4, w, Signed, ConvergentSafe, Wrap),
        sum(w + 2, w - 1, Signed, ConvergentSafe, Wrap),
        out(w, w - 1, Signed, ConvergentSafe, Wrap) {
    x.set(-0.7071067811865476, 0.3333333333333333);
    y.set(0.123456789, -0.987654321);
    twiddle.set(0.9238795325112867, -0.3826834323650898);
  }
  ZelComplex x, y, twiddle, product, sum, out;
};

void report(benchmark::State& state, long long allocationsBefore) {
  state.counters["allocs/op"] =
      benchmark::Counter(double(gAllocations - allocationsBefore), benchmark::Counter::kAvgIterations);
}

void BM_ComplexProductNew(benchmark::State& state) {
  Operands o(int(state.range(0)));
  const long long before = gAllocations;
  for (auto _ : state) {
    ZelComplex p = o.x * o.twiddle;
    benchmark::DoNotOptimize(p);
  }
  report(state, before);
}

void BM_ComplexProductIntoRegister(benchmark::State& state) {
  Operands o(int(state.range(0)));
  const long long before = gAllocations;
  for (auto _ : state) {
    o.product = o.x * o.twiddle;  // full-precision product stored into a register
    benchmark::DoNotOptimize(o.product);
  }
  report(state, before);
}

void BM_ComplexProductInto(benchmark::State& state) {
  Operands o(int(state.range(0)));
  const long long before = gAllocations;
  for (auto _ : state) {
    ZelComplex::productInto(o.product, o.x, o.twiddle);
    benchmark::DoNotOptimize(o.product);
  }
  report(state, before);
}

void BM_ComplexSumIntoRegister(benchmark::State& state) {
  Operands o(int(state.range(0)));
  const long long before = gAllocations;
  for (auto _ : state) {
    o.sum = o.x + o.y;
    benchmark::DoNotOptimize(o.sum);
  }
  report(state, before);
}

void BM_ComplexSumInto(benchmark::State& state) {
  Operands o(int(state.range(0)));
  const long long before = gAllocations;
  for (auto _ : state) {
    ZelComplex::sumInto(o.sum, o.x, o.y);
    benchmark::DoNotOptimize(o.sum);
  }
  report(state, before);
}

void BM_AssignIntoRegister(benchmark::State& state) {
  // The rounding store of the butterfly output: (W+4, W) into (W, W-1), ConvergentSafe.
  Operands o(int(state.range(0)));
  ZelComplex::productInto(o.product, o.x, o.twiddle);
  const long long before = gAllocations;
  for (auto _ : state) {
    o.out = o.product;
    benchmark::DoNotOptimize(o.out);
  }
  report(state, before);
}

void BM_ScalingShift(benchmark::State& state) {
  Operands o(int(state.range(0)));
  const long long before = gAllocations;
  for (auto _ : state) {
    o.sum = o.x;
    o.sum >>= 1;
    benchmark::DoNotOptimize(o.sum);
  }
  report(state, before);
}

}  // namespace

BENCHMARK(BM_ComplexProductNew)->Arg(16)->Arg(34)->Arg(51);
BENCHMARK(BM_ComplexProductIntoRegister)->Arg(16)->Arg(34)->Arg(51);
BENCHMARK(BM_ComplexProductInto)->Arg(16)->Arg(34)->Arg(51);
BENCHMARK(BM_ComplexSumIntoRegister)->Arg(16)->Arg(34)->Arg(51);
BENCHMARK(BM_ComplexSumInto)->Arg(16)->Arg(34)->Arg(51);
BENCHMARK(BM_AssignIntoRegister)->Arg(16)->Arg(34)->Arg(51);
BENCHMARK(BM_ScalingShift)->Arg(16)->Arg(34)->Arg(51);

BENCHMARK_MAIN();
