"""Running a sweep: points split into chunks, chunks run in this process or as tasks on a Dask cluster.

Each task builds its own model objects and every point draws its stimulus
from the sweep seed and its own coordinates, so the rows are the same for any
cluster, any number of workers and any chunking.
"""
from __future__ import annotations

import sys
from typing import Any, Dict, List, Optional, Sequence, Tuple

import numpy as np

from .config import CORDIC_AXES, FFT_AXES, Sweep
from .measure import measure_cordic_point, measure_fft_point

__all__ = ["SweepResult", "run_chunk", "run_sweep", "chunks", "local_cluster"]


class SweepResult:
    """Rows (dicts: the point's coordinates, then its figures) in point order, and one error histogram per point."""

    def __init__(self, sweep: Sweep, rows: List[Dict[str, Any]], hists: np.ndarray) -> None:
        self.sweep = sweep
        self.rows = rows
        self.hists = hists

    def columns(self) -> List[str]:
        cols: List[str] = []
        for r in self.rows:
            for k in r:
                if k not in cols:
                    cols.append(k)
        return cols


def _coords(model: str, p: Dict[str, Any]) -> Dict[str, Any]:
    axes = FFT_AXES if model == "fft" else CORDIC_AXES
    out = {}
    for a in axes:
        v = p[a]
        if isinstance(v, tuple):
            v = "-".join(map(str, v))
        out[a] = "" if v is None else v
    return out


def run_chunk(settings: Dict[str, Any], items: Sequence[Tuple[int, Dict[str, Any]]]):
    """Measures a chunk of (index, point) pairs; returns [(index, row, histogram)].

    Runs anywhere (a Dask worker or this process): the models are made here.
    """
    model = settings["model"]
    cores: dict = {}
    out = []
    for index, p in items:
        if model == "fft":
            fig, hist = measure_fft_point(p, settings, cores)
        else:
            fig, hist = measure_cordic_point(p, settings)
        row = {"point": index, **_coords(model, p), **fig}
        out.append((index, row, hist))
    return out


def chunks(n: int, size: int) -> List[range]:
    return [range(i, min(i + size, n)) for i in range(0, n, size)]


def _progress(total: int, enabled: Optional[bool]):
    from tqdm import tqdm
    disable = not sys.stderr.isatty() if enabled is None else not enabled
    return tqdm(total=total, unit="point", file=sys.stderr, disable=disable, desc="sweep")


def run_sweep(sweep: Sweep, *, scheduler: Optional[str] = None, workers: int = 2,
              chunk_points: Optional[int] = None, progress: Optional[bool] = None, client=None) -> SweepResult:
    """Runs every point of a sweep.

    workers = 0 runs in this process; otherwise a local cluster of `workers`
    single-threaded processes on 127.0.0.1 is started (and stopped), unless
    `scheduler` gives the address of a running one or `client` is a Dask
    client to use. Progress goes to standard error (default: only when it is
    a terminal).
    """
    size = chunk_points or sweep.chunk_points
    parts = chunks(len(sweep.points), size)
    settings = sweep.task_settings()
    results: Dict[int, Tuple[Dict[str, Any], np.ndarray]] = {}
    bar = _progress(len(sweep.points), progress)
    try:
        if client is None and scheduler is None and workers == 0:
            for r in parts:
                for index, row, hist in run_chunk(settings, [(i, sweep.points[i]) for i in r]):
                    results[index] = (row, hist)
                bar.update(len(r))
        else:
            _run_distributed(sweep, parts, settings, results, bar, scheduler, workers, client)
    finally:
        bar.close()
    rows = [results[i][0] for i in range(len(sweep.points))]
    hists = np.array([results[i][1] for i in range(len(sweep.points))], dtype=np.int64)
    return SweepResult(sweep, rows, hists)


def local_cluster(workers: int):
    """A Dask cluster of `workers` single-threaded processes on 127.0.0.1, without a dashboard.

    The scheduler's HTTP endpoint takes a free port, so several sweeps (or
    test runs) on one machine do not compete for one.
    """
    import logging

    from distributed import LocalCluster
    return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                        dashboard_address=None, silence_logs=logging.ERROR,
                        scheduler_kwargs={"dashboard": False, "dashboard_address": "127.0.0.1:0"})


def _run_distributed(sweep, parts, settings, results, bar, scheduler, workers, client) -> None:
    import logging

    from distributed import Client, as_completed

    own_cluster = own_client = None
    try:
        if client is None:
            if scheduler is not None:
                client = own_client = Client(scheduler, timeout="30s")
            else:
                # Quiet: the cluster's own log lines would mix with the progress bar.
                logging.getLogger("distributed").setLevel(logging.ERROR)
                own_cluster = local_cluster(workers)
                client = own_client = Client(own_cluster)
        futures = [client.submit(run_chunk, settings, [(i, sweep.points[i]) for i in r], pure=False) for r in parts]
        for fut in as_completed(futures):
            part = fut.result()
            for index, row, hist in part:
                results[index] = (row, hist)
            bar.update(len(part))
    finally:
        if own_client is not None:
            own_client.close()
        if own_cluster is not None:
            own_cluster.close()
