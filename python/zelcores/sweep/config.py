"""Sweep files: a TOML file read with tomllib, checked in full before anything runs.

    [sweep]
    model = "fft"             # or "cordic"
    seed = 1                  # every point's stimulus is drawn from this and its own coordinates
    frames = 4                # fft: frames per point
    samples = 2000            # cordic: input samples per point
    chunk_points = 25         # points per distributed task
    output = "results"        # directory for results.csv and the plots

    [fft]                     # each key: one value or a list; the sweep is every combination
    arch = ["radix4", "radix2", "pipelined"]
    nfft = [6, 8]
    ...

Every mistake raises :class:`SweepError` naming the file and the key; the
command turns it into exit status 2.
"""
from __future__ import annotations

import difflib
import itertools
import math
import os
import tomllib
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Tuple

import numpy as np

__all__ = ["SweepError", "Sweep", "load_sweep", "parse_sweep", "FFT_AXES", "CORDIC_AXES"]


class SweepError(ValueError):
    """A sweep file that cannot run: the text names the file and the key."""


SWEEP_KEYS = ("model", "seed", "frames", "samples", "chunk_points", "output", "title")

# Axes of an FFT sweep in the order of the coordinates (and of the CSV columns).
# Core settings go to zelcores.FFT under their own names; the rest belong to
# the sweep.
FFT_SETTINGS = ("arch", "input_width", "twiddle_width", "scaling", "rounding", "float_data")
FFT_AXES = ("arch", "nfft", "input_width", "twiddle_width", "scaling", "schedule", "rounding", "float_data",
            "stimulus", "crest_db", "backoff_db")
FFT_SINGLE = ("tones", "frames_file")  # one value for the whole sweep
STIMULI = ("noise", "tones", "chirp", "file")

CORDIC_SETTINGS = ("function", "input_width", "output_width", "iterations", "precision", "rounding",
                   "coarse_rotation", "gain_compensation", "phase_format", "data_format")
CORDIC_AXES = CORDIC_SETTINGS
CORDIC_SINGLE = ("width",)  # shorthand: input_width = output_width = width

FFT_DEFAULTS: Dict[str, Any] = {
    "arch": "radix4", "nfft": 6, "input_width": 16, "twiddle_width": 16, "scaling": "schedule",
    "schedule": "safe", "rounding": "truncate", "float_data": False, "stimulus": "noise",
    "crest_db": 12.0, "backoff_db": 0.0,
}
CORDIC_DEFAULTS: Dict[str, Any] = {
    "function": "rotate", "input_width": 16, "output_width": 16, "iterations": 0, "precision": 0,
    "rounding": "truncate", "coarse_rotation": True, "gain_compensation": False, "phase_format": "radians",
    "data_format": "unsigned_fraction",
}


@dataclass
class Sweep:
    """A checked sweep: its points (dicts of coordinates) and its run settings."""

    path: str
    model: str
    seed: int
    points: List[Dict[str, Any]]
    frames: int = 4
    samples: int = 2000
    chunk_points: int = 25
    output: str = "sweep_results"
    title: str = ""
    tones: int = 3
    user_frames: Optional[np.ndarray] = field(default=None, repr=False)

    def task_settings(self) -> Dict[str, Any]:
        """What a task needs besides its points (picklable, small except the user's frames)."""
        return {"model": self.model, "seed": self.seed, "frames": self.frames, "samples": self.samples,
                "tones": self.tones, "user_frames": self.user_frames}


def _hint(word: str, choices) -> str:
    close = difflib.get_close_matches(word, list(choices), n=1)
    return f"; did you mean {close[0]!r}?" if close else ""


def _where(path: str, table: str, key: str) -> str:
    return f"{path}: [{table}] {key}"


def _is_int(v: Any) -> bool:
    return isinstance(v, int) and not isinstance(v, bool)


def _int(path: str, table: str, key: str, v: Any, lo: int, hi: int) -> int:
    if not _is_int(v) or not lo <= v <= hi:
        raise SweepError(f"{_where(path, table, key)}: expected a whole number from {lo} to {hi}, got {v!r}")
    return v


def _number(path: str, table: str, key: str, v: Any, lo: float, hi: float) -> float:
    if isinstance(v, bool) or not isinstance(v, (int, float)) or not (lo <= v <= hi):
        raise SweepError(f"{_where(path, table, key)}: expected a number from {lo} to {hi}, got {v!r}")
    return float(v)


