% Tests of brevant_fft and solvine_cordic, run by CTest:
%   MEX_DIR=<folder of the MEX files> CASES=<generated cases> octave-cli --no-gui --norc mex_test.m
% CASES is written by mex_expected_host from the libraries' C interfaces.
1;

function check(ok, varargin)
  if ~ok
    error('mex_test:failed', varargin{:});
  end
end

% Runs f, which must fail with the identifier id and a message that is
% `message` after Octave's "<function>: " prefix (or contains it, for a
% pattern given as {text}).
function expect_error(f, id, message)
  try
    f();
  catch err
    check(strcmp(err.identifier, id), 'expected id %s, got %s (%s)', id, err.identifier, err.message);
    text = regexprep(err.message, '^(brevant_fft|solvine_cordic): ', '');
    if iscell(message)
      check(~isempty(strfind(text, message{1})), 'message "%s" lacks "%s"', text, message{1});
    else
      check(strcmp(text, message), 'message "%s", expected "%s"', text, message);
    end
    return;
  end
  error('mex_test:failed', 'no error, expected %s', id);
end

% Calls f asking for n outputs.
function call_outputs(n, f, varargin)
  out = cell(1, n);
  [out{:}] = f(varargin{:});
end

addpath(getenv('MEX_DIR'));
source(getenv('CASES'));
printf('seed %d, MEX files from %s\n', seed, getenv('MEX_DIR'));

% ---- Differential: every architecture and function, word for word ----
for i = 1:numel(fft)
  c = fft{i};
  [X, e, o] = brevant_fft(c.cfg, c.x, c.schedule, 'nfft', c.nfft, 'inverse', c.inverse);
  check(isequal(X, c.X) && isequal(e, c.block_exp) && isequal(o, c.overflow), ...
        'FFT case %d (seed %d) differs from the C interface', i, seed);
end
for i = 1:numel(cordic)
  c = cordic{i};
  got = cell(1, numel(c.out));
  [got{:}] = solvine_cordic(c.cfg, c.in{:});
  check(isequal(got, c.out), 'CORDIC case %d (seed %d) differs from the C interface', i, seed);
  in64 = cellfun(@int64, c.in, 'UniformOutput', false);
  [got{:}] = solvine_cordic(c.cfg, in64{:});
  check(all(cellfun(@(g) isa(g, 'int64'), got)) && isequal(cellfun(@double, got, 'UniformOutput', false), c.out), ...
        'CORDIC case %d (seed %d) with int64 words differs', i, seed);
end

% ---- Columns are frames; a row vector is one frame ----
c = fft{find(cellfun(@(c) columns(c.x) > 1 && columns(c.schedule) > 1, fft), 1)};
[X, e, o] = brevant_fft(c.cfg, c.x, c.schedule, 'nfft', c.nfft, 'inverse', c.inverse);
for f = 1:columns(c.x)
  [Xf, ef, of] = brevant_fft(c.cfg, c.x(:, f), c.schedule(:, f), 'nfft', c.nfft, 'inverse', c.inverse);
  check(isequal(Xf, X(:, f)) && ef == e(f) && of == o(f), 'column %d differs from the matrix run', f);
