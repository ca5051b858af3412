"""zelcores.FFT against the exported C functions, and its handling of arrays and arguments."""
import warnings

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import zelcores
from conftest import CFft, Fd2, same_bits


def random_generics(rng):
    arch = int(rng.integers(1, 5))
    flt = bool(rng.random() < 0.3)
    nfft_max = int(rng.integers(6 if arch == 1 else 3, 11))
    run_time = bool(rng.random() < 0.4) and nfft_max > (6 if arch == 1 else 3)
    scaling = int(rng.integers(0, 3))
    return {"C_NFFT_MAX": nfft_max, "C_ARCH": arch, "C_HAS_NFFT": int(run_time), "C_USE_FLT_PT": int(flt),
            "C_INPUT_WIDTH": 32 if flt else int(rng.integers(8, 35)), "C_TWIDDLE_WIDTH": int(rng.integers(8, 35)),
            "C_HAS_SCALING": int(scaling > 0), "C_HAS_BFP": int(scaling == 2),
            "C_HAS_ROUNDING": int(rng.integers(0, 2))}


def random_frames(rng, g, frames, n):
    if g["C_USE_FLT_PT"]:
        x = rng.standard_normal((frames, n)) * 10.0 ** rng.uniform(-30, 30) \
            + 1j * rng.standard_normal((frames, n)) * 10.0 ** rng.uniform(-30, 30)
        x = x.astype(np.complex64).astype(np.complex128)
        specials = [np.inf, -np.inf, np.nan, 1e-40, -0.0, 3e38, -3.3e38]
        for _ in range(int(rng.integers(0, 4))):
            f, k = rng.integers(0, frames), rng.integers(0, n)
            v = specials[int(rng.integers(0, len(specials)))]
            x[f, k] = complex(x[f, k].real, v) if rng.random() < 0.5 else complex(v, x[f, k].imag)
        return x
    w = g["C_INPUT_WIDTH"]
    top = 2 ** (w - 1)
    amp = int(top * rng.uniform(0.01, 1.0))
    words = rng.integers(-amp, amp, size=(frames, n, 2))
    x = np.ldexp(words[..., 0].astype(float), 1 - w) + 1j * np.ldexp(words[..., 1].astype(float), 1 - w)
    if rng.random() < 0.2:  # off the input grid: the core rounds after a warning
        x = x + 0.3 * 2.0 ** (1 - w)
        x.real = np.minimum(x.real, 1 - 2.0 ** (1 - w))
        x.imag = np.minimum(x.imag, 1 - 2.0 ** (1 - w))
    return x


