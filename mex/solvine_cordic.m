%SOLVINE_CORDIC  Bit-accurate results of the configurable CORDIC core.
%
%  [out1, out2] = solvine_cordic(cfg, in1, in2, in3)
%
%  Returns exactly the output words the hardware core produces for the core
%  that cfg describes. The function cfg names sets the arguments:
%
%    function    inputs            outputs
%    rotate      x, y, phase       x, y
%    translate   x, y              magnitude, phase
%    sin_cos     phase             cos, sin
%    atan        x, y              phase
%    sinh_cosh   phase             cosh, sinh
%    atanh       x, y              phase
%    sqrt        x                 root
%
%  cfg      struct of settings over the hardware's default core ([] or
%           struct() for the default: rotate, 16-bit words, coarse rotation
%           on). Readable names:
%             name               label that prefixes processing messages
%             function           'rotate' | 'translate' | 'sin_cos' | 'atan' |
%                                'sinh_cosh' | 'atanh' | 'sqrt' | 0..6
%             coarse_rotation    true for quadrant pre-rotation
%             data_format        'signed_fraction' | 'unsigned_fraction' |
%                                'unsigned_integer' (square root radicands)
%             phase_format       'radians' | 'scaled' (scaled: pi = 1)
%             input_width        width of every input word (8..48)
%             output_width       width of every output word (8..48)
%             iterations         micro-rotations, 0 = derived
%             precision          internal width, 0 = derived
%             rounding           'truncate' | 'round_half_up' |
%                                'round_half_away' | 'round_nearest'
%             gain_compensation  true to compensate the CORDIC gain
%           or the core's own fields: CordicFunction, CoarseRotate,
%           DataFormat, PhaseFormat, InputWidth, OutputWidth, Iterations,
%           Precision, RoundMode, ScaleComp, Reserved. Missing fields keep
%           their defaults.
%  in1..    words: the two's-complement value of each hardware word, as
%           integer-valued doubles or int64, all of one size. Fractions are
%           refused (convert values to words first: a 16-bit phase in radians
%           with 3 integer bits is round(phase * 2^13)).
%  out1..   output words of the first input's size and class.
%
%  Errors carry the core's own text: 'zelcores:cordic:config' for a core that
%  cannot be built or a setting the record cannot hold, 'zelcores:cordic:data'
%  for a word the core cannot read ("<name> ERROR: ..."), 'zelcores:badarg'
%  for an argument of the wrong class, shape or count. Nothing is printed.
%
%  Example:
%    cfg = struct('function', 'sin_cos', 'input_width', 16, 'output_width', 16);
%    [c, s] = solvine_cordic(cfg, round(0.3 * 2^13));   % 0.3 rad
%    [c, s] / 2^14                                       % cos and sin of 0.3
%
%  See also BREVANT_FFT.
error('zelcores:notbuilt', 'solvine_cordic: the MEX file is missing: build the project with Octave installed');
