#!/bin/sh
# Compares the dynamic symbols a shared library defines with a checked-in list.
# Usage: check_symbols.sh <library> <expected-list>
set -e
lib="$1"; expected="$2"
actual="$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^$' | sort -u)"
want="$(grep -v '^#' "$expected" | grep -v '^$' | sort -u)"
if [ "$actual" != "$want" ]; then
  echo "exported symbols of $lib differ from $expected:"
  printf '%s\n' "$want" > /tmp/want.$$; printf '%s\n' "$actual" > /tmp/actual.$$
  diff /tmp/want.$$ /tmp/actual.$$ || true
  rm -f /tmp/want.$$ /tmp/actual.$$
  exit 1
fi
echo "$lib: $(printf '%s\n' "$actual" | wc -l) exports as listed"
