#!/bin/sh
# Installs what is missing, builds the libraries and runs the demo host program.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target zeldemo
./build/examples/zeldemo
