#!/bin/sh
# Installs what is missing, builds, and writes the two shipped vector sets
# (examples/runs/*.toml) to build/vectors/ with zelvec; then runs the demo
# host program on built-in data.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zelvec zeldemo
./build/cli/zelvec fft examples/runs/fft.toml -o build/vectors/fft
./build/cli/zelvec cordic examples/runs/cordic.toml -o build/vectors/cordic
echo
./build/examples/zeldemo