def test_random_configurations_match_the_c_interface(brevant):
    """Values, words, flags, exponents, warnings and errors of batches equal a C host running frame by frame."""
    for seed in range(150):
        rng = np.random.default_rng(seed)
        g = random_generics(rng)
        fft = zelcores.FFT.from_generics(g)
        c = CFft(brevant, g)
        try:
            log2n = int(rng.integers(3, g["C_NFFT_MAX"] + 1)) if g["C_HAS_NFFT"] else g["C_NFFT_MAX"]
            nfft = log2n if g["C_HAS_NFFT"] or rng.random() < 0.9 else log2n - 1  # else: the ignored-length warning
            n = 2 ** log2n
            frames = int(rng.integers(1, 4))
            x = random_frames(rng, g, frames, n)
            schedule = None
            stages = (log2n + 1) // 2 if g["C_ARCH"] in (1, 3) else log2n
            if rng.random() < 0.6:
                schedule = rng.integers(0, 4, size=(frames, stages))
                if g["C_ARCH"] in (1, 3) and log2n % 2:
                    schedule[:, -1] = rng.integers(0, 2 if rng.random() < 0.8 else 4, size=frames)
            words = not g["C_USE_FLT_PT"] and rng.random() < 0.3 and np.all(np.ldexp(x.real, g["C_INPUT_WIDTH"] - 1)
                                                                          % 1 == 0) and np.all(np.ldexp(
                                                                              x.imag, g["C_INPUT_WIDTH"] - 1) % 1 == 0)
            inverse = bool(rng.random() < 0.5)
            before = x.copy()

            with Fd2() as cap, warnings.catch_warnings(record=True) as seen:
                warnings.simplefilter("always")
                try:
                    arg = fft.to_words(x) if words else x
                    got = fft(arg, schedule=schedule, nfft=nfft if g["C_HAS_NFFT"] or nfft != log2n else None,
                              inverse=inverse, threads=2, words=words)
                    error = None
                except zelcores.FFTError as e:
                    error = e
            assert cap.text == "", f"seed {seed}: stray stderr {cap.text!r}"
            assert same_bits(x, before), f"seed {seed}: the caller's samples changed"

            want_lines, want_error = [], None
            sch_rows = schedule if schedule is not None else np.broadcast_to(fft.default_schedule(log2n),
                                                                             (frames, stages))
            for f in range(frames):
                code, X, be, ov, text = c.run(x[f].real, x[f].imag, sch_rows[f], nfft, not inverse)
                lines = text.splitlines()
                want_lines += [ln for ln in lines if ln.startswith("WARNING:")]
                if code:
                    want_error = (f, code, [ln for ln in lines if ln.startswith("ERROR:")])
                    break
                assert error is None, f"seed {seed}: {error}"
                assert same_bits(got.X[f], X), f"seed {seed} frame {f}: X differs"
                assert (got.block_exp[f], got.overflow[f]) == (be, ov), f"seed {seed} frame {f}"
                if not g["C_USE_FLT_PT"]:
                    w = got.words()[f]
                    assert np.array_equal(w[:, 0], np.ldexp(X.real, g["C_INPUT_WIDTH"] - 1)), f"seed {seed}"
                    assert np.array_equal(w[:, 1], np.ldexp(X.imag, g["C_INPUT_WIDTH"] - 1)), f"seed {seed}"
            assert [str(w.message) for w in seen] == want_lines, f"seed {seed}"
            assert all(w.category is zelcores.ModelWarning for w in seen)
            if want_error:
                assert error is not None, f"seed {seed}: expected {want_error}"
                assert (error.frame, error.code, [str(error)]) == want_error, f"seed {seed}"
        finally:
            c.close()


def test_one_frame_returns_scalars_and_batches_are_independent_of_threads():
    fft = zelcores.FFT(nfft_max=8, arch="radix2", scaling="bfp", rounding="convergent")
    rng = np.random.default_rng(7)
    x = fft.from_words(rng.integers(-2**15, 2**15, size=(37, 256, 2)))
    ref = [fft(frame) for frame in x]
    assert isinstance(ref[0].block_exp, int) and ref[0].X.shape == (256,)
    for threads in (1, 2, 5, 64):
        r = fft(x, threads=threads)
        assert same_bits(r.X, np.stack([q.X for q in ref])), threads
        assert list(r.block_exp) == [q.block_exp for q in ref]
        assert r.block_exp.shape == r.overflow.shape == (37,)
    # Python threads sharing one object: each call gets a model of its own when the object's is busy.
    from concurrent.futures import ThreadPoolExecutor
    with ThreadPoolExecutor(4) as pool:
        got = list(pool.map(lambda f: fft(x[f % 37], threads=1).X, range(64)))
    assert all(same_bits(g, ref[f % 37].X) for f, g in enumerate(got))


def test_complex_parts_survive_both_ways(brevant):
    """Infinite, NaN and negative-zero parts are copied, never computed (1j*inf has a NaN real part)."""
    fft = zelcores.FFT(nfft_max=3, arch="radix2", input_width=32, float_data=True)
    # Input side: an infinite imaginary part must be reported as imaginary.
    x = np.zeros(8, dtype=np.complex128)
    x[2] = complex(-0.0, np.inf)
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        r = fft(x)
    assert [str(w.message) for w in seen] == [
        "WARNING:zelfft_v9_0:simulate called with imag data values set to inf or NaN, output will be invalidated"]
    assert np.isnan(r.X.real).all() and np.isnan(r.X.imag).all()
    # Output side: results beyond single precision come back as infinities with exact other parts.
    big = np.full(8, 3e38, dtype=np.complex128)
    big.imag = -0.0
    r = fft(big)
    c = CFft(brevant, fft.generics)
    code, X, _, ov, _ = c.run(big.real, big.imag, None, 3, True)
    c.close()
    assert code == 0 and ov == 1 and r.overflow == 1
    assert np.isposinf(r.X[0].real) and same_bits(r.X, X)
    assert same_bits(r.true_X(), X)


