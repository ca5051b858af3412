#!/bin/sh
# Builds the two fuzz targets with clang's libFuzzer under AddressSanitizer
# and UndefinedBehaviorSanitizer and runs them side by side for FUZZ_SECONDS
# seconds each (default 60), starting from the committed seed corpus and the
# inputs of past findings. A finding fails the script; its input is left in
# build-fuzz/findings/<target>/ and belongs in fuzz/regressions/<target>/,
# from where every build replays it (tests/fuzz).
set -e
cd "$(dirname "$0")/.."
SECONDS_EACH="${FUZZ_SECONDS:-60}"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -Wno-mismatched-tags" -DZEL_SANITIZE=ON -DZEL_FUZZ=ON \
  -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=OFF -DZEL_LAYERS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fft_fuzz cordic_fuzz
run() {
  t="$1"
  rm -rf "build-fuzz/work/$t" "build-fuzz/findings/$t"
  mkdir -p "build-fuzz/work/$t" "build-fuzz/findings/$t"
  # Reserving an impossible number of array elements must fail quietly, so
  # huge allocations return NULL here rather than stop the run.
  ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build-fuzz/fuzz/$t" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=0 -malloc_limit_mb=0 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t/" \
    "build-fuzz/work/$t" "fuzz/corpus/$t" "fuzz/regressions/$t" >"build-fuzz/$t.log" 2>&1
}
run fft_fuzz & fft=$!
run cordic_fuzz & cordic=$!
status=0
for t in fft_fuzz cordic_fuzz; do
  if [ "$t" = fft_fuzz ]; then wait $fft || status=1; else wait $cordic || status=1; fi
  if ls "build-fuzz/findings/$t/"* >/dev/null 2>&1 || ! grep -q "^Done " "build-fuzz/$t.log"; then
    echo "fuzz: $t FAILED; log build-fuzz/$t.log, input in build-fuzz/findings/$t/ (add it to fuzz/regressions/$t/):"
    grep -E "invariant broken|ERROR|runtime error|SUMMARY" "build-fuzz/$t.log" | head -20
    status=1
  else
    echo "fuzz: $t passed: $(grep -E '^(Done|stat::number_of_executed_units)' "build-fuzz/$t.log" | tr '\n' ' ')"
  fi
done
exit $status
