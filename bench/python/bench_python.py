#!/usr/bin/python3
"""Speed of the zelcores package against the direct C loops.

Figures: (1) a batch of 10,000 1024-point 16-bit radix-4 frames on all cores
against one thread; (2) the cost of one single-frame Python call against one
C call (1024 points), and the fixed cost of a call (8 points); (3) CORDIC
sin_cos on 1M 16-bit words against one C call over the block. (1) and the
all-core CORDIC rate are wall-clock time; the rest compare processor time of
single-threaded work, which a shared machine disturbs less. Usage:
bench_python.py BASELINE_PROGRAM [--quick] (PYTHONPATH must reach the
zelcores package). --quick runs tiny sizes only to show that everything works.
"""
import os
import subprocess
import sys
import time

# numpy's BLAS threads spin for a while after start-up; none are needed here,
# and processor-time figures would count their spinning.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
import numpy as np  # noqa: E402

import zelcores


def best(fn, repeats, clock=time.perf_counter):
    times = []
    for _ in range(repeats):
        t0 = clock()
        fn()
        times.append(clock() - t0)
    return min(times)



def one_by_one(fft, x, calls):
    for _ in range(calls):  # each result is dropped before the next call, as a C host reuses its buffers
        fft(x, threads=1)


def baseline(program, *args):
    return float(subprocess.run([program, *map(str, args)], check=True, capture_output=True, text=True).stdout)


def main():
    program = sys.argv[1]
    quick = "--quick" in sys.argv
    # Rounds: a shared machine slows down by a third for a second or so at a
    # time; rounds spread over several seconds see some quiet ones.
    frames, single, calls, count, repeats = (40, 50, 500, 20000, 1) if quick else (10000, 3000, 100_000, 1_000_000, 20)

    fft = zelcores.FFT()  # 1024 points, radix-4, 16-bit, schedule 2,2,2,2,2
    rng = np.random.default_rng(1)
    batch = fft.from_words(rng.integers(-2**15, 2**15, size=(frames, 1024, 2)))
    t1 = tn = float("inf")
    for _ in range(repeats):  # alternating, so that both see the same load
        t1 = min(t1, best(lambda: fft(batch, threads=1), 1))
        tn = min(tn, best(lambda: fft(batch), 1))
    cores = zelcores._core.hardware_threads()
    print(f"FFT batch of {frames} x 1024: {frames / t1:,.0f} frames/s on 1 thread, "
          f"{frames / tn:,.0f} on {cores} ({t1 / tn:.2f}x)")

    # The C loop and the Python calls alternate, so that both see the same
    # load on a shared machine; the best of each counts, each round taking
    # the best of three runs as the C program does.
    x = batch[0]
    c_frame = py_frame = float("inf")
    for _ in range(repeats):
        c_frame = min(c_frame, baseline(program, "fft", single))
        py_frame = min(py_frame, best(lambda: one_by_one(fft, x, single), 3, time.process_time) / single)
    print(f"FFT one frame per call: C {c_frame * 1e6:.1f} us, Python {py_frame * 1e6:.1f} us "
          f"(overhead {100 * (py_frame / c_frame - 1):+.1f} %)")

    # The fixed cost of a call, on an 8-point transform whose own work is a
    # fraction of a microsecond.
    tiny = zelcores.FFT(nfft_max=3, arch="radix2")
    xt = tiny.from_words(rng.integers(-2**15, 2**15, size=(8, 2)))
    c_tiny = py_tiny = float("inf")
    for _ in range(repeats):
        c_tiny = min(c_tiny, baseline(program, "fft", calls, 3))
        py_tiny = min(py_tiny, best(lambda: one_by_one(tiny, xt, calls), 3, time.process_time) / calls)
    print(f"FFT fixed cost of a call (8 points): C {c_tiny * 1e6:.2f} us, Python {py_tiny * 1e6:.2f} us "
          f"({(py_tiny - c_tiny) * 1e6:+.2f} us a call)")

    sc = zelcores.Cordic("sin_cos")
    phase = rng.integers(-25736, 25736, size=count)
    c_sample = p1 = float("inf")
    for _ in range(repeats):
        c_sample = min(c_sample, baseline(program, "cordic", count))
        # Best of three calls, as the C program takes the best of three.
        p1 = min(p1, best(lambda: sc.sin_cos(phase, threads=1), 3, time.process_time) / count)
    pn = best(lambda: sc.sin_cos(phase), repeats) / count
    print(f"CORDIC sin_cos on {count:,} 16-bit words: C {1 / c_sample / 1e6:.2f} M/s, Python "
          f"{1 / p1 / 1e6:.2f} M/s on 1 thread ({p1 / c_sample:.2f}x the C time), {1 / pn / 1e6:.2f} M/s on {cores}")


if __name__ == "__main__":
    main()
