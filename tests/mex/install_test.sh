#!/bin/sh
# Installs the MEX component (and the libraries' component) into a staging
# prefix and calls both functions and their help from there in octave.
# Usage: install_test.sh <build dir> <staging dir> <libdir> <octave-cli> <libsolvine> <its SONAME>
set -e
build=$1 stage=$2 libdir=$3 octave=$4 solvine=$5 soname=$6
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" --component mex >/dev/null
cmake --install "$build" --prefix "$stage" --component libraries >/dev/null
if [ ! -e "$stage/$libdir/$soname" ]; then
  # No install rule for the libraries in this tree: stage the built one where
  # it would go, so the modules' run-time path is what is tested.
  mkdir -p "$stage/$libdir"
  cp "$solvine" "$stage/$libdir/$soname"
fi
cd "$stage"
env -u LD_LIBRARY_PATH "$octave" --no-gui --norc --eval "
  addpath('$stage/share/zelcores/mex');
  assert(strncmp(which('brevant_fft'), '$stage', numel('$stage')));
  [c, s] = solvine_cordic(struct('function', 'sin_cos'), 0);
  assert(c == 16384 && abs(s) <= 1);
  [X, e, o] = brevant_fft(struct('nfft_max', 3, 'arch', 'radix2', 'scaling', 'none'), [0.5; zeros(7, 1)]);
  assert(isequal(X, 0.5 * ones(8, 1)) && e == 0 && o == 0);
  assert(~isempty(strfind(evalc('help solvine_cordic'), 'sinh_cosh')));
  disp('installed MEX functions work')"