def _schedule_value(path: str, v: Any):
    """'safe', 'advised', n (bits taken from the safe schedule) or an explicit list of shifts."""
    where = _where(path, "fft", "schedule")
    if isinstance(v, str):
        if v not in ("safe", "advised"):
            raise SweepError(f"{where}: unknown schedule {v!r} (use \"safe\", \"advised\", a number of bits to "
                             f"take from the safe schedule, or a list of shifts){_hint(v, ('safe', 'advised'))}")
        return v
    if _is_int(v):
        if not 0 <= v <= 32:
            raise SweepError(f"{where}: bits taken from the safe schedule must be 0 to 32, got {v}")
        return v
    if isinstance(v, list) and v and all(_is_int(s) and 0 <= s <= 3 for s in v):
        return tuple(v)
    raise SweepError(f"{where}: a schedule is \"safe\", \"advised\", a whole number or a list of shifts 0..3, "
                     f"got {v!r}")


def _values(path: str, table: str, key: str, raw: Any) -> List[Any]:
    # A list is a list of values, except for schedule where a list of whole
    # numbers is one explicit schedule and a list of lists several.
    if key == "schedule":
        if isinstance(raw, list) and raw and all(_is_int(s) for s in raw):
            raw = [raw]
        vals = raw if isinstance(raw, list) else [raw]
        if not vals:
            raise SweepError(f"{_where(path, table, key)}: empty list")
        return [_schedule_value(path, v) for v in vals]
    vals = raw if isinstance(raw, list) else [raw]
    if not vals:
        raise SweepError(f"{_where(path, table, key)}: empty list")
    for v in vals:
        if isinstance(v, (list, dict)):
            raise SweepError(f"{_where(path, table, key)}: expected a value or a list of values, got {v!r}")
    return vals


def _check_fft_axis(path: str, key: str, v: Any) -> Any:
    if key == "nfft":
        return _int(path, "fft", key, v, 3, 16)
    if key == "stimulus":
        if v not in STIMULI:
            raise SweepError(f"{_where(path, 'fft', key)}: unknown stimulus {v!r} (one of "
                             f"{', '.join(STIMULI)}){_hint(str(v), STIMULI)}")
        return v
    if key == "crest_db":
        return _number(path, "fft", key, v, 3.0, 40.0)
    if key == "backoff_db":
        return _number(path, "fft", key, v, 0.0, 120.0)
    return v  # core settings: the model's own names check them


def _unknown(path: str, table: str, key: str, known) -> SweepError:
    return SweepError(f"{_where(path, table, key)}: unknown key{_hint(key, known)} (known: {', '.join(known)})")


def load_sweep(path: str) -> Sweep:
    """Reads and checks a sweep file; every point's core is built once to check it."""
    try:
        with open(path, "rb") as f:
            data = tomllib.load(f)
    except FileNotFoundError:
        raise SweepError(f"{path}: no such file") from None
    except OSError as e:
        raise SweepError(f"{path}: cannot read: {e.strerror}") from None
    except tomllib.TOMLDecodeError as e:
        raise SweepError(f"{path}: not valid TOML: {e}") from None
    return parse_sweep(data, path)


