#!/bin/sh
# Builds the Debian package (cpack -G DEB), installs it with apt, uses it from
# outside the source tree (a C host through CMake and through pkg-config, the
# zelvec command, the Python package, so the build needs the Python and
# command-line layers' Debian packages of scripts/deps.sh), removes it and checks that nothing of it
# remains. This changes the system: it needs root (or sudo); a zelcores package
# already installed is purged first, and the one built is purged again
# whatever happens.
set -e
cd "$(dirname "$0")/.."
src="$(pwd)"
build="$src/build-deb"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt_get() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=600 "$@"; }
fail() { echo "install-test: $*" >&2; exit 1; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/zelcores_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; fail "cpack failed"; }
deb="$(ls "$build"/zelcores_*.deb)"

depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libgmp10 libstdc++6; do
  case "$depends" in *"$lib "*) ;; *) fail "library dependencies not computed (no $lib): $depends";; esac
done
paths="$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$')"
for p in /usr/bin/zelvec /usr/lib/python3/dist-packages/zelcores; do
  echo "$paths" | grep -qx "$p" || fail "$p is not in the package"
done
case "$depends" in *python3-numpy*) ;; *) fail "Python dependencies not named: $depends";; esac

# Start from a system without the package. After removal every path that it
# brought must be gone again: those that were not there before, and all that
# bear our names (even if a failed earlier run left them behind).
outside=""
cleanup() {
  apt_get purge zelcores >/dev/null 2>&1 || true
  [ -z "$outside" ] || rm -rf "$outside"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cleanup
new_paths="$(for p in $paths; do
  case "$p" in *zelcores*|*brevant*|*solvine*|*zelvec*) echo "$p"; continue;; esac
  [ -e "$p" ] || [ -L "$p" ] || echo "$p"
done)"

apt_get install "$deb" >"$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "apt-get install failed"; }
# pkg-config reads every required module's .pc file, private ones included,
# so each must come with a package that this one depends on.
for pc in $(echo "$paths" | grep '/pkgconfig/[^/]*\.pc$'); do
  for req in $(pkg-config --print-requires --print-requires-private "$pc" | awk '{print $1}'); do
    owner="$(dpkg -S "$(pkg-config --variable=pcfiledir "$req")/$req.pc" | cut -d: -f1)"
    case ", $depends," in *", $owner"[\ ,]*) ;; *) fail "$pc requires $req from $owner, not a dependency";; esac
  done
done
outside="$(mktemp -d)"
cd "$outside"
# As a user would: no search paths of ours, and Python writes its byte-code caches.
unset CMAKE_PREFIX_PATH PKG_CONFIG_PATH LD_LIBRARY_PATH PYTHONPATH PYTHONDONTWRITEBYTECODE
"$src/tests/packaging/build_outside_host.sh" "$outside/host"
zelvec --version
# The package imports its extension module, which needs the installed libraries.
where="$(/usr/bin/python3 -c "import zelcores; print(zelcores.__file__)")"
case "$where" in /usr/lib/python3/dist-packages/zelcores/*) echo "import zelcores: $where";;
  *) fail "import zelcores found $where, not the installed package";; esac
cd "$src"

apt_get purge zelcores >"$build/apt.log" 2>&1 || { cat "$build/apt.log"; fail "apt-get purge failed"; }
dpkg-query -W -f='${Status}\n' zelcores 2>/dev/null | grep -q 'ok installed\|config-files' &&
  fail "zelcores still installed"
left=""
for p in $new_paths; do
  if [ -e "$p" ] || [ -L "$p" ]; then left="$left $p"; fi
done
[ -z "$left" ] || fail "left behind after removal:$left"
/sbin/ldconfig -p | grep -q 'libbrevant\|libsolvine' && fail "the dynamic linker cache still names the libraries"
echo "install-test: package built, installed, used and removed; $(echo "$new_paths" | wc -l) paths checked"
