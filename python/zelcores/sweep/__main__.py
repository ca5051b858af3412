"""python3 -m zelcores.sweep SWEEP.toml: runs a sweep file and writes results.csv and plots.

Exit status: 0 done, 2 a bad sweep file or argument (one line on standard
error naming the file and key), 1 a failure while running.
"""
from __future__ import annotations

import argparse
import os
import sys
import time

from .config import SweepError, load_sweep
from .engine import run_sweep
from .plots import write_results


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(prog="python3 -m zelcores.sweep",
                                 description="Word-width and scaling sweeps of the FFT and CORDIC models.")
    ap.add_argument("sweep", help="sweep file (TOML)")
    ap.add_argument("--out", help="output directory (default: the file's [sweep] output)")
    where = ap.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=2,
                       help="worker processes of the local cluster on 127.0.0.1 (0: run in this process; default 2)")
    where.add_argument("--scheduler", help="address of a running Dask scheduler, e.g. tcp://10.0.0.5:8786")
    ap.add_argument("--chunk", type=int, help="points per task (default: the file's chunk_points)")
    ap.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                    help="progress bar on standard error (default: when it is a terminal)")
    args = ap.parse_args(argv)
    if args.workers < 0:
        ap.error(f"--workers must be 0 or more, got {args.workers}")
    if args.chunk is not None and args.chunk < 1:
        ap.error(f"--chunk must be 1 or more, got {args.chunk}")
    try:
        sw = load_sweep(args.sweep)
    except SweepError as e:
        print(f"zelcores.sweep: {e}", file=sys.stderr)
        return 2
    out = args.out or sw.output
    t0 = time.monotonic()
    try:
        res = run_sweep(sw, scheduler=args.scheduler, workers=args.workers, chunk_points=args.chunk,
                        progress=args.progress)
    except (OSError, TimeoutError) as e:
        if args.scheduler is None:
            raise
        print(f"zelcores.sweep: cannot reach the Dask scheduler at {args.scheduler}: {e}", file=sys.stderr)
        return 2
    files = write_results(res, out)
    print(f"{len(sw.points)} points in {time.monotonic() - t0:.1f} s; wrote {', '.join(os.path.basename(f) for f in files)} "
          f"in {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
