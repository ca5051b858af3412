"""zelvec end to end: pinned hashes, thread counts, compare, bad inputs.

Runs the built command (path in $ZELVEC) on tiny run files in a temporary folder.
"""
import hashlib
import json
import math
import os
import pathlib
import subprocess

import numpy as np
import pytest

ZELVEC = os.environ["ZELVEC"]
SOURCE = pathlib.Path(os.environ["ZEL_SOURCE_DIR"])

FFT_RUN = """
frames = 3
[core]
nfft_max = 6
arch = "radix4"
input_width = 12
rounding = "convergent"
[transform]
schedule = [[2, 2, 2], [1, 1, 1], [3, 2, 1]]
[stimulus]
type = "noise"
amplitude = 0.7
seed = 11
"""

CORDIC_RUN = """
samples = 300
[core]
function = "rotate"
input_width = 14
output_width = 12
rounding = "round_half_away"
gain_compensation = true
[stimulus]
type = "random"
seed = 5
"""

# Digests of the data files of the two runs above (name and sha256 of each
# file, in manifest order). They change only when a model's words, a file
# layout or a generator changes; any such change must be deliberate.
PINNED = {
    "fft": "867596da20abe438630cb38da097d5c11985a1e4c71d8560bd5104de6fbc5633",
    "cordic": "a2c735e3fa9acdea3baa7a91fbbfe464c83f4f2c3387f454227450def4685139",
}


def zelvec(*args, check=None):
    r = subprocess.run([ZELVEC, *map(str, args)], capture_output=True, text=True)
    if check is not None:
        assert r.returncode == check, r.stdout + r.stderr
    return r


def generate(tmp_path, kind, text, name="set", *extra):
    run = tmp_path / "run.toml"
    run.write_text(text)
    zelvec(kind, run, "-o", tmp_path / name, "-q", *extra, check=0)
    return tmp_path / name


def set_digest(folder):
    manifest = json.loads((folder / "manifest.json").read_text())
    lines = []
    for f in manifest["files"]:
        data = (folder / f["name"]).read_bytes()
        assert hashlib.sha256(data).hexdigest() == f["sha256"], f["name"]
        lines.append(f"{f['name']} {f['sha256']}\n")
    return hashlib.sha256("".join(lines).encode()).hexdigest()


@pytest.mark.parametrize("kind,text", [("fft", FFT_RUN), ("cordic", CORDIC_RUN)])
def test_hashes_pinned_and_independent_of_threads(tmp_path, kind, text):
    one = generate(tmp_path, kind, text, "one", "-j", 1)
    three = generate(tmp_path, kind, text, "three", "-j", 3)
    for f in sorted(p.name for p in one.iterdir()):
        assert (one / f).read_bytes() == (three / f).read_bytes(), f
    assert set_digest(one) == PINNED[kind]


def test_npy_and_hex_agree_and_words_mean_what_the_manifest_says(tmp_path):
    # Schedule-scaled tones: words x 2^(shift) / 2^(W-1) is the DFT of the
    # input words / 2^(W-1), up to the core's rounding.
    run = """
frames = 2
[core]
nfft_max = 7
arch = "radix2"
input_width = 16
[transform]
schedule = [1, 1, 1, 1, 1, 1, 1]
[stimulus]
type = "tones"
tones = [{ bin = 5, amplitude = 0.5 }, { bin = -20.25, amplitude = 0.25, phase = 0.1 }]
"""
    out = generate(tmp_path, "fft", run)
    m = json.loads((out / "manifest.json").read_text())
    assert m["scaling"]["total_shift"] == 7
    x = np.load(out / "input_re.npy") + 1j * np.load(out / "input_im.npy")
    y = np.load(out / "output_re.npy") + 1j * np.load(out / "output_im.npy")
    assert x.shape == y.shape == (2, 128) and np.load(out / "output_re.npy").dtype == np.int64
    # The generator, sample by sample: time runs on across frames, the phase
    # is reduced to one cycle, each part rounded half to even.
    want = []
    for t in range(256):
        c = [math.fmod(b * t / 128 + p, 1.0) for b, p in ((5, 0), (-20.25, 0.1))]
        want.append(complex(round(2**15 * (0.5 * math.cos(2 * math.pi * c[0]) + 0.25 * math.cos(2 * math.pi * c[1]))),
                            round(2**15 * (0.5 * math.sin(2 * math.pi * c[0]) + 0.25 * math.sin(2 * math.pi * c[1])))))
    assert np.array_equal(x.ravel(), want)
    ref = np.fft.fft(x / 2**15, axis=1)
    err = np.abs(y * 2.0**7 / 2**15 - ref).max()
    assert err < 8 * 2.0**-8, err  # 8 LSBs of the output words
    sqnr = 10 * np.log10(np.sum(np.abs(ref) ** 2) / np.sum(np.abs(y * 2.0**7 / 2**15 - ref) ** 2))
    assert m["sqnr_db"] == pytest.approx(sqnr, abs=0.006)
    hex_words = [int(v, 16) for v in (out / "output_re.hex").read_text().split()]
    assert [w - (1 << 16) if w >> 15 else w for w in hex_words] == list(y.real.astype(int).ravel())


