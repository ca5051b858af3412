"""The bit-accurate CORDIC core model from numpy: :class:`Cordic`."""
from __future__ import annotations

from typing import Any, Dict, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core
from .errors import CordicError

__all__ = ["Cordic", "CordicValues"]

ArrayLike = Union[np.ndarray, Sequence[Any], int, float]

_FUNCTIONS = ("rotate", "translate", "sin_cos", "atan", "sinh_cosh", "atanh", "sqrt")


def _threads(threads: Optional[int]) -> int:
    if threads is None:
        return 0
    if isinstance(threads, (bool, np.bool_)) or not isinstance(threads, (int, np.integer)) or threads < 0:
        raise ValueError(f"threads must be None or a non-negative integer (0: one per core), got {threads!r}")
    return int(threads)


class CordicValues:
    """Words and real values of one :meth:`Cordic.evaluate` call.

    Attributes:
        inputs: input name -> int64 input words.
        words: output name -> int64 output words.
        values: output name -> float64 values of those words.
    """

    __slots__ = ("inputs", "words", "values")

    def __init__(self, inputs: Dict[str, np.ndarray], words: Dict[str, np.ndarray],
                 values: Dict[str, np.ndarray]) -> None:
        self.inputs, self.words, self.values = inputs, words, values

    def __repr__(self) -> str:
        return f"CordicValues(words={self.words!r}, values={self.values!r})"


