"""Results on disk: results.csv with every point, and PNG plots (matplotlib, Agg) each with its data as CSV beside it."""
from __future__ import annotations

import csv
import math
import os
from collections import defaultdict
from typing import Any, Dict, List, Tuple

import numpy as np

from .engine import SweepResult
from .measure import HIST_EDGES

__all__ = ["write_results"]


def _fmt(v: Any) -> Any:
    if isinstance(v, float):
        if math.isnan(v):
            return "nan"
        if math.isinf(v):
            return "inf" if v > 0 else "-inf"
        return repr(v)
    return v


def write_csv(path: str, header: List[str], rows: List[List[Any]]) -> None:
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(header)
        for r in rows:
            w.writerow([_fmt(v) for v in r])


def _figure():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(figsize=(7.5, 4.8), dpi=100)
    return plt, fig, ax


def _save(plt, fig, ax, path: str, title: str) -> None:
    ax.set_title(title, fontsize=10)
    ax.grid(True, alpha=0.3)
    if ax.get_legend_handles_labels()[0]:
        ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def _finite_mean(vals: List[float]) -> float:
    v = [x for x in vals if isinstance(x, float) and math.isfinite(x)]
    return float(np.mean(v)) if v else math.nan


def write_results(res: SweepResult, outdir: str) -> List[str]:
    """Writes results.csv and the plots that the sweep's axes allow; returns the paths written."""
    os.makedirs(outdir, exist_ok=True)
    cols = res.columns()
    written = [os.path.join(outdir, "results.csv")]
    write_csv(written[0], cols, [[r.get(c, "") for c in cols] for r in res.rows])
    if res.sweep.model == "fft":
        written += _fft_plots(res, outdir)
    else:
        written += _cordic_plots(res, outdir)
    written += _histograms(res, outdir)
    return written


def _series(rows, key_fn, x_fn, y_fn, keep=lambda r: True) -> Dict[Any, List[Tuple[float, float]]]:
    """(line label -> sorted (x, mean y)) over the rows that `keep` accepts."""
    acc: Dict[Any, Dict[float, List[float]]] = defaultdict(lambda: defaultdict(list))
    for r in rows:
        if keep(r):
            acc[key_fn(r)][x_fn(r)].append(y_fn(r))
    return {k: sorted((x, _finite_mean(ys)) for x, ys in xs.items()) for k, xs in acc.items()}


def _line_plot(series, path_stem: str, xlabel: str, ylabel: str, title: str, label_name: str,
               logy: bool = False) -> List[str]:
    plt, fig, ax = _figure()
    rows = []
    for label, pts in sorted(series.items(), key=lambda kv: str(kv[0])):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        ax.plot(xs, ys, marker="o", markersize=3, label=str(label))
        rows += [[label, x, y] for x, y in pts]
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    if all(isinstance(r[1], int) for r in rows):
        from matplotlib.ticker import MaxNLocator
        ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    if logy:
        ax.set_yscale("log")
    png = path_stem + ".png"
    _save(plt, fig, ax, png, title)
    write_csv(path_stem + ".csv", [label_name, xlabel, ylabel], rows)
    return [png, path_stem + ".csv"]