@pytest.mark.parametrize("core,points,width,word,block_exp", [
    # Full growth: output words wider than the input but on the same grid.
    ('nfft_max = 5\narch = "pipelined"\ninput_width = 10\nscaling = "none"', 32, 16, "ff00", 0),
    # Single precision: the bit patterns of -0.5.
    ('nfft_max = 6\narch = "radix2"\nfloat_data = true\ninput_width = 32', 64, 32, "bf000000", 0),
    # Run-time length: frames of 2^nfft, not 2^nfft_max; block floating point
    # gives -0.25 x 2^1.
    ('nfft_max = 6\narch = "radix2"\nrun_time_nfft = true\ninput_width = 10\nscaling = "bfp"\n'
     '[transform]\nnfft = 4', 16, 10, "380", 1),
])
def test_impulse_gives_its_height_in_every_bin(tmp_path, core, points, width, word, block_exp):
    run = f"""
frames = 2
[stimulus]
type = "impulse"
amplitude = -0.5
[core]
{core}
"""
    out = generate(tmp_path, "fft", run)
    files = {f["name"]: f for f in json.loads((out / "manifest.json").read_text())["files"]}
    assert files["output_re.hex"]["word_width"] == width
    assert files["output_re.hex"]["frame_length"] == points
    assert (out / "output_re.hex").read_text() == (word + "\n") * (2 * points)
    assert (out / "output_im.hex").read_text() == ("0" * len(word) + "\n") * (2 * points)
    assert (out / "frame_block_exp.hex").read_text() == f"{block_exp:02x}\n" * 2