class Cordic:
    """Bit-accurate model of the configurable CORDIC core.

    Arguments (the defaults are those of the hardware's default record):
        function: "rotate", "translate", "sin_cos", "atan", "sinh_cosh",
            "atanh" or "sqrt" (or the record's number 0..6). Only the method of
            that name may be called.
        coarse_rotation: quadrant pre-rotation and post-correction (full
            circle of input angles and vectors).
        data_format: "signed_fraction", "unsigned_fraction" or
            "unsigned_integer" (0..2); only sqrt distinguishes them.
        phase_format: "radians" or "scaled" (pi = 1).
        input_width: width of every input word, 8..48 bits.
        output_width: width of every output word, 8..48 bits (sqrt with
            "unsigned_integer": exactly input_width // 2 + 1).
        iterations: micro-rotations, 0 = derived from the widths.
        precision: internal data-path width in bits, 0 = derived.
        rounding: output rounding: "truncate", "round_half_up",
            "round_half_away" or "round_nearest".
        gain_compensation: compensate the CORDIC gain (True, or 1..3).
        name: label that prefixes the model's processing messages.
        reserved: stored and returned, no effect.

    Words: every sample is an int64 holding a two's-complement word. Binary
    points: x and y words (and cos, sin, cosh, sinh, magnitude) have 2 integer
    bits (sign included), phase words 3, in radians or in units of pi.
    Square roots: "unsigned_integer" words are integers, "unsigned_fraction"
    words have 1 integer bit. :meth:`input_words`, :meth:`output_values` and
    :meth:`evaluate` convert between words and real values.

    Errors: a setting the record cannot hold or the core refuses raises
    ValueError with the library's text; a processing failure raises
    :class:`CordicError` with ``"<name> ERROR: <text>"``.
    """

    def __init__(
        self,
        function: Union[str, int] = "rotate",
        *,
        coarse_rotation: bool = True,
        data_format: Union[str, int] = "signed_fraction",
        phase_format: Union[str, int] = "radians",
        input_width: int = 16,
        output_width: int = 16,
        iterations: int = 0,
        precision: int = 0,
        rounding: Union[str, int] = "truncate",
        gain_compensation: Union[bool, int] = False,
        name: str = "Default configuration",
        reserved: int = 1,
    ) -> None:
        self._setup([
            ("name", name), ("function", function), ("coarse_rotation", coarse_rotation),
            ("data_format", data_format), ("phase_format", phase_format), ("input_width", input_width),
            ("output_width", output_width), ("iterations", iterations), ("precision", precision),
            ("rounding", rounding), ("gain_compensation", gain_compensation), ("reserved", reserved),
        ])

    @classmethod
    def from_config(cls, config: Mapping[str, Any]) -> "Cordic":
        """A Cordic from a dict of the record's own fields (``CordicFunction``, ``InputWidth``, ...).

        Fields left out keep the hardware's default; values go to the core
        unchanged, so a value out of range gets the library's own text.
        """
        self = cls.__new__(cls)
        self._setup(list(dict(config).items()))
        return self

    def _setup(self, settings: list) -> None:
        self._core = _core.CordicCore(settings)
        c = self._core.config
        self._c = c
        self._function = c["CordicFunction"]
        ins, outs = _core.cordic_signature(self._function)
        self._inputs, self._outputs = tuple(ins), tuple(outs)

    # ---- configuration ----

    @property
    def config(self) -> dict:
        """The record's integer fields as the core got them: ``{"CordicFunction": 2, ...}``."""
        return dict(self._c)

    @property
    def settings(self) -> dict:
        """The record in readable names: ``{"name": ..., "function": "sin_cos", ...}``."""
        return self._core.settings

    @property
    def function(self) -> str:
        return _FUNCTIONS[self._function]

    @property
    def input_names(self) -> Tuple[str, ...]:
        """Inputs of the configured function, in call order (e.g. ("x", "y", "phase"))."""
        return self._inputs

    @property
    def output_names(self) -> Tuple[str, ...]:
        """Outputs of the configured function, in return order (e.g. ("cos", "sin"))."""
        return self._outputs

    @property
    def input_width(self) -> int:
        return self._c["InputWidth"]

    @property
    def output_width(self) -> int:
        return self._c["OutputWidth"]

    # ---- word formats ----

    def _unsigned_root(self) -> bool:
        return self._function == 6 and self._c["DataFormat"] in (1, 2)

    def _fraction_bits(self, port: str, width: int, output: bool) -> int:
        if self._function == 6:
            fmt = self._c["DataFormat"]
            if fmt == 0:
                raise ValueError("real values of sqrt words are defined for data_format 'unsigned_fraction' "
                                 "and 'unsigned_integer'; 'signed_fraction' radicands are not aligned")
            return 0 if fmt == 2 else width - 1
        return width - 3 if port == "phase" else width - 2

    def _port(self, port: str, output: bool) -> str:
        names = self._outputs if output else self._inputs
        if port not in names:
            kind = "outputs" if output else "inputs"
            raise ValueError(f"{self.function} has no {'output' if output else 'input'} {port!r}; its {kind} "
                             f"are {', '.join(names)}")
        return port

    def input_words(self, port: str, values: ArrayLike) -> np.ndarray:
        """Real values as int64 words of the input ``port`` ("x", "y", "phase").

        x and y are fractions with 2 integer bits; phases have 3, in radians or
        in units of pi (phase_format "scaled"); sqrt radicands are integers or
        unsigned fractions with 1 integer bit. Rounds to nearest, ties to even;
        a value that does not fit the word raises ValueError.
        """
        self._port(port, False)
        w = self.input_width
        frac = self._fraction_bits(port, w, False)
        v = np.asarray(values, dtype=np.float64)
        r = np.rint(np.ldexp(v, frac))
        lo, hi = (0, 2**w - 1) if self._unsigned_root() else (-(2 ** (w - 1)), 2 ** (w - 1) - 1)
        bad = ~((r >= lo) & (r <= hi))
        if bad.any():
            i = int(np.argmax(bad.ravel()))
            unit = " (units of pi)" if port == "phase" and self._c["PhaseFormat"] == 1 else ""
            raise ValueError(f"{port} value {v.ravel()[i]!r}{' at index ' + str(i) if v.ndim else ''} does not fit "
                             f"a {w}-bit {port} word: range {np.ldexp(float(lo), -frac)!r} to "
                             f"{np.ldexp(float(hi), -frac)!r}{unit}")
        return r.astype(np.int64)

    def output_values(self, port: str, words: ArrayLike) -> np.ndarray:
        """The real values of int64 words of the output ``port`` (e.g. "sin", "phase", "root")."""
        self._port(port, True)
        frac = self._fraction_bits(port, self.output_width, True)
        return np.ldexp(np.asarray(words).astype(np.float64), -frac)

    def evaluate(self, *values: ArrayLike, threads: Optional[int] = None) -> CordicValues:
        """Runs the configured function on real values; returns words and values.

        ``Cordic("sin_cos").evaluate(0.3)`` gives the phase word of 0.3 rad and
        the cos and sin words with their real values.
        """
        if len(values) != len(self._inputs):
            raise ValueError(f"{self.function} takes {len(self._inputs)} values ({', '.join(self._inputs)}), "
                             f"got {len(values)}")
        inputs = {p: self.input_words(p, v) for p, v in zip(self._inputs, values)}
        outs = self(*inputs.values(), threads=threads)
        if len(self._outputs) == 1:
            outs = (outs,)
        words = dict(zip(self._outputs, outs))
        return CordicValues(inputs, words, {p: self.output_values(p, w) for p, w in words.items()})

    # ---- the seven functions ----

    def __call__(self, *inputs: ArrayLike, threads: Optional[int] = None):
        """Runs the configured function on int64 word arrays (see :attr:`input_names`).

        Inputs broadcast against each other; outputs have their shape, as int64
        words, one array per output (a tuple when there are two).
        """
        if len(inputs) != len(self._inputs):
            raise ValueError(f"{self.function} takes {len(self._inputs)} word arrays ({', '.join(self._inputs)}), "
                             f"got {len(inputs)}")
        nthreads = _threads(threads)
        arrays = []
        for port, x in zip(self._inputs, inputs):
            a = np.asarray(x)
            if a.dtype.kind not in "iu":
                raise TypeError(f"{self.function}: {port} must hold integer words (int64), got dtype {a.dtype}; "
                                f"input_words() converts real values")
            arrays.append(a)
        try:
            arrays = np.broadcast_arrays(*arrays)
        except ValueError:
            raise ValueError(f"{self.function}: input shapes {[a.shape for a in arrays]} do not broadcast") from None
        shape = arrays[0].shape
        if any(a.dtype == np.uint64 for a in arrays):
            self._check_range(arrays)  # words past 2**63 would not survive the int64 view
        flat = [np.ascontiguousarray(a.ravel(), dtype=np.int64) for a in arrays]
        # Words outside the input range raise ValueError in the extension,
        # which checks them while converting.
        outs, error = self._core.run(flat, nthreads, len(shape))
        if error is not None:
            raise CordicError(error)
        outs = tuple(o.reshape(shape) for o in outs)
        if not shape:
            outs = tuple(o[()] for o in outs)
        return outs[0] if len(outs) == 1 else outs

    def _check_range(self, arrays) -> None:
        w = self.input_width
        lo, hi = (0, 2**w - 1) if self._unsigned_root() else (-(2 ** (w - 1)), 2 ** (w - 1) - 1)
        for port, a in zip(self._inputs, arrays):
            if a.size:
                amin, amax = int(a.min()), int(a.max())
                if amin < lo or amax > hi:
                    bad = (a < lo) | (a > hi)
                    i = int(np.argmax(bad.ravel()))
                    word = int(a.ravel()[i])
                    kind = "unsigned" if self._unsigned_root() else "signed"
                    raise ValueError(f"{self.function}: {port} word {word}{' at index ' + str(i) if a.ndim else ''} "
                                     f"is outside the {w}-bit {kind} range {lo} to {hi}")

    def _check(self, function: int) -> None:
        if self._function != function:
            name = _FUNCTIONS[function]
            raise ValueError(f"this Cordic computes {self.function}; {name}() needs Cordic(function={name!r})")

    def rotate(self, x: ArrayLike, y: ArrayLike, phase: ArrayLike, *, threads: Optional[int] = None):
        """Rotates the vectors (x, y) by phase; returns the (x, y) words."""
        self._check(0)
        return self(x, y, phase, threads=threads)

    def translate(self, x: ArrayLike, y: ArrayLike, *, threads: Optional[int] = None):
        """Magnitude and phase of the vectors (x, y); returns (magnitude, phase) words."""
        self._check(1)
        return self(x, y, threads=threads)

    def sin_cos(self, phase: ArrayLike, *, threads: Optional[int] = None):
        """Cosine and sine of the phase words; returns (cos, sin) words."""
        self._check(2)
        return self(phase, threads=threads)

    def atan(self, x: ArrayLike, y: ArrayLike, *, threads: Optional[int] = None):
        """Angle of the vectors (x, y); returns the phase words."""
        self._check(3)
        return self(x, y, threads=threads)

    def sinh_cosh(self, phase: ArrayLike, *, threads: Optional[int] = None):
        """Hyperbolic cosine and sine of the phase words; returns (cosh, sinh) words."""
        self._check(4)
        return self(phase, threads=threads)

    def atanh(self, x: ArrayLike, y: ArrayLike, *, threads: Optional[int] = None):
        """Hyperbolic arctangent of y / x; returns the phase words."""
        self._check(5)
        return self(x, y, threads=threads)

    def sqrt(self, x: ArrayLike, *, threads: Optional[int] = None):
        """Square roots of the radicand words; returns the root words."""
        self._check(6)
        return self(x, threads=threads)

    def __repr__(self) -> str:
        return "Cordic(" + ", ".join(f"{k}={v!r}" for k, v in self.settings.items()) + ")"
