"""zelcores.Cordic against the exported C functions, its real-value helpers and its argument checks."""
import numpy as np
import pytest

import zelcores
from conftest import CCordic


def random_config(rng):
    f = int(rng.integers(0, 7))
    w = int(rng.integers(8, 49))
    fmt = int(rng.integers(0, 3)) if f == 6 else 0
    ow = w // 2 + 1 if f == 6 and fmt == 2 else int(rng.integers(8, 49))
    c = {"CordicFunction": f, "CoarseRotate": int(rng.integers(0, 2)), "DataFormat": fmt,
         "PhaseFormat": int(rng.integers(0, 2)), "InputWidth": w, "OutputWidth": ow,
         "RoundMode": int(rng.integers(0, 4)), "ScaleComp": int(rng.integers(0, 4))}
    if rng.random() < 0.2:
        c["Iterations"] = int(rng.integers(1, 49))
    if rng.random() < 0.2 and not (f == 6 and fmt == 2):
        c["Precision"] = int(rng.integers(ow, 49))
    return c


def test_random_configurations_match_the_c_interface(solvine):
    for seed in range(300):
        rng = np.random.default_rng(seed)
        cfg = random_config(rng)
        cordic = zelcores.Cordic.from_config(cfg)
        w = cfg["InputWidth"]
        lo, hi = (0, 2**w) if cordic._unsigned_root() else (-(2 ** (w - 1)), 2 ** (w - 1))
        n = int(rng.integers(1, 300))
        inputs = [rng.integers(lo, hi, size=n) for _ in cordic.input_names]
        for a in inputs:  # the extreme words too
            a[:2] = [lo, hi - 1][:min(2, n)] if n >= 2 else a[:1]
        c = CCordic(solvine, cfg)
        try:
            status, want = c.run(inputs)
        finally:
            c.close()
        assert status == 0 and not c.messages, f"seed {seed}"
        got = cordic(*inputs, threads=2)
        got = got if isinstance(got, tuple) else (got,)
        for g, e in zip(got, want):
            assert g.dtype == np.int64 and np.array_equal(g, e), f"seed {seed}: {cfg}"


def test_configuration_errors_carry_the_library_text(solvine, capfd):
    for cfg in ({"InputWidth": 7}, {"CordicFunction": 7, "InputWidth": 99},
                {"CordicFunction": 6, "DataFormat": 2, "InputWidth": 15, "OutputWidth": 9},
                {"OutputWidth": 49}, {"Precision": 15}):
        c = CCordic(solvine, cfg)
        assert not c.model and len(c.messages) == 1
        with pytest.raises(ValueError) as e:
            zelcores.Cordic.from_config(cfg)
        assert str(e.value) == c.messages[0]
    with pytest.raises(ValueError, match="Invalid value for InputWidth"):
        zelcores.Cordic("sin_cos", input_width=49)
    with pytest.raises(ValueError, match='did you mean "rounding"'):
        zelcores.Cordic.from_config({"roundng": "truncate"})
    with pytest.raises(ValueError, match='"function"'):
        zelcores.Cordic("cosine")
    assert capfd.readouterr().err == ""


def test_blocks_split_over_threads_equal_one_worker():
    cordic = zelcores.Cordic("translate", input_width=24, output_width=20, rounding="round_nearest")
    rng = np.random.default_rng(11)
    x, y = rng.integers(-2**23, 2**23, size=(2, 20001))
    ref = cordic.translate(x, y, threads=1)
    for threads in (None, 2, 3):
        got = cordic.translate(x, y, threads=threads)
        assert all(np.array_equal(a, b) for a, b in zip(got, ref)), threads
    # Broadcasting and shapes: a 2-D block and a scalar give the words of the flat call.
    m, p = cordic.translate(x[:6].reshape(2, 3), 5)
    m1, p1 = cordic.translate(x[:6], np.full(6, 5))
    assert m.shape == (2, 3) and np.array_equal(m.ravel(), m1) and np.array_equal(p.ravel(), p1)