def _fft_plots(res: SweepResult, outdir: str) -> List[str]:
    rows = res.rows
    out: List[str] = []
    fixed = [r for r in rows if r["float_data"] is not True]
    # SQNR against input width, one line per architecture and rounding,
    # averaged over the other axes (points that overflowed left out).
    widths = {r["input_width"] for r in fixed}
    if len(widths) > 1:
        s = _series(fixed, lambda r: f"{r['arch']} {r['rounding']}", lambda r: r["input_width"],
                    lambda r: r["sqnr_db"], keep=lambda r: r["overflow_rate"] == 0.0)
        out += _line_plot(s, os.path.join(outdir, "sqnr_vs_width"), "input width (bits)", "SQNR (dB)",
                          "SQNR against input width (mean over the other axes, no overflow)", "arch rounding")
    # Overflow rate against how far the schedule shifts less than the safe
    # one, one line per architecture and stimulus (the advisor's picks are
    # left out: they never overflow by construction).
    sched = [r for r in rows if r["scaling"] == "schedule" and r["schedule"] != "advised"]
    if len({r["bits_below_safe"] for r in sched}) > 1:
        s = _series(sched, lambda r: f"{r['arch']} {r['stimulus']}", lambda r: r["bits_below_safe"],
                    lambda r: r["overflow_rate"])
        out += _line_plot(s, os.path.join(outdir, "overflow_vs_schedule"), "schedule shift below the safe one (bits)",
                          "overflow rate", "Frames that overflowed against the schedule (mean over the other axes)",
                          "arch stimulus")
    # Block exponents of block-floating-point points, per stimulus.
    bfp = [r for r in rows if r["scaling"] == "bfp" and r["block_exp_counts"]]
    if bfp:
        counts: Dict[str, Dict[int, int]] = defaultdict(lambda: defaultdict(int))
        for r in bfp:
            for item in r["block_exp_counts"].split():
                e, c = item.split(":")
                counts[f"{r['stimulus']} nfft={r['nfft']}"][int(e)] += int(c)
        plt, fig, ax = _figure()
        table = []
        labels = sorted(counts)
        width = 0.8 / max(len(labels), 1)
        for i, lab in enumerate(labels):
            es = sorted(counts[lab])
            ax.bar([e + (i - (len(labels) - 1) / 2) * width for e in es], [counts[lab][e] for e in es],
                   width=width, label=lab)
            table += [[lab, e, counts[lab][e]] for e in es]
        ax.set_xlabel("block exponent")
        ax.set_ylabel("frames")
        png = os.path.join(outdir, "block_exponents.png")
        _save(plt, fig, ax, png, "Block exponents of the block-floating-point points")
        write_csv(os.path.join(outdir, "block_exponents.csv"), ["stimulus nfft", "block exponent", "frames"], table)
        out += [png, os.path.join(outdir, "block_exponents.csv")]
    return out


def _cordic_plots(res: SweepResult, outdir: str) -> List[str]:
    rows = res.rows
    if len({r["iterations_used"] for r in rows}) < 2:
        return []
    out: List[str] = []
    for stat, label in (("max_err_lsb", "max"), ("rms_err_lsb", "RMS")):
        s = _series(rows, lambda r: f"{r['function']} {r['output_width']}b", lambda r: r["iterations_used"],
                    lambda r: r[stat])
        out += _line_plot(s, os.path.join(outdir, f"cordic_{label.lower()}_error_vs_iterations"), "iterations",
                          f"{label} error (output LSB)", f"CORDIC {label} error against iterations "
                          "(mean over the other axes)", "function width", logy=True)
    return out


def _histograms(res: SweepResult, outdir: str) -> List[str]:
    key = "rounding" if res.sweep.model == "fft" else "function"
    groups: Dict[str, np.ndarray] = {}
    for r, h in zip(res.rows, res.hists):
        if r.get("overflow_rate", 0.0) != 0.0:
            continue  # wrapped results say nothing about rounding
        k = str(r[key]) if r[key] != "" else "float"
        groups[k] = groups.get(k, 0) + h
    plt, fig, ax = _figure()
    centres = (HIST_EDGES[:-1] + HIST_EDGES[1:]) / 2
    table = []
    for k in sorted(groups):
        h = groups[k]
        frac = h / max(int(h.sum()), 1)
        ax.step(centres, frac, where="mid", label=k)
        table += [[k, float(lo), float(hi), int(c)] for lo, hi, c in zip(HIST_EDGES[:-1], HIST_EDGES[1:], h)]
    ax.set_xlabel("error (output LSB; outer bins hold everything beyond)")
    ax.set_ylabel("fraction of output words")
    if res.sweep.model == "fft":
        ax.set_xlabel("error (output LSB; points without overflow; outer bins hold everything beyond)")
    png = os.path.join(outdir, "error_histogram.png")
    _save(plt, fig, ax, png, f"Output error per {key}")
    write_csv(os.path.join(outdir, "error_histogram.csv"), [key, "from LSB", "to LSB", "count"], table)
    return [png, os.path.join(outdir, "error_histogram.csv")]