end
Xr = brevant_fft(c.cfg, c.x(:, 1).', c.schedule(:, 1), 'nfft', c.nfft, 'inverse', c.inverse);
check(isequal(Xr, X(:, 1).'), 'a row vector is not one frame');
[X, e, o] = brevant_fft(struct('nfft_max', 4, 'arch', 'radix2'), zeros(16, 0), [1 1 1 1]);
check(isequal(size(X), [16 0]) && isempty(e) && isempty(o), 'no frames');
% A real frame is the complex frame with zero imaginary parts.
cfg = struct('nfft_max', 6, 'scaling', 'bfp');
x = round(2^12 * cos(2 * pi * 5 * (0:63)' / 64)) / 2^15;
check(isequal(brevant_fft(cfg, x), brevant_fft(cfg, complex(x, 0))), 'real input');

% ---- Configuration: the shared names, defaults, the library's refusals ----
d = struct('C_NFFT_MAX', 6);
check(isequal(brevant_fft(d, x, [1 1 1]), brevant_fft(struct('nfft_max', 6, 'arch', 1, 'scaling', 'schedule'), x, [1 1 1])), ...
      'raw and readable names differ');
expect_error(@() brevant_fft(struct('nfft_max', 17), x), 'zelcores:fft:config', ...
             'ERROR:zelfft_v9_0:create_state called with invalid C_NFFT_MAX generic: must be in the range 3 to 16: Value is 17');
expect_error(@() brevant_fft(struct('arhc', 1), x), 'zelcores:fft:config', 'unknown FFT setting "arhc"; did you mean "arch"?');
expect_error(@() brevant_fft(struct('arch', 'radix8'), x), 'zelcores:fft:config', {'"arch": expected "radix4"'});
expect_error(@() solvine_cordic(struct('InputWidth', 7), 1, 1, 1), 'zelcores:cordic:config', 'Invalid value for InputWidth');
expect_error(@() solvine_cordic(struct('function', 'tan'), 1), 'zelcores:cordic:config', {'"function": expected "rotate"'});

% ---- Refused frames carry the library's line and code ----
expect_error(@() brevant_fft(d, x(1:32), [1 1 1]), 'zelcores:fft:code9', ...
             'ERROR:zelfft_v9_0:simulate called with incorrect xn_re_size input 32: must be 2^nfft = 64');
expect_error(@() brevant_fft(d, x), 'zelcores:fft:code14', ...
             'ERROR:zelfft_v9_0:simulate called with null pointer for scaling_sch input');
bad = [x x];
bad(3, 2) = 1;
expect_error(@() brevant_fft(d, bad, [1 1 1]), 'zelcores:fft:code10', ...
             'ERROR:zelfft_v9_0:simulate called with invalid real data value: xn_re[2] = 1: all values must be in the range -1.0 <= data < 1.0 (column 2 of x)');
expect_error(@() solvine_cordic(struct('name', 'probe', 'function', 'atan'), [1 NaN], [1 1]), 'zelcores:cordic:data', ...
             'probe ERROR: Problem reading data from cartin');

% ---- Warnings: the library's line, once per call ----
lastwarn('');
out = evalc('brevant_fft(d, [x x] + 0.1 / 2^15, [1 1 1]);');
[text, id] = lastwarn();
line = ['WARNING:zelfft_v9_0:simulate called with real and/or imaginary data values that are not pre-quantized ' ...
        'to signed two''s-complement fixed-point values of precision C_INPUT_WIDTH = 16 bits.'];
check(strcmp(id, 'zelcores:fft:warning') && ~isempty(strfind(text, line)) && numel(strfind(out, line)) == 1, ...
      'pre-quantisation warning once per call: %s %s', id, text);
% A warning made an error ends the call cleanly.
warning('error', 'zelcores:fft:warning');
expect_error(@() brevant_fft(d, x + 0.1 / 2^15, [1 1 1]), 'zelcores:fft:warning', {line});
warning('on', 'zelcores:fft:warning');

% ---- Bad arguments: every class gets its id and names the argument ----
expect_error(@() brevant_fft(d), 'zelcores:badarg', {'usage:'});
expect_error(@() brevant_fft({1}, x), 'zelcores:badarg', 'cfg must be a 1x1 struct of settings (or [] for the defaults)');
expect_error(@() brevant_fft(struct('nfft_max', 6.5), x), 'zelcores:badarg', 'cfg.nfft_max must be a text, a logical scalar or an integer scalar');
expect_error(@() brevant_fft(d, single(x)), 'zelcores:badarg', {'x must be a full double'});
expect_error(@() brevant_fft(d, x, [1 1.5 1]), 'zelcores:badarg', 'schedule(2) must be an integer right shift');
expect_error(@() brevant_fft(d, [x x x], ones(3, 2)), 'zelcores:badarg', 'schedule has 2 columns but x has 3 frames (a vector serves every frame)');
expect_error(@() brevant_fft(d, x, [1 1 1], 'nfft'), 'zelcores:badarg', {'name-value pairs'});
expect_error(@() brevant_fft(d, x, [1 1 1], 'nfftt', 6), 'zelcores:badarg', 'unknown option ''nfftt'': expected ''nfft'' or ''inverse''');
expect_error(@() brevant_fft(d, x, [1 1 1], 'nfft', -1), 'zelcores:badarg', {'''nfft'' must be a non-negative integer'});
expect_error(@() brevant_fft(d, x, [1 1 1], 'Inverse', 2), 'zelcores:badarg', '''inverse'' must be true or false');
expect_error(@() call_outputs(4, @brevant_fft, d, x, [1 1 1]), 'zelcores:badarg', {'at most 3 outputs'});
sc = struct('function', 'sin_cos');
expect_error(@() solvine_cordic(sc, 1, 2), 'zelcores:badarg', 'sin_cos takes 1 input (phase) after cfg, got 2');
expect_error(@() call_outputs(2, @solvine_cordic, struct('function', 'atan'), 1, 1), 'zelcores:badarg', 'atan gives 1 output, 2 requested');
expect_error(@() solvine_cordic(sc, 0.3), 'zelcores:badarg', 'phase(1) = 0.29999999999999999 is not an integer word');
expect_error(@() solvine_cordic(sc, int32(3)), 'zelcores:badarg', 'phase (argument 2) must be a real double or int64 array of words');
expect_error(@() solvine_cordic(struct(), [1 2], [1 2], [1; 2]), 'zelcores:badarg', 'phase (argument 4) must have the size of x');
expect_error(@() solvine_cordic(sc, int64(2)^60), 'zelcores:badarg', 'phase(1) = 1152921504606846976 is beyond 2^53, wider than any word');

% ---- Help beside the MEX files ----
check(~isempty(strfind(evalc('help brevant_fft'), 'block_exp')), 'help brevant_fft');
check(~isempty(strfind(evalc('help solvine_cordic'), 'sinh_cosh')), 'help solvine_cordic');
printf('%d FFT and %d CORDIC cases match, bad arguments refused\n', numel(fft), numel(cordic));
