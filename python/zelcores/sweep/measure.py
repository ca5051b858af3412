"""Measurement of one sweep point: stimuli, the model run, the reference and the figures.

FFT: the reference is numpy's double-precision FFT of exactly the quantised
input the core took, brought to the core's output scale (divided by 2 to the
schedule's total shift or the block exponent). Errors are in units of the
output word's last place: a fixed-point output word w is the value
w / 2^(input_width - 1) for every scaling, so one LSB is 2^-(input_width - 1);
for single-precision cores one LSB is the unit in the last place of the
largest reference component of the frame.

CORDIC: the reference is the exact function (long double) of the quantised
input words, times the gain the configuration leaves in its outputs; errors
are in units of the output word (binary points: x, y words 2 integer bits,
phases 3, roots 1 or 0).
"""
from __future__ import annotations

import math
from typing import Any, Dict, List, Optional, Tuple

import numpy as np

from .. import FFT, Cordic
from .config import point_seed

# Error histograms: bins of a quarter LSB from -8 to +8 LSB, errors beyond
# are counted in the outer bins.
HIST_EDGES = np.linspace(-8.0, 8.0, 65)


def error_histogram(err_lsb: np.ndarray) -> np.ndarray:
    e = np.clip(np.asarray(err_lsb, dtype=np.float64).ravel(), -7.999, 7.999)
    return np.histogram(e, bins=HIST_EDGES)[0].astype(np.int64)


# ---------------------------------------------------------------- FFT cores

def fft_core(p: Dict[str, Any]) -> FFT:
    """The core of an FFT point (lengths fixed at 2^nfft)."""
    kw = {"nfft_max": p["nfft"], "arch": p["arch"], "input_width": p["input_width"],
          "twiddle_width": p["twiddle_width"], "float_data": bool(p["float_data"])}
    if not p["float_data"]:
        kw["scaling"] = p["scaling"]
        kw["rounding"] = p["rounding"]
    if not isinstance(kw["float_data"], bool) or not isinstance(p["float_data"], bool):
        raise ValueError(f"float_data must be true or false, got {p['float_data']!r}")
    return FFT(**kw)


def max_schedule(fft: FFT) -> np.ndarray:
    """The largest shift of every stage: 3, and 1 for the final radix-2 stage of an odd radix-4 or pipelined core."""
    s = np.full(fft.stages(), 3, dtype=np.int32)
    if fft.generics["C_ARCH"] in (1, 3) and fft.nfft_max % 2:
        s[-1] = 1
    return s


def safe_schedule(fft: FFT) -> np.ndarray:
    """The schedule that cannot overflow: 2 per radix-4 stage, 1 per radix-2 stage (X = transform / N)."""
    return fft.default_schedule()


def reduced_schedule(fft: FFT, bits: int) -> np.ndarray:
    """The safe schedule with `bits` bits of shift taken away, one per stage in turn from the first stage."""
    s = safe_schedule(fft).copy()
    left = bits
    while left > 0:
        if not s.any():
            raise ValueError(f"{bits} bits cannot be taken from the safe schedule {list(safe_schedule(fft))}")
        for i in range(len(s)):
            if left and s[i] > 0:
                s[i] -= 1
                left -= 1
    return s


def schedule_for(fft: FFT, p: Dict[str, Any]) -> Optional[np.ndarray]:
    """The explicit schedule of a point (None for cores without one and for "advised")."""
    s = p.get("schedule")
    if s is None or s == "advised":
        return None
    if s == "safe":
        return safe_schedule(fft)
    if isinstance(s, int):
        return reduced_schedule(fft, s)
    a = np.asarray(s, dtype=np.int32)
    top = max_schedule(fft)
    if a.shape != top.shape:
        raise ValueError(f"schedule {list(s)} has {a.size} stages; {p['arch']} with nfft = {p['nfft']} has "
                         f"{top.size}")
    if (a > top).any():
        raise ValueError(f"schedule {list(s)}: the final radix-2 stage of an odd-length {p['arch']} core shifts "
                         f"0 or 1")
    return a


