"""zelcores.sweep: reproducibility across engines and chunkings, the measurement against direct
computations, the advisor, plots and sweep-file errors."""
from __future__ import annotations

import os

import numpy as np
import pytest

import zelcores
from zelcores import sweep
from zelcores.sweep.__main__ import main

FFT_SWEEP = {
    "sweep": {"model": "fft", "seed": 11, "frames": 3},
    "fft": {"arch": ["radix4", "radix2", "pipelined"], "nfft": [6, 7], "input_width": [10, 16],
            "scaling": ["schedule", "bfp", "none"], "schedule": ["safe", 2, "advised"],
            "rounding": "convergent", "float_data": [False, True], "stimulus": ["noise", "tones", "chirp"]},
}
CORDIC_SWEEP = {
    "sweep": {"model": "cordic", "seed": 5, "samples": 300},
    "cordic": {"function": ["rotate", "translate", "sin_cos", "atan", "sinh_cosh", "atanh", "sqrt"],
               "width": [10, 20], "iterations": [0, 9], "gain_compensation": [False, True],
               "data_format": "unsigned_fraction"},
}


def same(a, b):
    """Rows equal, NaN equal to NaN."""
    return repr(a.rows) == repr(b.rows) and np.array_equal(a.hists, b.hists)


@pytest.fixture(scope="module")
def client():
    from distributed import Client
    cluster = sweep.local_cluster(2)
    c = Client(cluster)
    yield c
    c.close()
    cluster.close()


# Every combination once: single-precision cores have no width, scaling or
# schedule of their own, only scheduled cores a schedule, only sqrt a format.
POINTS = {"fft": 3 * 2 * 3 * (2 * (3 + 1 + 1) + 1), "cordic": 7 * 2 * 2 * 2}


@pytest.mark.parametrize("sweep_file", [FFT_SWEEP, CORDIC_SWEEP], ids=["fft", "cordic"])
def test_same_results_in_process_on_a_cluster_and_in_other_chunks(sweep_file, client, tmp_path):
    sw = sweep.parse_sweep(sweep_file, "t.toml")
    assert len(sw.points) == POINTS[sw.model]
    one = sweep.run_sweep(sw, workers=0, chunk_points=len(sw.points))
    small = sweep.run_sweep(sw, workers=0, chunk_points=3)
    dist = sweep.run_sweep(sw, client=client, chunk_points=7)
    by_address = sweep.run_sweep(sw, scheduler=client.scheduler.address, chunk_points=len(sw.points))
    assert len(one.rows) == len(sw.points)
    assert same(one, small) and same(one, dist) and same(one, by_address)
    # Plots are written, non-empty, with their data beside them.
    files = sweep.write_results(dist, str(tmp_path))
    pngs = [f for f in files if f.endswith(".png")]
    assert len(pngs) >= 2
    for f in pngs:
        assert open(f, "rb").read(8) == b"\x89PNG\r\n\x1a\n" and os.path.getsize(f) > 5000
        assert len(open(f[:-4] + ".csv").readlines()) > 1
    assert len(open(tmp_path / "results.csv").readlines()) == len(sw.points) + 1


def test_sqnr_of_unscaled_radix4_noise_agrees_with_a_direct_computation(tmp_path):
    # Full-scale uniform noise on the 16-bit grid, as the user's own frames.
    rng = np.random.default_rng(3)
    frames = rng.integers(-2**15, 2**15, (4, 256, 2)) / 2**15
    x = frames[..., 0] + 1j * frames[..., 1]
    np.save(tmp_path / "x.npy", x)
    sw = sweep.parse_sweep({"sweep": {"model": "fft", "frames": 4},
                            "fft": {"arch": "radix4", "nfft": 8, "input_width": 16, "scaling": "none",
                                    "stimulus": "file", "frames_file": "x.npy"}}, str(tmp_path / "t.toml"))
    row = sweep.run_sweep(sw, workers=0).rows[0]
    fft = zelcores.FFT(nfft_max=8, arch="radix4", input_width=16, scaling="none")
    X = fft(x).X
    ref = np.fft.fft(x, axis=1)
    direct = 10 * np.log10(np.sum(np.abs(ref) ** 2) / np.sum(np.abs(X - ref) ** 2))
    assert row["sqnr_db"] == pytest.approx(direct, abs=1e-9)
    assert 80 < direct < 110
    err = np.concatenate([(X - ref).real.ravel(), (X - ref).imag.ravel()]) * 2**15
    assert row["max_err_lsb"] == pytest.approx(np.abs(err).max(), rel=1e-12)


@pytest.mark.parametrize("arch", ["radix4", "radix2", "pipelined"])
def test_reference_is_at_the_output_scale_of_every_scaling(arch):
    # A wrong schedule shift or block exponent sign would put the error at
    # thousands of LSBs; truncation bias, which gathers in the DC bin, keeps
    # it within a few tens.
    sweep_file = {"sweep": {"model": "fft", "seed": 1, "frames": 3},
            "fft": {"arch": arch, "nfft": [6, 7], "input_width": 16, "twiddle_width": 30,
                    "scaling": ["schedule", "bfp", "none"],
                    "float_data": [False, True], "stimulus": ["noise", "chirp"]}}
    for row in sweep.run_sweep(sweep.parse_sweep(sweep_file), workers=0).rows:
        assert row["overflow_rate"] == 0.0
        assert row["max_err_lsb"] < 32, row
        assert row["sqnr_db"] > (130 if row["float_data"] else 55), row


