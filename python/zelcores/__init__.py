"""zelcores: bit-accurate models of the FFT core and the CORDIC core, from numpy.

    >>> import numpy as np, zelcores
    >>> fft = zelcores.FFT(nfft_max=10, arch="radix4", scaling="bfp")
    >>> r = fft(np.exp(2j * np.pi * 5 * np.arange(1024) / 1024) * 0.5)
    >>> r.X, r.block_exp              # X[k] in natural order; true X = r.X * 2**r.block_exp
    >>> sc = zelcores.Cordic("sin_cos")
    >>> sc.evaluate(0.3).values       # {'cos': ..., 'sin': ...} of the output words

Batches of frames (``fft(x2d, threads=...)``) and long CORDIC blocks run on
every core with the GIL released; results do not depend on the number of
threads. See ``help(zelcores.FFT)`` and ``help(zelcores.Cordic)``.
"""
from __future__ import annotations

from . import _core
from .cordic import Cordic, CordicValues
from .errors import CordicError, FFTError, ModelError, ModelWarning
from .fft import FFT, FFTResult

__all__ = ["FFT", "FFTResult", "Cordic", "CordicValues", "ModelError", "FFTError", "CordicError",
           "ModelWarning", "fft_setting_keys", "cordic_setting_keys"]


def fft_setting_keys() -> list:
    """Readable FFT setting names, in documented order."""
    return _core.fft_setting_keys()


def cordic_setting_keys() -> list:
    """Readable CORDIC setting names, in documented order."""
    return _core.cordic_setting_keys()