# ---------------------------------------------------------------- stimuli

def stimulus(p: Dict[str, Any], frames: int, seed: int, tones: int,
             user_frames: Optional[np.ndarray] = None) -> np.ndarray:
    """Complex frames in [-1, 1) of one point, before quantisation.

    Drawn from the sweep seed and the stimulus coordinates only, so every core
    of a sweep sees the same signal and the result does not depend on which
    task runs the point.
    """
    kind = p["stimulus"]
    amp = 10.0 ** (-p["backoff_db"] / 20.0)
    if kind == "file":
        return user_frames * amp
    n = 1 << p["nfft"]
    coords = {"stimulus": kind, "nfft": p["nfft"], "crest_db": p["crest_db"], "frames": frames}
    if kind == "tones":
        coords["tones"] = tones
    rng = np.random.default_rng(point_seed(seed, coords))
    t = np.arange(n)
    if kind == "noise":
        # Gaussian noise whose RMS (of each part) lies the crest factor below
        # full scale; the rare samples beyond full scale are clipped.
        c = 10.0 ** (p["crest_db"] / 20.0)
        z = rng.standard_normal((frames, n)) + 1j * rng.standard_normal((frames, n))
        z = np.clip(z.real, -c, c) + 1j * np.clip(z.imag, -c, c)
        return z * (amp / c)
    if kind == "tones":
        f = rng.random((frames, tones, 1))
        ph = rng.random((frames, tones, 1)) * 2 * np.pi
        z = np.exp(1j * (2 * np.pi * f * t + ph)).sum(axis=1)
    else:  # chirp: from a random start across half the band
        f0 = rng.random((frames, 1)) * 0.5
        ph = rng.random((frames, 1)) * 2 * np.pi
        z = np.exp(1j * (2 * np.pi * (f0 * t + 0.25 * t * t / n) + ph))
    peak = np.maximum(np.abs(z.real), np.abs(z.imag)).max(axis=1, keepdims=True)
    return z * (amp / peak)


def quantise(fft: FFT, x: np.ndarray) -> np.ndarray:
    """Words (frames, N, 2) of `x` on the input grid: nearest, ties to even, the top clipped to the largest word."""
    w = fft.input_width
    top = 2 ** (w - 1)
    out = np.empty(x.shape + (2,), dtype=np.int64)
    out[..., 0] = np.clip(np.rint(np.ldexp(x.real, w - 1)), -top, top - 1)
    out[..., 1] = np.clip(np.rint(np.ldexp(x.imag, w - 1)), -top, top - 1)
    return out


# ---------------------------------------------------------------- FFT runs

class FrameRun:
    """One batch through a core: results, their reference and errors in output LSBs."""

    def __init__(self, fft: FFT, words: Optional[np.ndarray], values: Optional[np.ndarray],
                 schedule: Optional[np.ndarray]) -> None:
        self.fft = fft
        if fft.float_data:
            xin = values.astype(np.complex64).astype(np.complex128)
            res = fft(xin, threads=1)
            shift = np.zeros(len(xin), dtype=np.int64)
        else:
            res = fft(words, schedule=schedule, words=True, threads=1)
            xin = fft.from_words(words)
            shift = np.asarray(res.block_exp) + np.asarray(res.schedule_shift)
        self.result = res
        self.overflow = np.asarray(res.overflow, dtype=np.int64)
        self.block_exp = np.asarray(res.block_exp, dtype=np.int64)
        self.shift = shift
        ref = np.fft.fft(xin, axis=1)
        self.ref = _scale(ref, -shift)
        err = res.X - self.ref
        if fft.float_data:
            peak = np.maximum(np.abs(self.ref.real), np.abs(self.ref.imag)).max(axis=1)
            lsb_exp = np.where(peak > 0, np.floor(np.log2(np.where(peak > 0, peak, 1.0))) - 23, -149).astype(np.int64)
        else:
            lsb_exp = np.full(len(err), 1 - fft.input_width)
        self.err_lsb = _scale(err, -lsb_exp)

    def sqnr_db(self) -> float:
        """Signal over noise power of all frames together, both at the output's scale."""
        sig = float(np.sum(np.abs(self.ref) ** 2))
        noise = float(np.sum(np.abs(self.result.X - self.ref) ** 2))
        if noise == 0.0:
            return math.inf
        return 10.0 * math.log10(sig / noise) if sig > 0 else -math.inf

    def headroom_bits(self) -> float:
        """Bits between the largest output word of the frames that did not overflow and the output's full scale."""
        fft = self.fft
        if fft.float_data:
            return math.nan
        ok = self.overflow == 0
        if not ok.any():
            return math.nan
        X = self.result.X[ok]
        peak = float(max(np.abs(X.real).max(), np.abs(X.imag).max())) * 2.0 ** (fft.input_width - 1)
        if peak == 0:
            return math.inf
        return (fft.output_width - 1) - math.log2(peak)


