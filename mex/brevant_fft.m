%BREVANT_FFT  Bit-accurate transforms of the configurable FFT core.
%
%  [X, block_exp, overflow] = brevant_fft(cfg, x)
%  [X, block_exp, overflow] = brevant_fft(cfg, x, schedule)
%  [...] = brevant_fft(..., 'nfft', n, 'inverse', tf)
%
%  Returns exactly the words the hardware core produces for the core that cfg
%  describes: same widths, rounding, scaling, overflow and exponent flags.
%
%  cfg       struct of settings over the hardware's default core ([] or
%            struct() for the default: 1024 points, radix-4, 16-bit data and
%            twiddles, scaled by schedule, truncating). Readable names:
%              nfft_max       log2 of the largest transform length (3..16)
%              arch           'radix4' | 'radix2' | 'pipelined' | 1..4
%              input_width    input sample width in bits (8..34)
%              twiddle_width  twiddle factor width in bits (8..34)
%              scaling        'schedule' | 'bfp' | 'none'
%              rounding       'truncate' | 'convergent'
%              float_data     true for single-precision data (input_width 32)
%              run_time_nfft  true to choose the length per call ('nfft')
%            or the core's own generics: C_NFFT_MAX, C_ARCH, C_HAS_NFFT,
%            C_USE_FLT_PT, C_INPUT_WIDTH, C_TWIDDLE_WIDTH, C_HAS_SCALING,
%            C_HAS_BFP, C_HAS_ROUNDING. Missing fields keep their defaults.
%  x         double, real or complex: one frame per column (a row vector is
%            one frame), 2^nfft samples in natural order. Fixed point:
%            fractions in [-1, 1) on the grid of input_width bits (a word w
%            is w / 2^(input_width-1)); other values are rounded to the grid,
%            ties to even, after a warning. Floating point: single-precision
%            values.
%  schedule  right shift (0..3) of each stage, first stage first: ceil(nfft/2)
%            stages for radix-4 and pipelined cores (the last one of an odd
%            nfft is 0 or 1), nfft stages for radix-2. A vector serves every
%            frame; a matrix gives one column per frame. Read only by
%            fixed-point cores scaled by schedule.
%  'nfft'    log2 of the transform length for a run-time-length core; by
%            default the length of the frames (or nfft_max).
%  'inverse' true for the inverse transform (default false).
%
%  X         the results in natural order, the shape of x, complex. A core
%            scaled by schedule returns X[k] / 2^(sum of the schedule); a
%            block-floating-point core returns X[k] / 2^block_exp; an
%            unscaled core returns the full-growth result.
%  block_exp one value per frame: the total right shift of a block-floating-
%            point core, else 0.
%  overflow  one value per frame: 1 when a stage overflowed (cores scaled by
%            schedule; floating-point results beyond single precision).
%
%  Errors carry the core's own line: 'zelcores:fft:config' for a core that
%  cannot be built or a setting the record cannot hold, 'zelcores:fft:codeN'
%  for a refused frame (N is the core's status 1..23; with several frames
%  the column is named), 'zelcores:badarg' for an argument of the wrong
%  class, shape or size. Warnings of the core come once per call with the id
%  'zelcores:fft:warning'. Nothing is printed.
%
%  Example:
%    cfg = struct('nfft_max', 6, 'arch', 'radix2', 'scaling', 'bfp');
%    x = round(2^14 * exp(2i*pi*5*(0:63)'/64)) / 2^15;
%    [X, e] = brevant_fft(cfg, x);     % true X = X * 2^e
%
%  See also SOLVINE_CORDIC.
error('zelcores:notbuilt', 'brevant_fft: the MEX file is missing: build the project with Octave installed');