def test_stimuli_reach_full_scale_less_the_backoff_at_the_asked_crest_factor():
    for kind in ("noise", "tones", "chirp"):
        for backoff in (0.0, 6.0):
            x = sweep.stimulus({"stimulus": kind, "nfft": 10, "crest_db": 12.0, "backoff_db": backoff}, 4, 1, 3)
            parts = np.stack([x.real, x.imag])
            peak = np.abs(parts).max(axis=(0, 2))
            full = 10 ** (-backoff / 20)
            assert np.all(peak <= full * (1 + 1e-12)), (kind, backoff)
            if kind == "noise":  # RMS at full scale less the crest factor, peaks beyond clipped
                crest = 20 * np.log10(full / np.sqrt(np.mean(parts ** 2, axis=(0, 2))))
                assert np.all(np.abs(crest - 12.0) < 0.3), crest
            else:
                assert np.allclose(peak, full, rtol=1e-12), (kind, backoff)


@pytest.mark.parametrize("arch, nfft", [("radix4", 8), ("radix4", 7), ("radix2", 6), ("pipelined", 9)])
def test_advisor_never_overflows_and_one_bit_less_does(arch, nfft):
    fft = zelcores.FFT(nfft_max=nfft, arch=arch, input_width=16, scaling="schedule", rounding="convergent")
    for kind in ("noise", "tones"):
        x = sweep.stimulus({"stimulus": kind, "nfft": nfft, "crest_db": 10.0, "backoff_db": 0.0}, 6, 9, 3)
        words = sweep.quantise(fft, x)
        adv = sweep.advise_schedule(fft, words)
        ok = fft(words, schedule=adv.schedule, words=True)
        assert not ok.overflow.any()
        assert adv.aggressive is not None and adv.aggressive.sum() == adv.schedule.sum() - 1
        assert fft(words, schedule=adv.aggressive, words=True).overflow.any()
        safe = sweep.FrameRun(fft, words, None, sweep.safe_schedule(fft)).sqnr_db()
        assert adv.sqnr_db >= safe
        assert adv.headroom_bits >= 0


def test_first_overflow_stage():
    fft = zelcores.FFT(nfft_max=6, arch="radix4", input_width=12, scaling="schedule")
    words = np.zeros((2, 64, 2), dtype=np.int64)
    words[0, :, 0] = 2**11 - 1           # full-scale DC: grows fourfold in the first stage
    words[1, 0, 0] = 2**11 - 1           # an impulse: flat spectrum, never grows
    assert list(sweep.first_overflow_stages(fft, words, np.array([0, 0, 0]))) == [0, -1]
    # Enough shift early that only a later stage overflows.
    assert list(sweep.first_overflow_stages(fft, words[:1], np.array([2, 0, 0]))) == [1]
    assert list(sweep.first_overflow_stages(fft, words[:1], np.array([2, 2, 0]))) == [2]
    assert list(sweep.first_overflow_stages(fft, words[:1], np.array([2, 2, 2]))) == [-1]


def test_cordic_reference_matches_every_function_within_a_few_lsb():
    sweep_file = {"sweep": {"model": "cordic", "seed": 2, "samples": 400},
            "cordic": {"function": ["rotate", "translate", "sin_cos", "atan", "sinh_cosh", "atanh", "sqrt"],
                       "width": [12, 32], "rounding": "round_nearest", "gain_compensation": [False, True],
                       "phase_format": ["radians", "scaled"], "coarse_rotation": [True, False],
                       "data_format": ["unsigned_fraction", "unsigned_integer"]}}
    for row in sweep.run_sweep(sweep.parse_sweep(sweep_file), workers=0).rows:
        assert row["max_err_lsb"] < 4, row
    # Too few iterations leave an error of many LSBs, and the row says where.
    sweep_file["cordic"] = {"function": "sin_cos", "width": 16, "iterations": 4}
    row = sweep.run_sweep(sweep.parse_sweep(sweep_file), workers=0).rows[0]
    assert row["max_err_lsb"] > 100 and row["worst_input"].startswith("phase=")


@pytest.mark.parametrize("text, expect", [
    ("[sweep]\nmodel = 'fft'\n[fft]\narchs = 'radix4'\n", "[fft] archs: unknown key; did you mean 'arch'?"),
    ("[sweep]\nmodel = 'fft'\n[fft]\narch = 'radix3'\n", "arch = 'radix3'"),
    ("[sweep]\nmodel = 'fft'\n[fft]\nnfft = 17\n", "[fft] nfft: expected a whole number from 3 to 16"),
    ("[sweep]\nmodel = 'fft'\n[fft]\nschedule = [2, 2]\n", "[fft] schedule: schedule [2, 2] has 2 stages"),
    ("[sweep]\nmodel = 'fft'\n[fft]\nstimulus = 'nois'\n", "did you mean 'noise'?"),
    ("[sweep]\nmodel = 'fft'\nframes = 0\n[fft]\n", "[sweep] frames: expected a whole number"),
    ("[sweep]\nmodel = 'cordic'\n[cordic]\nwidth = 60\n", "[cordic] point"),
    ("[sweep]\nmodel = 'cordic'\n[fft]\n", "needs a [cordic] table"),
    ("[sweep\nmodel = 'fft'\n", "not valid TOML"),
])
def test_bad_sweep_file_exits_2_naming_the_file_and_key(tmp_path, capsys, text, expect):
    path = tmp_path / "bad.toml"
    path.write_text(text)
    assert main([str(path), "--workers", "0", "--out", str(tmp_path / "out")]) == 2
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and str(path) in err and expect in err, err
    assert not (tmp_path / "out").exists()