def _scale(z: np.ndarray, exps: np.ndarray) -> np.ndarray:
    e = np.asarray(exps)[:, None]
    out = np.empty(z.shape, dtype=np.complex128)
    out.real = np.ldexp(z.real, e)
    out.imag = np.ldexp(z.imag, e)
    return out


def overflows(fft: FFT, words: np.ndarray, schedule: np.ndarray) -> np.ndarray:
    """Per frame: 1 when the core overflowed with this schedule."""
    return np.asarray(fft(words, schedule=schedule, words=True, threads=1).overflow, dtype=np.int64)


def first_overflow_stages(fft: FFT, words: np.ndarray, schedule: np.ndarray) -> np.ndarray:
    """Per frame, the first stage (0-based) that overflowed under `schedule`, -1 when none did.

    A stage's overflow depends only on the stages before it, so the schedule
    is tried with the stages after stage s shifting their most (which cannot
    overflow): the first s whose prefix overflows is the stage.
    """
    schedule = np.asarray(schedule, dtype=np.int32)
    top = max_schedule(fft)
    first = np.full(len(words), -1, dtype=np.int64)
    for s in range(len(schedule)):
        todo = first < 0
        if not todo.any():
            break
        trial = np.concatenate([schedule[:s + 1], top[s + 1:]]).astype(np.int32)
        hit = overflows(fft, words[todo], trial).astype(bool)
        idx = np.flatnonzero(todo)[hit]
        first[idx] = s
    return first


class Advice:
    """The advisor's pick for a core and a set of frames.

    schedule: best SQNR among the schedules that never overflowed on the frames;
    sqnr_db and headroom_bits of that schedule; aggressive: the same schedule
    with one bit less in one stage, which did overflow (None when no such
    schedule overflows), with its overflow rate and the first stage that
    overflowed in its earliest-failing frame; tried: (schedule, overflowed
    frames, SQNR) of every candidate.
    """

    def __init__(self) -> None:
        self.schedule: Optional[np.ndarray] = None
        self.sqnr_db = math.nan
        self.headroom_bits = math.nan
        self.aggressive: Optional[np.ndarray] = None
        self.aggressive_overflow_rate = math.nan
        self.aggressive_first_stage = -1
        self.tried: List[Tuple[List[int], int, float]] = []

    def __repr__(self) -> str:
        return (f"Advice(schedule={None if self.schedule is None else list(self.schedule)}, "
                f"sqnr_db={self.sqnr_db:.2f}, headroom_bits={self.headroom_bits:.2f}, "
                f"aggressive={None if self.aggressive is None else list(self.aggressive)})")


