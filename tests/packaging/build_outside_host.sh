#!/bin/sh
# Builds the outside host against installed models twice, with find_package and
# with pkg-config, and runs both builds.
# Usage: build_outside_host.sh WORKDIR [PREFIX LIBDIR]
# Without PREFIX the models must be installed where the system looks (/usr).
set -e
work="$1"; prefix="$2"; libdir="$3"
here="$(cd "$(dirname "$0")" && pwd)"
cc="${CC:-cc}"
rm -rf "$work" && mkdir -p "$work"
if [ -n "$prefix" ]; then
  export CMAKE_PREFIX_PATH="$prefix" PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
  export LD_LIBRARY_PATH="$prefix/$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
fi

cmake -S "$here/outside" -B "$work/cmake" -DCMAKE_C_COMPILER="$cc" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/host"

# GMP is a private requirement of solvine: named for static linking only.
case " $(pkg-config --static --libs solvine) " in *" -lgmp "*) ;; *)
  echo "pkg-config: solvine does not name gmp for static linking"; exit 1;; esac
# shellcheck disable=SC2046
"$cc" -Wall -Wextra -Werror -pedantic-errors "$here/outside/host.c" -o "$work/host_pc" \
  $(pkg-config --cflags --libs brevant solvine)
"$work/host_pc"