def test_real_values_and_words():
    sc = zelcores.Cordic("sin_cos")
    r = sc.evaluate(0.3)
    assert int(r.inputs["phase"]) == round(0.3 * 2**13)
    assert abs(r.values["sin"] - np.sin(0.3)) < 4 * 2**-14 and abs(r.values["cos"] - np.cos(0.3)) < 4 * 2**-14
    scaled = zelcores.Cordic("sin_cos", phase_format="scaled", output_width=20)
    r = scaled.evaluate([0.5, -0.5])  # units of pi
    assert np.allclose(r.values["sin"], [1, -1], atol=2**-15)
    at = zelcores.Cordic("atan", input_width=20, output_width=18)
    r = at.evaluate(-1.0, 1e-5)
    assert abs(r.values["phase"] - np.pi) < 2**-12
    root = zelcores.Cordic("sqrt", data_format="unsigned_integer", input_width=16, output_width=9)
    assert list(root.sqrt([65535, 900, 4, 2, 0])) == [255, 30, 2, 1, 0]
    frac = zelcores.Cordic("sqrt", data_format="unsigned_fraction", input_width=16, output_width=16)
    assert frac.evaluate(0.25).values["root"] == 0.5
    with pytest.raises(ValueError, match="does not fit a 16-bit phase word"):
        sc.input_words("phase", 4.0)
    with pytest.raises(ValueError, match="signed_fraction"):
        zelcores.Cordic("sqrt").evaluate(0.5)


def test_word_arguments_are_checked(capfd):
    sc = zelcores.Cordic("sin_cos")
    with pytest.raises(TypeError, match="integer words"):
        sc.sin_cos(np.array([0.3]))
    with pytest.raises(ValueError, match="phase word 32768 at index 1 is outside the 16-bit signed range"):
        sc.sin_cos([0, 32768])
    with pytest.raises(ValueError, match=r"rotate\(\) needs Cordic\(function='rotate'\)"):
        sc.rotate(1, 2, 3)
    with pytest.raises(ValueError, match="do not broadcast"):
        zelcores.Cordic("atan").atan([1, 2, 3], [1, 2])
    with pytest.raises(ValueError, match="takes 1 word arrays"):
        sc(1, 2)
    assert sc.sin_cos(np.array([], dtype=np.int64))[0].shape == (0,)
    out = capfd.readouterr()
    assert out.err == "" and out.out == ""


def test_long_blocks_and_word_checks_across_workers():
    """Results of a block of many chunks (on reused storage) equal those of short blocks, and stay unchanged by
    later calls; a word out of range is reported for the first argument first."""
    sc = zelcores.Cordic("sin_cos", output_width=24)
    rng = np.random.default_rng(4)
    phase = rng.integers(-25736, 25736, size=300_001)  # 2.4 MB per output
    cos, sin = sc.sin_cos(phase)
    parts = [sc.sin_cos(p, threads=1) for p in np.array_split(phase, 150)]
    assert np.array_equal(cos, np.concatenate([c for c, _ in parts]))
    assert np.array_equal(sin, np.concatenate([s for _, s in parts]))
    tail, want = sin[-7:], sin[-7:].copy()
    del cos, sin
    for _ in range(3):
        again = sc.sin_cos(phase[::-1].copy())
    assert np.array_equal(tail, want) and np.array_equal(again[1][::-1][-7:], want)
    # Pairs in with reals out, pairs and a real in with pairs out, and the
    # square root (through the C functions), from an odd offset of the word
    # arrays.
    x, y = rng.integers(-2**15, 2**15, size=(2, 200_003))
    root = zelcores.Cordic("sqrt", data_format="unsigned_integer", input_width=16, output_width=9)
    for cordic, args in ((zelcores.Cordic("translate"), (x[1:], y[1:])),
                         (zelcores.Cordic("rotate"), (x[1:], y[1:], phase[:200_002])),
                         (root, (np.abs(x[1:]),))):
        def call(*a, **kw):
            r = cordic(*a, **kw)
            return r if isinstance(r, tuple) else (r,)
        whole = call(*args)
        parts = [call(*p, threads=1) for p in zip(*(np.array_split(a, 97) for a in args))]
        assert all(np.array_equal(w, np.concatenate([p[i] for p in parts])) for i, w in enumerate(whole))

    rot = zelcores.Cordic("rotate")
    x, y, p = np.zeros((3, 9000), dtype=np.int64)
    y[100] = 2**15
    x[8000] = -2**15 - 1
    with pytest.raises(ValueError, match="rotate: x word -32769 at index 8000 is outside the 16-bit signed range"):
        rot.rotate(x, y, p, threads=3)
    x[8000], y[100], p[5003] = 0, 0, 2**15
    with pytest.raises(ValueError, match="rotate: phase word 32768 at index 5003 is outside"):
        rot.rotate(x, y, p)