def advise_schedule(fft: FFT, words: np.ndarray) -> Advice:
    """The schedule with the best SQNR that never overflows on these frames (int64 words (frames, N, 2)).

    Stage by stage from the first, each takes the smallest shift with which
    no frame overflows up to that stage (later stages at their largest
    shift); shifting late keeps the rounding noise of early stages small.
    Variants that shift one bit earlier compete on SQNR.
    """
    if fft.float_data or fft.generics["C_HAS_BFP"] == 1 or fft.generics["C_HAS_SCALING"] == 0:
        raise ValueError("the schedule advisor needs a fixed-point core scaled by schedule (scaling=\"schedule\")")
    adv = Advice()
    top = max_schedule(fft)
    if overflows(fft, words, top).any():
        return adv  # nothing fits
    g = top.copy()
    for i in range(len(g)):
        for v in range(0, int(top[i]) + 1):
            trial = g.copy()
            trial[i] = v
            if v == top[i] or not overflows(fft, words, trial).any():
                g[i] = v
                break
    candidates = [g]
    for i in range(len(g)):
        for j in range(i + 1, len(g)):
            if g[i] < top[i] and g[j] > 0:
                c = g.copy()
                c[i] += 1
                c[j] -= 1
                candidates.append(c)
    best = None
    for c in candidates:
        run = FrameRun(fft, words, None, c)
        bad = int(run.overflow.sum())
        q = run.sqnr_db()
        adv.tried.append((c.tolist(), bad, q))
        if bad == 0 and (best is None or q > best[1]):
            best = (c, q, run)
    adv.schedule, adv.sqnr_db = best[0], best[1]
    adv.headroom_bits = best[2].headroom_bits()
    for i in range(len(adv.schedule)):
        if adv.schedule[i] == 0:
            continue
        c = adv.schedule.copy()
        c[i] -= 1
        ov = overflows(fft, words, c)
        if ov.any():
            adv.aggressive = c
            adv.aggressive_overflow_rate = float(ov.mean())
            stages = first_overflow_stages(fft, words[ov.astype(bool)], c)
            adv.aggressive_first_stage = int(stages.min())
            break
    return adv


def _counts(values: np.ndarray) -> str:
    u, c = np.unique(values, return_counts=True)
    return " ".join(f"{int(a)}:{int(b)}" for a, b in zip(u, c))


def measure_fft_point(p: Dict[str, Any], settings: Dict[str, Any], cores: Optional[dict] = None):
    """Runs one FFT point; returns (row of figures, error histogram)."""
    key = tuple(p[a] for a in ("arch", "nfft", "input_width", "twiddle_width", "scaling", "rounding", "float_data"))
    if cores is not None and key in cores:
        fft = cores[key]
    else:
        fft = fft_core(p)
        if cores is not None:
            cores[key] = fft
    frames = settings["frames"]
    x = stimulus(p, frames, settings["seed"], settings["tones"], settings.get("user_frames"))
    words = None if fft.float_data else quantise(fft, x)
    row: Dict[str, Any] = {}
    sched = None
    uses_schedule = p["schedule"] is not None
    if p["schedule"] == "advised":
        adv = advise_schedule(fft, words)
        sched = adv.schedule
        row["aggressive_schedule"] = "" if adv.aggressive is None else "-".join(map(str, adv.aggressive))
        row["aggressive_overflow_rate"] = adv.aggressive_overflow_rate
        row["aggressive_first_stage"] = adv.aggressive_first_stage
        if sched is None:  # every schedule overflowed: run the largest shifts to report it
            sched = max_schedule(fft)
    elif uses_schedule:
        sched = schedule_for(fft, p)
    run = FrameRun(fft, words, x, sched)
    ov = run.overflow
    row.update({
        "frames": int(len(ov)),
        "schedule_used": "-".join(map(str, sched)) if uses_schedule else "",
        "total_shift": int(sched.sum()) if uses_schedule else "",
        "bits_below_safe": int(safe_schedule(fft).sum() - sched.sum()) if uses_schedule else "",
        "sqnr_db": run.sqnr_db(),
        "overflow_rate": float(ov.mean()),
        "max_err_lsb": float(np.max(np.abs(np.concatenate([run.err_lsb.real.ravel(), run.err_lsb.imag.ravel()])))),
        "rms_err_lsb": float(np.sqrt(np.mean(np.abs(run.err_lsb) ** 2) / 2.0)),
        "headroom_bits": run.headroom_bits(),
        "block_exp_mean": float(run.block_exp.mean()) if p["scaling"] == "bfp" else "",
        "block_exp_counts": _counts(run.block_exp) if p["scaling"] == "bfp" else "",
        "first_overflow_stages": "",
    })
    if uses_schedule and ov.any():
        stages = first_overflow_stages(fft, words[ov.astype(bool)], sched)
        row["first_overflow_stages"] = _counts(stages)
    hist = error_histogram(np.concatenate([run.err_lsb.real.ravel(), run.err_lsb.imag.ravel()]))
    return row, hist