def parse_sweep(data: Dict[str, Any], path: str = "<sweep>") -> Sweep:
    """Checks a parsed sweep file (a dict as tomllib gives it) and lists its points."""
    for table in data:
        if table not in ("sweep", "fft", "cordic"):
            raise SweepError(f"{path}: unknown table [{table}]{_hint(table, ('sweep', 'fft', 'cordic'))}")
    head = data.get("sweep")
    if not isinstance(head, dict):
        raise SweepError(f"{path}: missing [sweep] table (with model = \"fft\" or \"cordic\")")
    for key in head:
        if key not in SWEEP_KEYS:
            raise _unknown(path, "sweep", key, SWEEP_KEYS)
    model = head.get("model")
    if model not in ("fft", "cordic"):
        raise SweepError(f"{_where(path, 'sweep', 'model')}: expected \"fft\" or \"cordic\", got {model!r}")
    if model not in data or not isinstance(data[model], dict):
        raise SweepError(f"{path}: model = {model!r} needs a [{model}] table")
    other = "cordic" if model == "fft" else "fft"
    if other in data:
        raise SweepError(f"{path}: [{other}] does not belong in a sweep of model = {model!r}")
    sw = Sweep(path=path, model=model, seed=0, points=[])
    sw.seed = _int(path, "sweep", "seed", head.get("seed", 0), 0, 2**63 - 1)
    sw.frames = _int(path, "sweep", "frames", head.get("frames", 4), 1, 100000)
    sw.samples = _int(path, "sweep", "samples", head.get("samples", 2000), 1, 10**8)
    sw.chunk_points = _int(path, "sweep", "chunk_points", head.get("chunk_points", 25), 1, 10**6)
    out = head.get("output", os.path.splitext(os.path.basename(path))[0] + "_results")
    title = head.get("title", "")
    if not isinstance(out, str) or not out:
        raise SweepError(f"{_where(path, 'sweep', 'output')}: expected a directory name, got {out!r}")
    if not isinstance(title, str):
        raise SweepError(f"{_where(path, 'sweep', 'title')}: expected text, got {title!r}")
    sw.output, sw.title = out, title
    if model == "fft":
        _fft_points(sw, data["fft"])
    else:
        _cordic_points(sw, data["cordic"])
    return sw


def _product(axes: Tuple[str, ...], values: Dict[str, List[Any]]):
    for combo in itertools.product(*(values[a] for a in axes)):
        yield dict(zip(axes, combo))


def _dedupe(points: List[Dict[str, Any]]) -> List[Dict[str, Any]]:
    seen, out = set(), []
    for p in points:
        k = tuple(sorted((a, repr(v)) for a, v in p.items()))
        if k not in seen:
            seen.add(k)
            out.append(p)
    return out


def _fft_points(sw: Sweep, table: Dict[str, Any]) -> None:
    path = sw.path
    known = FFT_AXES + FFT_SINGLE
    for key in table:
        if key not in known:
            raise _unknown(path, "fft", key, known)
    values = {a: [_check_fft_axis(path, a, v) for v in _values(path, "fft", a, table.get(a, FFT_DEFAULTS[a]))]
              for a in FFT_AXES}
    sw.tones = _int(path, "fft", "tones", table.get("tones", 3), 1, 1024)
    if "file" in values["stimulus"]:
        if "frames_file" not in table:
            raise SweepError(f"{_where(path, 'fft', 'stimulus')}: \"file\" needs frames_file = \"FRAMES.npy\"")
        sw.user_frames = _user_frames(path, table["frames_file"], values["nfft"])
    elif "frames_file" in table:
        raise SweepError(f"{_where(path, 'fft', 'frames_file')}: given, but no stimulus is \"file\"")

    points = []
    for p in _product(FFT_AXES, values):
        # Coordinates that do not apply to a point are dropped (None), so the
        # product does not run the same point twice.
        if p["float_data"] is True:
            p["input_width"] = 32
            p["scaling"] = None
            p["rounding"] = None
        if p["scaling"] != "schedule" or p["float_data"] is True:
            p["schedule"] = None
        if p["stimulus"] != "noise":
            p["crest_db"] = None
        points.append(p)
    sw.points = _dedupe(points)
    _check_cores(sw)


def _user_frames(path: str, name: Any, nffts: List[int]) -> np.ndarray:
    where = _where(path, "fft", "frames_file")
    if not isinstance(name, str):
        raise SweepError(f"{where}: expected a file name, got {name!r}")
    full = name if os.path.isabs(name) else os.path.join(os.path.dirname(os.path.abspath(path)), name)
    try:
        a = np.load(full, allow_pickle=False)
    except (OSError, ValueError) as e:
        raise SweepError(f"{where}: cannot read {name!r} as a .npy array: {e}") from None
    if a.dtype.kind not in "iufc" or a.ndim not in (1, 2):
        raise SweepError(f"{where}: {name!r} must hold numbers of shape (N,) or (frames, N), got {a.dtype} {a.shape}")
    a = np.atleast_2d(a).astype(np.complex128)
    n = a.shape[1]
    if n < 8 or n & (n - 1):
        raise SweepError(f"{where}: frames in {name!r} have {n} samples, not a power of two from 8")
    bad = ~((a.real >= -1) & (a.real < 1) & (a.imag >= -1) & (a.imag < 1))
    if bad.any():
        f, i = np.unravel_index(int(np.argmax(bad)), a.shape)
        raise SweepError(f"{where}: frame {f} sample {i} of {name!r} is {a[f, i]!r}, outside -1 <= x < 1")
    log2n = n.bit_length() - 1
    if any(v != log2n for v in nffts):
        raise SweepError(f"{_where(path, 'fft', 'nfft')}: frames of {name!r} have 2^{log2n} samples, so nfft must be "
                         f"{log2n}, got {nffts}")
    return a


