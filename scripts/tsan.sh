#!/bin/sh
# Builds the thread test with clang under ThreadSanitizer and runs it: several
# threads drive both libraries at once (each with its own states, models and
# arrays) and must agree bit for bit with one thread; any data race fails.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -Wno-mismatched-tags" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DZEL_BUILD_BENCH=OFF -DZEL_LAYERS=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target thread_agreement_test
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -R '^Threads\.' --output-on-failure