# ---------------------------------------------------------------- CORDIC

_FUNCS = ("rotate", "translate", "sin_cos", "atan", "sinh_cosh", "atanh", "sqrt")


def cordic_core(p: Dict[str, Any]) -> Cordic:
    kw = {k: v for k, v in p.items() if k != "function" and v is not None}
    return Cordic(p["function"], **kw)


def iterations_used(c: Dict[str, int]) -> int:
    """Micro-rotations of a configuration record (the count the core derives when Iterations is 0)."""
    if c["Iterations"]:
        return c["Iterations"]
    r = (0, 1, 1, 2)[c["RoundMode"]]
    f = c["CordicFunction"]
    if f == 6:
        return c["OutputWidth"] + r
    n = c["OutputWidth"] - (2 if c["CoarseRotate"] else 0)
    if f in (4, 5):
        return n + 2 if n >= 13 else n + 1 if n >= 4 else n
    return n


def hyperbolic_shifts(n: int) -> List[int]:
    return [i + 1 if i <= 3 else i if i <= 13 else i - 1 for i in range(n)]


def cordic_gain(n: int, hyperbolic: bool) -> np.longdouble:
    one = np.longdouble(1)
    g = one
    shifts = hyperbolic_shifts(n) if hyperbolic else range(1, n + 1)
    for s in shifts:
        t = np.ldexp(one, -2 * s)
        g *= np.sqrt(one - t if hyperbolic else one + t)
    return g


def _cordic_inputs(p: Dict[str, Any], rng: np.random.Generator, count: int, cord: Cordic) -> Dict[str, np.ndarray]:
    """Real input values over the range where the configured function converges.

    Without coarse rotation the circular micro-rotations (the first turns by
    atan(1/2)) reach about 0.96 rad and the hyperbolic ones about 1.118; with
    it, the hyperbolic functions must stay inside +-pi/4, where the coarse
    stage leaves them alone. Fractional square roots take radicands below 1:
    the root register keeps one bit less than the output, so roots of 1 and
    more lose their top bit in the hardware.
    """
    f = cord.function
    coarse = bool(cord.config["CoarseRotate"])
    span = math.pi if coarse else 0.9
    if f in ("rotate", "translate", "atan"):
        r = 0.0625 + 0.8875 * np.sqrt(rng.random(count))
        th = rng.uniform(-span, span, count)
        vals = {"x": r * np.cos(th), "y": r * np.sin(th)}
        if f == "rotate":
            vals["phase"] = rng.uniform(-span, span, count)
    elif f == "sin_cos":
        vals = {"phase": rng.uniform(-span, span, count)}
    elif f == "sinh_cosh":
        lim = 0.95 * math.pi / 4 if coarse else 1.05
        vals = {"phase": rng.uniform(-lim, lim, count)}
    elif f == "atanh":
        x = rng.uniform(0.5, 0.95, count)
        vals = {"x": x, "y": x * rng.uniform(-0.8, 0.8, count)}
    else:  # sqrt
        w = cord.input_width
        if cord.config["DataFormat"] == 2:
            return {"x": rng.integers(0, 2**w, count, dtype=np.int64)}
        vals = {"x": rng.uniform(0.0, 1.0, count)}
    if "phase" in vals and cord.config["PhaseFormat"] == 1:
        vals["phase"] = vals["phase"] / math.pi
    return {k: cord.input_words(k, v) for k, v in vals.items()}


