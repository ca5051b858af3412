#!/usr/bin/python3
"""Writes an FFT vector set with zelvec and checks it with the Verilator
scoreboard bench: every frame through the model via DPI, word for word.

    fft_scoreboard.py ZELVEC BENCH RUN_FILE OUT_DIR
"""
import json
import subprocess
import sys


def plusargs(manifest, folder):
    cfg = manifest["configuration"]
    settings = ",".join(
        f"{k}={str(v).lower() if isinstance(v, bool) else v}" for k, v in cfg.items())
    tr, sc = manifest["transform"], manifest["scaling"]
    args = [f"+vectors={folder}", f"+settings={settings}", f"+frames={tr['frames']}",
            f"+points={tr['points']}", f"+in_width={tr['input_width']}",
            f"+out_width={tr['output_width']}", f"+nfft={tr['nfft']}"]
    if sc["mode"] == "schedule":
        per = sc.get("schedule_per_frame")
        args.append(f"+stages={len(per[0]) if per else len(sc['schedule'])}")
    if tr["direction"] == "inverse":
        args.append("+inverse")
    if sc["mode"] == "float":
        args.append("+float")
    return args


def main(zelvec, bench, run_file, folder):
    subprocess.run([zelvec, "fft", run_file, "-o", folder, "--quiet"], check=True)
    with open(f"{folder}/manifest.json") as f:
        manifest = json.load(f)
    return subprocess.run([bench] + plusargs(manifest, folder)).returncode


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