def _check_cores(sw: Sweep) -> None:
    from .measure import fft_core, safe_schedule, schedule_for
    built: Dict[Any, Any] = {}
    for p in sw.points:
        key = tuple(p[a] for a in ("arch", "nfft", "input_width", "twiddle_width", "scaling", "rounding",
                                   "float_data"))
        if key not in built:
            try:
                built[key] = fft_core(p)
            except (ValueError, TypeError) as e:
                coords = ", ".join(f"{a} = {p[a]!r}" for a in FFT_SETTINGS + ("nfft",) if p[a] is not None)
                raise SweepError(f"{sw.path}: [fft] point ({coords}): {e}") from None
        fft = built[key]
        s = p["schedule"]
        if isinstance(s, tuple):
            try:
                schedule_for(fft, p)
            except ValueError as e:
                raise SweepError(f"{_where(sw.path, 'fft', 'schedule')}: {e}") from None
        elif _is_int(s) and s > int(safe_schedule(fft).sum()):
            raise SweepError(f"{_where(sw.path, 'fft', 'schedule')}: {s} bits cannot be taken from the safe schedule "
                             f"{list(safe_schedule(fft))} of {p['arch']} nfft = {p['nfft']}")


def _cordic_points(sw: Sweep, table: Dict[str, Any]) -> None:
    path = sw.path
    known = CORDIC_AXES + CORDIC_SINGLE
    for key in table:
        if key not in known:
            raise _unknown(path, "cordic", key, known)
    if "width" in table and ("input_width" in table or "output_width" in table):
        raise SweepError(f"{_where(path, 'cordic', 'width')}: sets both input_width and output_width; "
                         f"give either width or those two")
    values = {}
    for a in CORDIC_AXES:
        raw = table.get("width", CORDIC_DEFAULTS[a]) if a in ("input_width", "output_width") else \
            table.get(a, CORDIC_DEFAULTS[a])
        values[a] = _values(path, "cordic", a, raw)
    points = []
    tie_widths = "width" in table
    for p in _product(CORDIC_AXES, values):
        if tie_widths and p["input_width"] != p["output_width"]:
            continue
        if p["function"] in ("sqrt", 6):
            if p["data_format"] in ("signed_fraction", 0):
                raise SweepError(f"{_where(path, 'cordic', 'data_format')}: sqrt sweeps need \"unsigned_fraction\" "
                                 f"or \"unsigned_integer\" radicands (signed fractions have no real value)")
            if p["data_format"] in ("unsigned_integer", 2) and _is_int(p["input_width"]):
                p["output_width"] = p["input_width"] // 2 + 1
        else:
            p["data_format"] = None
        points.append(p)
    sw.points = _dedupe(points)
    from .measure import cordic_core
    built = set()
    for p in sw.points:
        key = tuple(repr(p[a]) for a in CORDIC_AXES)
        if key in built:
            continue
        try:
            cordic_core(p)
        except (ValueError, TypeError) as e:
            coords = ", ".join(f"{a} = {p[a]!r}" for a in CORDIC_AXES if p[a] is not None)
            raise SweepError(f"{path}: [cordic] point ({coords}): {e}") from None
        built.add(key)


def point_seed(seed: int, coords: Dict[str, Any]) -> np.random.SeedSequence:
    """The random stream of one point: the sweep seed and the point's own coordinates (never its chunk)."""
    import hashlib
    text = repr(sorted((k, repr(v)) for k, v in coords.items()))
    digest = hashlib.sha256(text.encode()).digest()
    words = [int.from_bytes(digest[i:i + 4], "little") for i in range(0, 16, 4)]
    return np.random.SeedSequence([seed & 0xFFFFFFFF, seed >> 32] + words)


def db(x: float) -> float:
    return 10.0 * math.log10(x) if x > 0 else -math.inf