def _frac(cord: Cordic, port: str, width: int) -> int:
    if cord.function == "sqrt":
        return 0 if cord.config["DataFormat"] == 2 else width - 1
    return width - 3 if port == "phase" else width - 2


def cordic_reference(cord: Cordic, words: Dict[str, np.ndarray]) -> Dict[str, np.ndarray]:
    """Exact outputs (long double) of the input words, with the gain the configuration leaves."""
    c = cord.config
    ld = np.longdouble
    v = {k: np.ldexp(w.astype(ld), -_frac(cord, k, cord.input_width)) for k, w in words.items()}
    unit = np.arctan(ld(1)) * 4 if c["PhaseFormat"] == 1 else ld(1)  # pi in long double
    f = cord.function
    n = iterations_used(c)
    comp = c["ScaleComp"] != 0
    if f in ("rotate", "translate"):
        gain = ld(1) if comp else cordic_gain(n, False)
    elif f == "sin_cos":
        gain = 1 / cordic_gain(n, False) if comp else ld(1)
    elif f == "sinh_cosh":
        gain = 1 / cordic_gain(n, True) if comp else ld(1)
    if f == "rotate":
        th = v["phase"] * unit
        return {"x": gain * (v["x"] * np.cos(th) - v["y"] * np.sin(th)),
                "y": gain * (v["x"] * np.sin(th) + v["y"] * np.cos(th))}
    if f == "translate":
        return {"magnitude": gain * np.hypot(v["x"], v["y"]), "phase": np.arctan2(v["y"], v["x"]) / unit}
    if f == "sin_cos":
        th = v["phase"] * unit
        return {"cos": gain * np.cos(th), "sin": gain * np.sin(th)}
    if f == "atan":
        return {"phase": np.arctan2(v["y"], v["x"]) / unit}
    if f == "sinh_cosh":
        th = v["phase"] * unit
        return {"cosh": gain * np.cosh(th), "sinh": gain * np.sinh(th)}
    if f == "atanh":
        return {"phase": np.arctanh(v["y"] / v["x"]) / unit}
    return {"root": np.sqrt(v["x"])}


def measure_cordic_point(p: Dict[str, Any], settings: Dict[str, Any]):
    """Runs one CORDIC point; returns (row of figures, error histogram)."""
    cord = cordic_core(p)
    coords = {"function": cord.function, "coarse_rotation": cord.config["CoarseRotate"],
              "phase_format": cord.config["PhaseFormat"], "data_format": cord.config["DataFormat"],
              "input_width": cord.input_width, "samples": settings["samples"]}
    rng = np.random.default_rng(point_seed(settings["seed"], coords))
    words = _cordic_inputs(p, rng, settings["samples"], cord)
    outs = cord(*(words[k] for k in cord.input_names), threads=1)
    if len(cord.output_names) == 1:
        outs = (outs,)
    ref = cordic_reference(cord, words)
    errs = {}
    for port, w in zip(cord.output_names, outs):
        frac = _frac(cord, port, cord.output_width)
        errs[port] = (np.ldexp(w.astype(np.longdouble), -frac) - ref[port]) * np.ldexp(np.longdouble(1), frac)
        errs[port] = errs[port].astype(np.float64)
    worst_port = max(errs, key=lambda k: float(np.max(np.abs(errs[k]))))
    i = int(np.argmax(np.abs(errs[worst_port])))
    at = " ".join(f"{k}={_value(cord, k, w[i]):.6g}" for k, w in words.items())
    allerr = np.concatenate([e.ravel() for e in errs.values()])
    row = {
        "iterations_used": iterations_used(cord.config),
        "samples": int(settings["samples"]),
        "max_err_lsb": float(np.max(np.abs(allerr))),
        "rms_err_lsb": float(np.sqrt(np.mean(allerr ** 2))),
        "worst_output": worst_port,
        "worst_input": at,
    }
    return row, error_histogram(allerr)


def _value(cord: Cordic, port: str, word: Any) -> float:
    return float(np.ldexp(float(word), -_frac(cord, port, cord.input_width)))
