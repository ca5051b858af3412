"""Runs an example sweep file with the command on a two-worker local cluster and checks what it wrote.

usage: run_example.py SWEEP.toml OUTDIR LEAST_POINTS
"""
import csv
import os
import shutil
import subprocess
import sys
import time

sweep, out, least = sys.argv[1], sys.argv[2], int(sys.argv[3])
shutil.rmtree(out, ignore_errors=True)
t0 = time.monotonic()
r = subprocess.run([sys.executable, "-m", "zelcores.sweep", sweep, "--out", out, "--workers", "2"],
                   capture_output=True, text=True)
print(r.stdout, end="")
if r.returncode != 0:
    sys.exit(f"exit {r.returncode}: {r.stderr}")
if r.stderr.strip():
    sys.exit(f"unexpected output on stderr: {r.stderr}")
rows = list(csv.DictReader(open(os.path.join(out, "results.csv"))))
if len(rows) < least:
    sys.exit(f"{len(rows)} points, expected at least {least}")
pngs = [f for f in os.listdir(out) if f.endswith(".png")]
if len(pngs) < 2:
    sys.exit(f"expected plots in {out}, got {pngs}")
for f in pngs:
    with open(os.path.join(out, f), "rb") as fh:
        head = fh.read(8)
    if head != b"\x89PNG\r\n\x1a\n" or os.path.getsize(os.path.join(out, f)) < 5000:
        sys.exit(f"{f} is not a plot")
    beside = os.path.join(out, f[:-4] + ".csv")
    if not os.path.exists(beside) or len(open(beside).readlines()) < 2:
        sys.exit(f"{f} has no data beside it")
print(f"{len(rows)} points, {len(pngs)} plots, {time.monotonic() - t0:.1f} s")