def test_per_frame_schedules_reach_their_own_frames(tmp_path):
    # More frames than one batch of work, each with its own schedule: an
    # impulse of 2^-3 comes out as 2^-3 / 2^(sum of that frame's schedule).
    frames = 600
    sched = [[f % 2, (f // 2) % 2, (f // 4) % 2] for f in range(frames)]
    run = f"""
frames = {frames}
formats = ["npy"]
[core]
nfft_max = 3
arch = "radix2"
input_width = 8
[transform]
schedule = {sched}
[stimulus]
type = "impulse"
amplitude = 0.125
"""
    out = generate(tmp_path, "fft", run, "set", "-j", 2)
    y = np.load(out / "output_re.npy")
    expected = np.array([16 >> sum(s) for s in sched])
    assert (y == expected[:, None]).all()
    words = np.load(out / "schedule_word.npy")
    assert list(words) == [s[0] + 4 * s[1] + 16 * s[2] for s in sched]


@pytest.mark.parametrize("function,check", [
    ("sin_cos", lambda i, o: (np.cos(i["phase"] / 2**13), np.sin(i["phase"] / 2**13), o["cos"], o["sin"])),
    ("translate", lambda i, o: (np.hypot(i["x"], i["y"]) / 2**14, np.arctan2(i["y"], i["x"]),
                                o["magnitude"] * 1.0, o["phase"] * 1.0)),
])
def test_cordic_ports_carry_their_quantities(tmp_path, function, check):
    # Output words hold the named quantity at the documented binary point.
    run = f"""
samples = 200
formats = ["npy"]
[core]
function = "{function}"
gain_compensation = {str(function != "sin_cos").lower()}
[stimulus]
type = "sweep"
"""
    out = generate(tmp_path, "cordic", run)
    m = json.loads((out / "manifest.json").read_text())
    ins = {k[6:]: np.load(out / f"{k}.npy") for k in m["ports"] if k.startswith("input_")}
    outs = {k[7:]: np.load(out / f"{k}.npy") for k in m["ports"] if k.startswith("output_")}
    a, b, wa, wb = check(ins, outs)
    if function == "translate":
        wa, wb = wa / 2**14, wb / 2**13
        assert np.abs(np.angle(np.exp(1j * (wb - b)))).max() < 1e-3
        assert np.abs(wa - a).max() < 1e-3
    else:
        assert np.abs(wa / 2**14 - a).max() < 1e-3 and np.abs(wb / 2**14 - b).max() < 1e-3


def test_compare_finds_a_flipped_bit_where_it_is(tmp_path):
    out = generate(tmp_path, "fft", FFT_RUN)
    sim = tmp_path / "sim"
    sim.mkdir()
    words = (out / "output_im.hex").read_text().split("\n")
    frame, index = 2, 37
    w = int(words[frame * 64 + index], 16) ^ 0x4
    words[frame * 64 + index] = f"{w:03x}"
    (sim / "output_im.hex").write_text("\n".join(words))
    (sim / "output_re.hex").write_text((out / "output_re.hex").read_text())

    r = zelvec("compare", out / "manifest.json", sim, check=1)
    listed = [l for l in r.stdout.splitlines() if "expected" in l and "actual" in l]
    assert len(listed) == 1 and f"output_im.hex: frame {frame}, index {index}:" in listed[0], r.stdout
    assert "LSB" in listed[0]
    zelvec("compare", out / "manifest.json", sim, "--tolerance", 4, check=0)
    zelvec("compare", out / "output_re.hex", sim / "output_re.hex", check=0)
    # A copy of the whole set is equal in every format.
    r = zelvec("compare", out, out, check=0)
    assert r.stdout.startswith("EQUAL")


def test_packed_hex_holds_im_over_re(tmp_path):
    out = generate(tmp_path, "fft", 'packed = true\nformats = ["hex"]\n' + FFT_RUN)
    assert sorted(p.name for p in out.iterdir()) == [
        "frame_block_exp.hex", "frame_overflow.hex", "input.hex", "manifest.json", "output.hex",
        "schedule_word.hex"]
    first = (out / "input.hex").read_text().split()[0]
    assert len(first) == 6  # two 12-bit words
    sim = tmp_path / "sim"
    sim.mkdir()
    (sim / "output.hex").write_text((out / "output.hex").read_text())
    zelvec("compare", out, sim, check=0)


BAD = [
    ("fft", FFT_RUN.replace("nfft_max", "nfft_maxx"), "set.toml:4:1: core: unknown FFT setting \"nfft_maxx\"; did you mean \"nfft_max\"?"),
    ("fft", FFT_RUN.replace("frames = 3", "frame = 3"), "set.toml:2:1: frame: unknown key; did you mean \"frames\"?"),
    ("fft", FFT_RUN.replace("frames = 3", 'frames = "3"'), "frames: expected an integer from 1 to 10000000, found a text"),
    ("fft", FFT_RUN.replace("input_width = 12", "input_width = 40"),
     "core: ERROR:zelfft_v9_0:create_state called with invalid C_INPUT_WIDTH generic: must be in the range 8 to 34: Value is 40"),
    ("fft", FFT_RUN.replace("[3, 2, 1]", "[3, 2, 4]"),
     "transform.schedule: frame 2: ERROR:zelfft_v9_0:simulate called with invalid scaling value: scaling_sch[2] = 4"),
    ("fft", FFT_RUN.replace("[1, 1, 1]", "[1, 1]"), "transform.schedule: expected 3 stage shifts for nfft 6, found 2"),
    ("fft", FFT_RUN.replace("seed = 11", "seed = 11\nseed = 12"), "set.toml:14:8: Error while parsing key-value pair: cannot redefine existing integer 'seed'"),
    ("fft", FFT_RUN.replace('type = "noise"', 'type = "nois"'), "stimulus.type: expected \"impulse\""),
    ("cordic", CORDIC_RUN.replace("output_width = 12", "output_width = 60"),
     "core: ERROR: Output width must be between 8 and 48 "),
    ("cordic", CORDIC_RUN.replace('"rotate"', '"rotat"'), "core: "),
    # A readable name and a raw field of the same record field: neither may win silently.
    ("fft", FFT_RUN.replace('rounding = "convergent"', 'rounding = "convergent"\nC_HAS_BFP = 1\nscaling = "schedule"'),
     'set.toml:9:1: core: "C_HAS_BFP" and "scaling" both set the record field C_HAS_BFP; give only one of them'),
    ("cordic", CORDIC_RUN.replace('[core]', '[core]\nCordicFunction = 0'),
     'set.toml:5:1: core: "CordicFunction" and "function" both set the record field CordicFunction; give only'),
]


@pytest.mark.parametrize("kind,text,message", BAD)
def test_bad_run_file_exit_2_one_line_no_output(tmp_path, kind, text, message):
    run = tmp_path / "set.toml"
    run.write_text(text)
    r = zelvec(kind, run, "-o", tmp_path / "out")
    assert r.returncode == 2
    assert r.stdout == ""
    assert r.stderr.count("\n") == 1 and message in r.stderr, r.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["set.toml"]


def stimulus_file_run(name):
    return f"""
frames = 2
[core]
nfft_max = 3
arch = "radix2"
input_width = 8
[stimulus]
type = "file"
re = "{name}"
"""


@pytest.mark.parametrize("name,content,message", [
    ("re.hex", "01\n" * 15 + "100\n", "re.hex:16: word '100' is wider than 8 bits"),
    ("re.hex", "01\n" * 15, "re.hex: holds 15 words; the run needs 2 frames x 8 = 16"),
    ("re.npy", None, "re.npy: truncated: the header announces 16 values, the file holds 15"),
    ("re.csv", "re\n" + "300\n" * 16, "re.csv: word 0 (300) does not fit 8-bit signed input words"),
    ("missing.hex", "", "missing.hex: cannot read"),
])
def test_bad_stimulus_file_exit_2_no_output(tmp_path, name, content, message):
    run = tmp_path / "set.toml"
    run.write_text(stimulus_file_run(name))
    if name == "re.npy":
        buf = tmp_path / "full.npy"
        np.save(buf, np.arange(16, dtype=np.int64))
        (tmp_path / name).write_bytes(buf.read_bytes()[:-8])
        buf.unlink()
    elif name != "missing.hex":
        (tmp_path / name).write_text(content)
    before = sorted(p.name for p in tmp_path.iterdir())
    r = zelvec("fft", run, "-o", tmp_path / "out")
    assert r.returncode == 2 and message in r.stderr and r.stderr.count("\n") == 1, r.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == before


def test_stimulus_files_written_by_a_bench_are_read_back(tmp_path):
    # An int16 .npy made by numpy goes through and comes back as the input words.
    run = tmp_path / "set.toml"
    run.write_text(stimulus_file_run("re.npy") + 'im = "im.csv"\n')
    re = np.array([-128, 127, 0, 1, -1, 5, 6, 7] * 2, dtype=np.int16)
    np.save(tmp_path / "re.npy", re)
    (tmp_path / "im.csv").write_text("im\n" + "".join(f"{v}\n" for v in range(-8, 8)))
    zelvec("fft", run, "-o", tmp_path / "out", "-q", check=0)
    assert list(np.load(tmp_path / "out" / "input_re.npy").ravel()) == list(re)
    assert list(np.load(tmp_path / "out" / "input_im.npy").ravel()) == list(range(-8, 8))


def test_compare_unreadable_input_is_exit_2(tmp_path):
    (tmp_path / "a.hex").write_text("001\n002\n")
    (tmp_path / "b.hex").write_text("001\nzz2\n")
    r = zelvec("compare", tmp_path / "a.hex", tmp_path / "b.hex")
    assert r.returncode == 2 and "b.hex:2:" in r.stderr


def test_shipped_run_files_work(tmp_path):
    for kind in ("fft", "cordic"):
        r = zelvec(kind, SOURCE / "examples" / "runs" / f"{kind}.toml", "-o", tmp_path / kind, check=0)
        assert str(tmp_path / kind) in r.stdout
    assert "SQNR" in zelvec("fft", SOURCE / "examples" / "runs" / "fft.toml", "-o", tmp_path / "fft").stdout


def test_only_a_vector_set_is_ever_replaced(tmp_path):
    out = generate(tmp_path, "fft", FFT_RUN)
    generate(tmp_path, "fft", FFT_RUN.replace("seed = 11", "seed = 12"))  # a set: replaced
    assert json.loads((out / "manifest.json").read_text())["seeds"] == [12]
    mine = tmp_path / "mine"
    mine.mkdir()
    (mine / "notes.txt").write_text("keep")
    r = zelvec("fft", tmp_path / "run.toml", "-o", mine)
    assert r.returncode == 2 and "not a vector set" in r.stderr
    assert [p.name for p in mine.iterdir()] == ["notes.txt"]


@pytest.mark.parametrize("keys", [
    're = "a/input_re.hex"\nim = "a/input_im.hex"',
    're = "a/input_re.npy"\nim = "a/input_im.npy"',
    're = "a/input.csv"\nim = "a/input.csv"',
])
def test_a_set_s_stimulus_files_reproduce_it(tmp_path, keys):
    # Files zelvec writes are stimulus files zelvec reads: the same words in,
    # the same expected results out.
    a = generate(tmp_path, "fft", FFT_RUN, "a")
    run = FFT_RUN[:FFT_RUN.index("[stimulus]")] + f'[stimulus]\ntype = "file"\n{keys}\n'
    b = generate(tmp_path, "fft", run, "b")
    for name in ("output_re.hex", "output_im.hex", "input_re.npy", "frame.csv"):
        assert (a / name).read_bytes() == (b / name).read_bytes(), name


def test_compare_reports_a_short_simulation(tmp_path):
    out = generate(tmp_path, "fft", FFT_RUN)
    sim = tmp_path / "sim"
    sim.mkdir()
    (sim / "output_re.hex").write_text("".join((out / "output_re.hex").read_text().splitlines(True)[:100]))
    r = zelvec("compare", out, sim, check=1)
    assert "output_re.hex: the actual file holds 100 words, 192 expected" in r.stdout
