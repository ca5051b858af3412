"""The bit-accurate FFT core model from numpy: :class:`FFT` and :class:`FFTResult`."""
from __future__ import annotations

import warnings
from typing import Any, Mapping, Optional, Sequence, Union

import numpy as np

from . import _core
from .errors import FFTError, ModelWarning

__all__ = ["FFT", "FFTResult"]

_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1

ArrayLike = Union[np.ndarray, Sequence[Any]]


def _threads(threads: Optional[int]) -> int:
    if threads is None:
        return 0
    if isinstance(threads, (bool, np.bool_)) or not isinstance(threads, (int, np.integer)) or threads < 0:
        raise ValueError(f"threads must be None or a non-negative integer (0: one per core), got {threads!r}")
    return int(threads)


def _whole(name: str, value: Any) -> int:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, np.integer)):
        raise ValueError(f"{name} must be an integer, got {value!r}")
    return int(value)


class FFTResult:
    """Results of one call of an :class:`FFT`.

    Attributes:
        X: complex128 array of the shape of the input (``(N,)`` or
            ``(frames, N)``), the core's output words as values, X[k] in natural
            order (k = 0 .. N-1). These are the numbers the hardware delivers,
            still scaled: see :meth:`true_X`.
        block_exp: block exponent, an int for one frame and an int array for a
            batch. With block floating point the true transform is
            ``X * 2**block_exp``; it is 0 for every other core.
        overflow: 1 when a stage overflowed (cores scaled by a schedule) or a
            result left the single-precision range (floating-point cores), else
            0; an int for one frame, an int array for a batch.
        schedule_shift: total right shift applied by the schedule (the sum of
            its entries) per frame, 0 for cores without a schedule; same form
            as ``block_exp``.
    """

    __slots__ = ("X", "block_exp", "overflow", "schedule_shift", "_fft")

    def __init__(self, fft: "FFT", X: np.ndarray, block_exp: Any, overflow: Any, schedule_shift: Any) -> None:
        self._fft = fft
        self.X = X
        self.block_exp = block_exp
        self.overflow = overflow
        self.schedule_shift = schedule_shift

    @property
    def output_width(self) -> int:
        """Width in bits of the output words (see :attr:`FFT.output_width`)."""
        return self._fft.output_width

    def words(self) -> np.ndarray:
        """The outputs as int64 two's-complement words of :attr:`output_width` bits.

        Shape ``X.shape + (2,)``: the last axis holds the real and the imaginary
        word. A word w stands for the value ``w / 2**(input_width - 1)``.
        Floating-point cores have no output words: ValueError.
        """
        self._fft._need_words("result.words()")
        scale = self._fft.input_width - 1
        out = np.empty(self.X.shape + (2,), dtype=np.int64)
        out[..., 0] = np.ldexp(self.X.real, scale)
        out[..., 1] = np.ldexp(self.X.imag, scale)
        return out

    def true_X(self) -> np.ndarray:
        """X at the scale of the mathematical transform.

        ``X * 2**(block_exp + schedule_shift)``: block floating point undoes its
        block exponent, a schedule its right shifts (exact only when
        ``overflow`` is 0); unscaled and floating-point cores are unchanged.
        """
        shift = np.asarray(self.block_exp) + np.asarray(self.schedule_shift)
        if self.X.ndim == 2:
            shift = shift[:, None]
        return _complex(np.ldexp(self.X.real, shift), np.ldexp(self.X.imag, shift))

    def __repr__(self) -> str:
        return f"FFTResult(X={self.X.shape}, block_exp={self.block_exp!r}, overflow={self.overflow!r})"


_core.bind_fft_classes(FFTResult, FFTError, ModelWarning)
_fft_call = _core.fft_call


def _complex(re: np.ndarray, im: np.ndarray) -> np.ndarray:
    # Built part by part: re + 1j*im would turn an infinite imaginary part into
    # a NaN real part (1j*inf = nan+infj) and lose negative zeros.
    out = np.empty(np.broadcast(re, im).shape, dtype=np.complex128)
    out.real = re
    out.imag = im
    return out


