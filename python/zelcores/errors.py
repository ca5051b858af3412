"""Exceptions and warnings of the zelcores package.

Configuration mistakes (an unknown setting, a value the core refuses) are
plain :class:`ValueError` exceptions carrying the message of the shared
configuration names or the model's own line. Failures while running a model
are :class:`ModelError` subclasses carrying the model's exact text.
"""
from __future__ import annotations

__all__ = ["ModelError", "FFTError", "CordicError", "ModelWarning"]


class ModelError(RuntimeError):
    """A model refused to process its data; ``str(err)`` is the model's text."""


class FFTError(ModelError):
    """The FFT model refused a call.

    Attributes:
        code: the model's status code (1..23: the argument check that failed).
        frame: index of the first failing frame of a batch (0 for one frame).
    """

    def __init__(self, message: str, code: int, frame: int = 0) -> None:
        super().__init__(message)
        self.code = code
        self.frame = frame


class CordicError(ModelError):
    """The CORDIC model failed on a sample: ``"<name> ERROR: <text>"``."""


class ModelWarning(UserWarning):
    """A warning line of a model (``"WARNING:zelfft_v9_0:..."``), text unchanged."""
