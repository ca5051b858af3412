#!/bin/sh
# Installs what is missing, then builds and runs every test twice: once in an
# optimised build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
# Pass --fast to skip the sanitizer build. The sanitizer pass skips the
# benchmarks and the slow layers (simulator benches, sweeps; tests labelled
# nosan), never the models.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
JOBS="$(nproc)"
# Prefix /usr: the Debian package of the install test is made from this build.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"
ZEL_DEB_BUILD="$(pwd)/build" scripts/install-test.sh
[ "$1" = "--fast" ] && exit 0
# Line tables are all the sanitizer reports need (-g1 keeps the build short).
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_SANITIZE=ON -DZEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build-san -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-san --output-on-failure -j"$JOBS" -E '^(bench_|hdl_|sweep_)' -LE nosan
scripts/fuzz.sh   # both C interfaces under libFuzzer with ASan and UBSan, 60 s each
scripts/tsan.sh   # the thread test under ThreadSanitizer
