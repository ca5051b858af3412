#!/bin/sh
# Installs the Debian packages the build, the layers and the tests need, when missing.
set -e
PKGS="g++ gcc make cmake pkg-config dpkg-dev binutils libgmp-dev googletest libgtest-dev libbenchmark-dev
python3 python3-mpmath python3-dev python3-numpy python3-pytest python3-hypothesis pybind11-dev python3-pybind11
python3-distributed python3-tqdm python3-matplotlib
libcli11-dev libtomlplusplus-dev nlohmann-json3-dev libssl-dev libhwy-dev libfftw3-dev
clang libclang-rt-14-dev verilator octave liboctave-dev"
MISSING=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || MISSING="$MISSING $p"
done
[ -z "$MISSING" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y $MISSING
