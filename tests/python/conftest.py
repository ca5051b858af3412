"""Reference hosts for the package tests: the exported C functions of the
built libraries through ctypes (paths in ZEL_BREVANT_LIB, ZEL_SOLVINE_LIB),
with file descriptor 2 captured so their lines can be compared."""
from __future__ import annotations

import ctypes as C
import os
import tempfile

import numpy as np
import pytest


class Fd2:
    """Captures what is written to file descriptor 2 while active."""

    def __enter__(self):
        self.file = tempfile.TemporaryFile()
        self.saved = os.dup(2)
        os.dup2(self.file.fileno(), 2)
        return self

    def __exit__(self, *exc):
        os.dup2(self.saved, 2)
        os.close(self.saved)
        self.file.seek(0)
        self.text = self.file.read().decode()
        self.file.close()


class Generics(C.Structure):
    _fields_ = [(n, C.c_int32) for n in ("C_NFFT_MAX", "C_ARCH", "C_HAS_NFFT", "C_USE_FLT_PT", "C_INPUT_WIDTH",
                                         "C_TWIDDLE_WIDTH", "C_HAS_SCALING", "C_HAS_BFP", "C_HAS_ROUNDING")]


class Inputs(C.Structure):
    _fields_ = [("nfft", C.c_int32), ("xn_re", C.POINTER(C.c_double)), ("xn_re_size", C.c_int32),
                ("xn_im", C.POINTER(C.c_double)), ("xn_im_size", C.c_int32),
                ("scaling_sch", C.POINTER(C.c_int32)), ("scaling_sch_size", C.c_int32), ("direction", C.c_int32)]


class Outputs(C.Structure):
    _fields_ = [("xk_re", C.POINTER(C.c_double)), ("xk_re_size", C.c_int32), ("xk_im", C.POINTER(C.c_double)),
                ("xk_im_size", C.c_int32), ("block_exp", C.c_int32), ("overflow", C.c_int32)]


def _dptr(a):
    return a.ctypes.data_as(C.POINTER(C.c_double))


class CFft:
    """One FFT state of the shared library, driven as a C host drives it."""

    P = "korvane_ip_zelfft_v9_0_"

    def __init__(self, lib, generics: dict):
        self.lib = lib
        g = getattr(lib, self.P + "get_default_generics")()
        for k, v in generics.items():
            setattr(g, k, v)
        self.g = g
        with Fd2() as cap:
            self.state = getattr(lib, self.P + "create_state")(g)
        self.create_text = cap.text

    def close(self):
        if self.state:
            getattr(self.lib, self.P + "destroy_state")(self.state)
            self.state = None

    def run(self, re, im, schedule, nfft, forward):
        """(code, X, block_exp, overflow, stderr text) of one transform."""
        re, im = np.array(re, dtype=np.float64), np.array(im, dtype=np.float64)  # the call may zero subnormals
        n = len(re)
        sch = None if schedule is None else np.ascontiguousarray(schedule, dtype=np.int32)
        inp = Inputs(nfft, _dptr(re), n, _dptr(im), n,
                     None if sch is None else sch.ctypes.data_as(C.POINTER(C.c_int32)),
                     0 if sch is None else len(sch), 1 if forward else 0)
        ore, oim = np.zeros(n), np.zeros(n)
        out = Outputs(_dptr(ore), n, _dptr(oim), n, 0, 0)
        with Fd2() as cap:
            code = getattr(self.lib, self.P + "bitacc_simulate")(self.state, inp, C.byref(out))
        X = np.empty(n, dtype=np.complex128)
        X.real, X.imag = ore, oim
        return code, X, out.block_exp, out.overflow, cap.text


class Config(C.Structure):
    _fields_ = [("name", C.c_char_p)] + [(n, C.c_uint32) for n in (
        "CordicFunction", "CoarseRotate", "DataFormat", "PhaseFormat", "InputWidth", "OutputWidth", "Iterations",
        "Precision", "RoundMode", "ScaleComp", "Reserved")]


class Array(C.Structure):
    _fields_ = [("data", C.c_void_p), ("data_size", C.c_size_t), ("data_capacity", C.c_size_t),
                ("dim", C.POINTER(C.c_size_t)), ("dim_size", C.c_size_t), ("dim_capacity", C.c_size_t),
                ("owner", C.c_uint32), ("ops", C.c_void_p)]


