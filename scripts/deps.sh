#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
set -e
PKGS="g++ gcc make cmake libgmp-dev googletest libgtest-dev libbenchmark-dev python3 python3-mpmath binutils"
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
