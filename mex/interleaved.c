/* The complex layout of these MEX files. Octave looks this symbol up when it
 * loads a MEX file (mkoctfile -R2018a links the same definition) and then
 * hands complex arrays over interleaved, its own layout, without copying.
 * MATLAB's mex -R2018a provides its own marker: build without this file there. */
const int __mx_has_interleaved_complex__ = 1;
