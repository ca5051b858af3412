#!/usr/bin/python3
"""Speed of the zelcores package against the direct C loops.

Figures: (1) a batch of 10,000 1024-point 16-bit radix-4 frames on all cores
against one thread; (2) the cost of one single-frame Python call against one
C call (1024 points); (3) CORDIC sin_cos on 1M 16-bit words against one C
call over the block. Usage: bench_python.py BASELINE_PROGRAM [--quick]
(PYTHONPATH must reach the zelcores package). --quick runs tiny sizes only
to show that everything works.
"""
import subprocess
import sys
import time

import numpy as np

import zelcores


def best(fn, repeats):
    times = []
    for _ in range(repeats):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def baseline(program, *args):
    return float(subprocess.run([program, *map(str, args)], check=True, capture_output=True, text=True).stdout)


def main():
    program = sys.argv[1]
    quick = "--quick" in sys.argv
    frames, single, count, repeats = (40, 50, 20000, 1) if quick else (10000, 3000, 1_000_000, 3)

    fft = zelcores.FFT()  # 1024 points, radix-4, 16-bit, schedule 2,2,2,2,2
    rng = np.random.default_rng(1)
    batch = fft.from_words(rng.integers(-2**15, 2**15, size=(frames, 1024, 2)))
    t1 = best(lambda: fft(batch, threads=1), repeats)
    tn = best(lambda: fft(batch), repeats)
    cores = zelcores._core.hardware_threads()
    print(f"FFT batch of {frames} x 1024: {frames / t1:,.0f} frames/s on 1 thread, "
          f"{frames / tn:,.0f} on {cores} ({t1 / tn:.2f}x)")

    x = batch[0]
    c_frame = baseline(program, "fft", single)
    py_frame = best(lambda: [fft(x) for _ in range(single)], repeats) / single
    print(f"FFT one frame per call: C {c_frame * 1e6:.1f} us, Python {py_frame * 1e6:.1f} us "
          f"(overhead {100 * (py_frame / c_frame - 1):+.1f} %)")

    sc = zelcores.Cordic("sin_cos")
    phase = rng.integers(-25736, 25736, size=count)
    c_sample = baseline(program, "cordic", count)
    p1 = best(lambda: sc.sin_cos(phase, threads=1), repeats) / count
    pn = best(lambda: sc.sin_cos(phase), repeats) / count
    print(f"CORDIC sin_cos on {count:,} 16-bit words: C {1 / c_sample / 1e6:.2f} M/s, Python "
          f"{1 / p1 / 1e6:.2f} M/s on 1 thread ({p1 / c_sample:.2f}x the C time), {1 / pn / 1e6:.2f} M/s on {cores}")


if __name__ == "__main__":
    main()