def test_words_round_trip_and_rounding_match_the_core():
    fft = zelcores.FFT(nfft_max=6, input_width=12, scaling="none")
    rng = np.random.default_rng(3)
    x = rng.uniform(-1, 1, 64) + 1j * rng.uniform(-1, 1, 64)
    x[:4] = [0.5 * 2**-11, 1.5 * 2**-11, 1 - 2**-13, -1.0]  # ties to even, and the top clamp
    w = fft.to_words(x)
    assert list(w[:4, 0]) == [0, 2, 2**11 - 1, -2**11]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", zelcores.ModelWarning)
        rounded_by_core = fft(x)
    by_words = fft(w, words=True)
    assert same_bits(rounded_by_core.X, by_words.X)
    assert same_bits(fft.from_words(w), fft.from_words(fft.to_words(fft.from_words(w))))
    assert fft.output_width == 12 + 7
    assert np.abs(by_words.words()).max() < 2 ** (fft.output_width - 1)


@settings(max_examples=200, deadline=None)
@given(st.floats(min_value=-1.0, max_value=1.0, exclude_max=True), st.sampled_from([8, 13, 34]))
def test_to_words_rounds_as_the_core_does(v, width):
    """An impulse through an unscaled core comes out unchanged: the core's own rounding of v."""
    fft = zelcores.FFT(nfft_max=3, arch="radix2", input_width=width, scaling="none")
    x = np.zeros(8)
    x[0] = v
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", zelcores.ModelWarning)
        r = fft(x)
    assert np.all(r.X == fft.from_words(fft.to_words(v))), (v, width)


def test_arrays_are_converted_or_refused_cleanly(capfd):
    fft = zelcores.FFT(nfft_max=6, input_width=16)
    rng = np.random.default_rng(5)
    x = fft.from_words(rng.integers(-2**12, 2**12, size=(4, 64, 2)))
    ref = fft(x)
    wide = np.zeros((4, 128), dtype=np.complex128)
    wide[:, ::2] = x
    assert same_bits(fft(wide[:, ::2]).X, ref.X)                       # non-contiguous
    assert same_bits(fft(x.astype(np.complex64)).X, ref.X)             # complex64 widened exactly
    assert same_bits(fft(x.real.astype(np.float32)).X, fft(x.real + 0j).X)
    assert same_bits(fft(x, schedule=[[2, 2, 2]] * 4).X, fft(x, schedule=(2, 2, 2)).X)
    assert same_bits(fft(x).X, ref.X) and ref.X.shape == (4, 64)
    bad = [
        (ValueError, "shape", dict(x=np.zeros((2, 2, 64)))),
        (ValueError, "shape", dict(x=np.complex128(0))),
        (TypeError, "dtype", dict(x=np.array(["a"] * 64))),
        (TypeError, "integer words", dict(x=x, words=True)),
        (ValueError, "input word 32768 at frame 1, sample 3 (imaginary part)",
         dict(x=np.pad(np.zeros((1, 64, 2), np.int64), ((1, 0), (0, 0), (0, 0))) + np.array(
             [[[0, 0]] * 3 + [[0, 32768]] + [[0, 0]] * 60] * 2) * np.array([[[0]], [[1]]]), words=True)),
        (ValueError, "per frame", dict(x=x[0], schedule=[[2, 2, 2]])),
        (ValueError, "shape", dict(x=x, schedule=[[2, 2, 2]] * 3)),
        (TypeError, "integers", dict(x=x, schedule=[2.0, 2.0, 2.0])),
        (ValueError, "does not fit", dict(x=x, schedule=[2**40, 2, 2])),
        (ValueError, "threads", dict(x=x, threads=-1)),
        (ValueError, "nfft", dict(x=x, nfft=-3)),
    ]
    for exc, text, kwargs in bad:
        with pytest.raises(exc, match=text.replace("(", r"\(").replace(")", r"\)")):
            fft(**kwargs)
    with pytest.raises(zelcores.FFTError, match="incorrect xn_re_size input 32: must be 2\\^nfft = 64") as e:
        fft(x[:, :32])
    assert e.value.code == 9
    with pytest.raises(zelcores.FFTError) as e:
        fft(x, schedule=[2, 2, 4])
    assert e.value.code == 17 and str(e.value) == (
        "ERROR:zelfft_v9_0:simulate called with invalid scaling value: scaling_sch[2] = 4: all values must be "
        "in the range 0 to 3")
    with pytest.raises(ValueError, match="floating-point core"):
        zelcores.FFT(input_width=32, float_data=True).to_words(x)
    out = capfd.readouterr()
    assert out.err == "" and out.out == ""