HANDLER = C.CFUNCTYPE(None, C.c_void_p, C.c_int, C.c_char_p)


class CCordic:
    """One CORDIC model of the shared library with a recording message callback."""

    P = "zelip_cordic_v6_0_"

    def __init__(self, lib, config: dict):
        self.lib = lib
        self.messages = []
        self.handler = HANDLER(lambda h, err, text: self.messages.append(text.decode()))
        c = Config()
        getattr(lib, self.P + "default_config")(C.byref(c))
        for k, v in config.items():
            setattr(c, k, v.encode() if k == "name" else v)
        getattr(lib, self.P + "create").restype = C.c_void_p
        self.model = getattr(lib, self.P + "create")(C.byref(c), self.handler, None)
        self.function = c.CordicFunction

    def close(self):
        if self.model:
            getattr(self.lib, self.P + "destroy")(C.c_void_p(self.model))
            self.model = None

    def _array(self, kind, values):
        values = np.asarray(values, dtype=np.float64)
        fn = lambda op: getattr(self.lib, f"{self.P}zelip_array_{kind}_{op}")  # noqa: E731
        fn("create").restype = C.POINTER(Array)
        a = fn("create")()
        count = len(values)
        fn("reserve_data")(a, C.c_size_t(max(count, 1)))
        fn("reserve_dim")(a, C.c_size_t(1))
        a.contents.data_size, a.contents.dim_size, a.contents.dim[0] = count, 1, count
        view = np.frombuffer((C.c_double * values.size).from_address(a.contents.data), dtype=np.float64)
        view[:] = values.ravel()
        return a, view.reshape(values.shape), fn("destroy")

    def run(self, inputs):
        """Output word arrays (int64) of the configured function and the status.

        Every array is passed; the function code reads and writes the ones it needs."""
        f, n = self.function, len(inputs[0])
        first = inputs[0]
        arrays = {
            "magin": self._array("real", first), "phasein": self._array("real", inputs[2] if f == 0 else first),
            "cartin": self._array("complex", np.stack([first, inputs[1] if len(inputs) > 1 else first], axis=1)),
            "magout": self._array("real", np.zeros(n)), "phaseout": self._array("real", np.zeros(n)),
            "cartout": self._array("complex", np.zeros((n, 2))),
        }
        order = ("magin", "phasein", "cartin", "magout", "phaseout", "cartout")
        status = getattr(self.lib, self.P + "data_do")(C.c_void_p(self.model), C.c_uint32(f),
                                                       *[arrays[k][0] for k in order], C.c_size_t(n))
        view = {k: v[1].copy() for k, v in arrays.items()}
        outs = {0: [view["cartout"][:, 0], view["cartout"][:, 1]], 1: [view["magout"], view["phaseout"]],
                6: [view["magout"]]}.get(f, [view["cartout"][:, 0], view["cartout"][:, 1]] if f in (2, 4)
                                          else [view["phaseout"]])
        for a, _, destroy in arrays.values():
            destroy(a)
        return status, [o.astype(np.int64) for o in outs]


@pytest.fixture(scope="session")
def brevant():
    path = os.environ.get("ZEL_BREVANT_LIB")
    if not path:
        pytest.skip("ZEL_BREVANT_LIB is not set (run through ctest)")
    lib = C.CDLL(path)
    getattr(lib, CFft.P + "get_default_generics").restype = Generics
    getattr(lib, CFft.P + "create_state").restype = C.c_void_p
    getattr(lib, CFft.P + "create_state").argtypes = [Generics]
    getattr(lib, CFft.P + "destroy_state").argtypes = [C.c_void_p]
    getattr(lib, CFft.P + "bitacc_simulate").argtypes = [C.c_void_p, Inputs, C.POINTER(Outputs)]
    return lib


@pytest.fixture(scope="session")
def solvine():
    path = os.environ.get("ZEL_SOLVINE_LIB")
    if not path:
        pytest.skip("ZEL_SOLVINE_LIB is not set (run through ctest)")
    return C.CDLL(path)


def same_bits(a, b) -> bool:
    """Equal to the last bit, NaN payloads and signed zeros included."""
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and np.array_equal(a.view(np.uint8), b.view(np.uint8))