class FFT(_core.FastCallBase):
    """Bit-accurate model of the configurable FFT core.

    Arguments (the defaults are those of the hardware's default record):
        nfft_max: log2 of the largest transform length, 3..16 (radix-4: 6..16);
            the core transforms N = 2**nfft_max points (or fewer, see
            ``run_time_nfft``).
        arch: "radix4" (radix-4 burst, mixed radix-4/radix-2), "radix2"
            (radix-2 burst), "pipelined" (radix-2^2 streaming), or the record's
            number 1..4 (4 is the second radix-2 variant, identical to 2).
        input_width: width in bits of the input samples, 8..34 (32 with
            ``float_data``).
        twiddle_width: width in bits of the twiddle factors, 8..34.
        scaling: "schedule" (each stage shifts right by the amount of
            ``schedule``), "bfp" (block floating point: the core picks the shifts
            and reports their sum as ``block_exp``) or "none" (full growth).
        rounding: "truncate" or "convergent" rounding of butterfly outputs.
        float_data: True for a single-precision data interface.
        run_time_nfft: True to choose the length of each call (``nfft``).

    Data:
        Fixed-point samples are values in [-1, 1) on the grid of
        ``input_width`` bits: a word w is the value ``w / 2**(input_width-1)``.
        Values off the grid are rounded by the core (to nearest, ties to even)
        after a warning. Input x[n] is in natural order (n = 0 .. N-1) and the
        output X[k] too (k = 0 .. N-1); the forward transform is
        ``X[k] = sum_n x[n] exp(-2j pi n k / N)``, the inverse one uses
        ``exp(+2j pi n k / N)`` and no 1/N factor.

    Output scale:
        * "schedule": every stage divides by ``2**schedule[i]``, so
          ``X = transform / 2**sum(schedule)``; ``overflow`` is 1 when a stage
          overflowed (the result has wrapped).
        * "bfp": ``X = transform / 2**block_exp`` (true transform =
          ``X * 2**block_exp``); never overflows.
        * "none": ``X = transform`` in full, on words of ``input_width +
          nfft_max + 1`` bits (:attr:`output_width`).
        * float_data: X is the transform rounded to single precision.
        :meth:`FFTResult.true_X` undoes the scaling.

    Errors: a setting the record cannot hold or the core refuses raises
    ValueError with the library's own line; a call the core refuses raises
    :class:`FFTError` (with ``.code``); warnings of the core become
    :class:`ModelWarning` with the core's exact text.
    """

    def __init__(
        self,
        nfft_max: int = 10,
        arch: Union[str, int] = "radix4",
        input_width: int = 16,
        twiddle_width: int = 16,
        scaling: str = "schedule",
        rounding: str = "truncate",
        float_data: bool = False,
        run_time_nfft: bool = False,
    ) -> None:
        self._setup([
            ("nfft_max", nfft_max), ("arch", arch), ("input_width", input_width),
            ("twiddle_width", twiddle_width), ("scaling", scaling), ("rounding", rounding),
            ("float_data", float_data), ("run_time_nfft", run_time_nfft),
        ])

    @classmethod
    def from_generics(cls, generics: Mapping[str, Any]) -> "FFT":
        """An FFT from a dict of the record's own fields (``C_NFFT_MAX``, ``C_ARCH``, ...).

        Fields left out keep the hardware's default; every value goes to the
        core unchanged, so a value out of range gets the library's own line.
        """
        self = cls.__new__(cls)
        self._setup(list(dict(generics).items()))
        return self

    def _setup(self, settings: list) -> None:
        self._core = _core.FftCore(settings)
        self._handle = self._core.handle
        g = self._core.generics
        self._g = g
        self._float = g["C_USE_FLT_PT"] == 1
        self._schedule_core = g["C_HAS_SCALING"] == 1 and g["C_HAS_BFP"] == 0 and not self._float
        self._default_schedules: dict = {}

    # ---- configuration ----

    @property
    def generics(self) -> dict:
        """The record as the core got it: ``{"C_NFFT_MAX": 10, "C_ARCH": 1, ...}``."""
        return dict(self._g)

    @property
    def settings(self) -> dict:
        """The record in readable names: ``{"nfft_max": 10, "arch": "radix4", ...}``."""
        return self._core.settings

    @property
    def nfft_max(self) -> int:
        return self._g["C_NFFT_MAX"]

    @property
    def input_width(self) -> int:
        """Width in bits of the input words (32 for floating-point data)."""
        return self._g["C_INPUT_WIDTH"]

    @property
    def float_data(self) -> bool:
        return self._float

    @property
    def output_width(self) -> int:
        """Width in bits of the output words.

        ``input_width`` for scaled cores (schedule or block floating point),
        ``input_width + nfft_max + 1`` for unscaled ones: the output port is as
        wide as the largest transform needs, whatever length a call runs. The
        grid is the input's (a word w is ``w / 2**(input_width-1)``).
        Floating-point cores: 32 (single precision).
        """
        g = self._g
        if self._float:
            return g["C_INPUT_WIDTH"]
        return g["C_INPUT_WIDTH"] + (g["C_NFFT_MAX"] + 1) * (1 - g["C_HAS_SCALING"])

    def points(self, nfft: Optional[int] = None) -> int:
        """Transform length N of a call with this ``nfft`` (fixed-length cores: 2**nfft_max)."""
        return int(self._core.points(-1 if nfft is None else _whole("nfft", nfft)))

    def stages(self, nfft: Optional[int] = None) -> int:
        """Entries of a schedule: ceil(nfft/2) for radix-4 and pipelined cores, nfft for radix-2."""
        n = self._log2(nfft)
        return (n + 1) // 2 if self._g["C_ARCH"] in (1, 3) else n

    def default_schedule(self, nfft: Optional[int] = None) -> np.ndarray:
        """The schedule used when none is given: it cannot overflow.

        2 for each radix-4 (or radix-2^2) stage and 1 for a final radix-2 stage;
        1 for each stage of a radix-2 core. Overall X = transform / N.
        """
        n = self._log2(nfft)
        if n not in self._default_schedules:
            s = [2] * (n // 2) + [1] * (n % 2) if self._g["C_ARCH"] in (1, 3) else [1] * n
            self._default_schedules[n] = np.array(s, dtype=np.int32)
        return self._default_schedules[n].copy()

    def _log2(self, nfft: Optional[int]) -> int:
        if nfft is None or self._g["C_HAS_NFFT"] != 1:
            return self.nfft_max
        return _whole("nfft", nfft)

    def _need_words(self, what: str) -> None:
        if self._float:
            raise ValueError(f"{what}: a floating-point core (float_data=True) has no fixed-point words")

    # ---- words ----

    def to_words(self, x: ArrayLike) -> np.ndarray:
        """Samples as int64 two's-complement words of ``input_width`` bits.

        x: real or complex values in [-1, 1), any shape. Values off the grid are
        rounded to the nearest word, ties to even, as the core does (a value that
        would round up to 1.0 becomes the largest word). Returns
        ``x.shape + (2,)`` (real word, imaginary word). NaN or values outside
        [-1, 1): ValueError naming the first one.
        """
        self._need_words("to_words")
        a = np.asarray(x)
        if a.dtype.kind not in "biufc":
            raise TypeError(f"to_words: expected numbers, got dtype {a.dtype}")
        a = a.astype(np.complex128, copy=False)
        w = self.input_width
        top = 2 ** (w - 1)
        out = np.empty(a.shape + (2,), dtype=np.int64)
        for i, part in enumerate((a.real, a.imag)):
            bad = ~((part >= -1.0) & (part < 1.0))
            if bad.any():
                at = np.unravel_index(int(np.argmax(bad)), part.shape)
                where = f" at index {tuple(int(v) for v in at)}" if a.ndim else ""
                which = "real" if i == 0 else "imaginary"
                raise ValueError(f"to_words: {which} value {part[at]!r}{where} is outside -1.0 <= x < 1.0")
            scaled = np.ldexp(part, w - 1)
            r = np.rint(scaled)
            r = np.where(r >= top, np.floor(scaled), r)
            out[..., i] = r
        return out

    def from_words(self, words: ArrayLike) -> np.ndarray:
        """int64 words (last axis: real, imaginary) of ``input_width`` bits as complex128 values."""
        self._need_words("from_words")
        w = np.asarray(words)
        if w.dtype.kind not in "iu" or w.ndim < 1 or w.shape[-1] != 2:
            raise ValueError(f"from_words: expected integer words of shape (..., 2), got {w.dtype} {w.shape}")
        s = 1 - self.input_width
        return _complex(np.ldexp(w[..., 0].astype(np.float64), s), np.ldexp(w[..., 1].astype(np.float64), s))

    # ---- transforms ----

    def __call__(
        self,
        x: ArrayLike,
        schedule: Optional[ArrayLike] = None,
        nfft: Optional[int] = None,
        inverse: bool = False,
        threads: Optional[int] = None,
        words: bool = False,
    ) -> FFTResult:
        """Transforms one frame or a batch of frames.

        Arguments:
            x: complex or real samples, shape ``(N,)`` for one frame or
                ``(frames, N)`` for a batch, natural order. float32 and complex64
                are widened exactly. With ``words=True``: int64 words of
                ``input_width`` bits, shape ``(N,)`` / ``(frames, N)`` for real
                data or ``(N, 2)`` / ``(frames, N, 2)`` for (real, imaginary)
                pairs, as :meth:`to_words` gives them.
            schedule: right shift (0..3) of each stage, first stage first, for
                cores scaled by a schedule: one sequence for every frame, or one
                row per frame (shape ``(frames, stages)``). None: the
                :meth:`default_schedule` (X = transform / N). Other cores do not
                read it.
            nfft: log2 of the length of this call for ``run_time_nfft`` cores
                (None: the frame's length). On a fixed-length core a value other
                than nfft_max draws the core's warning and is ignored.
            inverse: True for the inverse transform.
            threads: workers for a batch, at most one per frame (None or 0:
                one per core, each given at least about 130,000 samples, as a
                thread costs as much to start and wake). The result is the
                same for any number.
            words: True when x holds integer words (see above).

        Returns an :class:`FFTResult`; raises :class:`FFTError` with the core's
        line (and ``.code``) when the core refuses the call, ValueError or
        TypeError for arrays of the wrong shape or type.
        """
        # The common forms go straight to the extension, which builds the
        # result; anything it does not take is checked and converted here.
        result = _fft_call(self._handle, self, x, schedule, nfft, inverse, threads, words)
        if result is not None:
            return result
        nthreads = _threads(threads)
        if nfft is not None:
            nfft = _whole("nfft", nfft)
            if not 0 <= nfft <= _INT32_MAX:
                raise ValueError(f"nfft must be a non-negative integer (log2 of the transform length), got {nfft}")
        data, batch = self._frames(x, words)
        frames, n = (data.shape[0], data.shape[1]) if batch else (1, data.shape[0])

        sch = None
        if schedule is None:
            if self._schedule_core:
                log2n = nfft if nfft is not None and self._g["C_HAS_NFFT"] == 1 else (
                    n.bit_length() - 1 if self._g["C_HAS_NFFT"] == 1 and n > 0 and n & (n - 1) == 0
                    else self.nfft_max)
                sch = self.default_schedule(log2n) if log2n not in self._default_schedules \
                    else self._default_schedules[log2n]
        else:
            sch = self._schedule(schedule, frames, batch)
        result = _fft_call(self._handle, self, data, sch, nfft, bool(inverse), nthreads, bool(words))
        if result is None:
            raise RuntimeError("internal: the extension refused converted arguments")
        return result

    def _frames(self, x: ArrayLike, words: bool):
        a = np.asarray(x)
        if words:
            self._need_words("words=True")
            if a.dtype.kind not in "iu":
                raise TypeError(f"words=True takes integer words (int64), got dtype {a.dtype}")
            pairs = a.ndim >= 2 and a.shape[-1] == 2
            core = 2 if pairs else 1
            if a.ndim not in (core, core + 1):
                shape = "(N, 2) or (frames, N, 2)" if pairs else "(N,) or (frames, N)"
                raise ValueError(f"word array must have shape {shape}, got {a.shape}")
            if a.dtype == np.uint64 and a.size and int(a.max()) > np.iinfo(np.int64).max:
                raise ValueError(f"input word {int(a.max())} does not fit {self.input_width} bits")
            return np.ascontiguousarray(a, dtype=np.int64), a.ndim == core + 1
        if a.dtype.kind == "c":
            dtype = np.complex128
        elif a.dtype.kind in "biuf":
            dtype = np.float64
        else:
            raise TypeError(f"x must hold real or complex numbers, got dtype {a.dtype}")
        if a.ndim not in (1, 2):
            raise ValueError(f"x must have shape (N,) or (frames, N), got {a.shape}")
        return np.ascontiguousarray(a, dtype=dtype), a.ndim == 2

    def _schedule(self, schedule: ArrayLike, frames: int, batch: bool) -> np.ndarray:
        s = np.asarray(schedule)
        if s.size == 0 and s.dtype.kind == "f":
            s = s.astype(np.int64)  # an empty list
        if s.dtype.kind not in "iu":
            raise TypeError(f"schedule must hold integers (right shift per stage), got dtype {s.dtype}")
        if s.ndim == 2 and not batch:
            raise ValueError("a schedule per frame (2-D) needs a batch of frames (2-D x)")
        if s.ndim not in (1, 2) or (s.ndim == 2 and s.shape[0] != frames):
            raise ValueError(
                f"schedule must have shape (stages,) or (frames, stages) = ({frames}, stages), got {s.shape}")
        if s.size:
            lo, hi = int(s.min()), int(s.max())
            if lo < _INT32_MIN or hi > _INT32_MAX:
                bad = lo if lo < _INT32_MIN else hi
                raise ValueError(f"schedule value {bad} does not fit a 32-bit stage shift")
        return np.ascontiguousarray(s, dtype=np.int32)

    _call = __call__

    def __reduce__(self):
        # A copy or a pickled FFT is a new core of the same record.
        return (type(self).from_generics, (self.generics,))

    def __repr__(self) -> str:
        return "FFT(" + ", ".join(f"{k}={v!r}" for k, v in self.settings.items()) + ")"


# Called without a Python frame of its own; the arguments it does not take as
# they are go to FFT._call.
FFT.__call__ = _core.fft_method(FFT, FFT._call)
_core.enable_fast_calls(FFT)