def test_configuration_goes_through_the_shared_names(brevant, capfd):
    assert zelcores.FFT().generics == {f[0]: getattr(getattr(brevant, CFft.P + "get_default_generics")(), f[0])
                                       for f in getattr(brevant, CFft.P + "get_default_generics").restype._fields_}
    assert zelcores.FFT(arch=4).settings["arch"] == 4
    assert zelcores.FFT(arch="pipelined", scaling="none", run_time_nfft=True).generics["C_HAS_SCALING"] == 0
    for g in ({"C_NFFT_MAX": 17}, {"C_ARCH": 0, "C_HAS_NFFT": 2}, {"C_NFFT_MAX": 5},
              {"C_USE_FLT_PT": 1, "C_INPUT_WIDTH": 16}, {"C_HAS_SCALING": 0, "C_HAS_BFP": 1}):
        c = CFft(brevant, g)
        assert not c.state
        with pytest.raises(ValueError) as e:
            zelcores.FFT.from_generics(g)
        assert str(e.value) + "\n" == c.create_text
    for kwargs, text in ((dict(arch="radix8"), '"arch": expected'), (dict(input_width=16.0), '"input_width"'),
                         (dict(scaling=None), '"scaling"'), (dict(nfft_max=-1), '"nfft_max"')):
        with pytest.raises(ValueError, match=text):
            zelcores.FFT(**kwargs)
    with pytest.raises(ValueError, match='did you mean "C_NFFT_MAX"'):
        zelcores.FFT.from_generics({"C_NFFT_MAXX": 10})
    assert capfd.readouterr().err == ""


def test_direct_and_converted_arguments_agree():
    """Plain arrays and lists take the extension's direct path, other types are converted first: same results,
    schedule shifts, word checks across workers, and warnings that point at the caller's line."""
    fft = zelcores.FFT(nfft_max=7, arch="radix2", run_time_nfft=True)
    rng = np.random.default_rng(21)
    w = rng.integers(-2**15, 2**15, size=(6, 64, 2))
    x = fft.from_words(w)
    sch = rng.integers(0, 3, size=(6, 6))
    direct = fft(x, schedule=sch, nfft=6, threads=2)
    converted = fft(x.astype(np.complex64), schedule=sch.astype(np.int16), nfft=np.int64(6), threads=np.int32(2))
    assert same_bits(direct.X, converted.X) and same_bits(direct.X, fft(w, schedule=sch, words=True).X)
    assert list(direct.schedule_shift) == list(sch.sum(axis=1)) == list(converted.schedule_shift)
    one = fft(x[2], schedule=list(sch[2]), nfft=6)
    assert same_bits(one.X, direct.X[2]) and one.schedule_shift == sch[2].sum() and isinstance(one.block_exp, int)
    assert list(fft(x).schedule_shift) == [6] * 6  # the default schedule, per frame

    bad = w.copy()
    bad[4, 10, 0] = 2**15
    bad[1, 3, 1] = -2**15 - 1  # the first one, in another worker's frames
    with pytest.raises(ValueError, match=r"input word -32769 at frame 1, sample 3 \(imaginary part\)"):
        fft(bad, words=True, threads=3)

    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        fft(x[0] + 2.0**-20)  # off the grid: rounded after a warning
    assert seen and all(s.filename == __file__ and s.category is zelcores.ModelWarning for s in seen)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(zelcores.ModelWarning):
            fft(x + 2.0**-20)


def test_copies_and_pickles_are_cores_of_the_same_record():
    """FFT instances carry their core in place (for direct calls): a copy or an unpickled FFT must get a core of
    its own, with the same record and words, whether called directly or through the argument checks."""
    import copy
    import pickle

    fft = zelcores.FFT(nfft_max=6, arch="pipelined", scaling="bfp", rounding="convergent")
    x = fft.from_words(np.random.default_rng(5).integers(-2**15, 2**15, size=(64, 2)))
    want = fft(x)
    for other in (copy.copy(fft), copy.deepcopy(fft), pickle.loads(pickle.dumps(fft))):
        assert type(other) is zelcores.FFT and other.generics == fft.generics and other._handle is not fft._handle
        for got in (other(x), other(list(x)), zelcores.FFT.__call__(other, x)):
            assert same_bits(got.X, want.X) and got.block_exp == want.block_exp
