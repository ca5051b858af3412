"""Word-width and scaling sweeps of both cores, with a schedule advisor, plots and a Dask cluster.

    python3 -m zelcores.sweep SWEEP.toml [--out DIR] [--workers N | --scheduler ADDRESS]

    >>> from zelcores import sweep
    >>> sw = sweep.load_sweep("examples/sweeps/fft_widths.toml")
    >>> res = sweep.run_sweep(sw, workers=2)        # a local two-worker cluster
    >>> sweep.write_results(res, "out")              # results.csv, plots, their CSVs

Worker processes are started by spawning, so a script that runs a sweep on
a local cluster keeps its top level under ``if __name__ == "__main__":``.

A sweep file lists values for each axis; the sweep is every combination
(see :mod:`zelcores.sweep.config`). FFT points measure the SQNR against a
double-precision FFT of the same quantised input, the overflow rate, the block
exponents and the error in output LSBs; CORDIC points the error in output LSBs
against exact values and where it is worst. :func:`advise_schedule` picks the
schedule with the best SQNR that never overflows on given frames, and
:func:`first_overflow_stages` tells which stage overflowed first.
"""
from __future__ import annotations

from .config import Sweep, SweepError, load_sweep, parse_sweep
from .engine import SweepResult, local_cluster, run_sweep
from .measure import (Advice, FrameRun, advise_schedule, first_overflow_stages, max_schedule, quantise,
                      reduced_schedule, safe_schedule, stimulus)
from .plots import write_results

__all__ = ["Sweep", "SweepError", "SweepResult", "local_cluster", "load_sweep", "parse_sweep", "run_sweep", "write_results",
           "Advice", "FrameRun", "advise_schedule", "first_overflow_stages", "max_schedule", "safe_schedule",
           "reduced_schedule", "quantise", "stimulus"]
