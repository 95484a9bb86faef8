"""The shared library and its C declarations, bound once per process."""

from __future__ import annotations

import ctypes
import os
import sys
from typing import Optional

SONAME = "libvandrel.so.1"
DLL = "vandrel.dll"

OK = 0


class Change(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("given", ctypes.c_uint32),
        ("amplitude_mv", ctypes.c_int32),
        ("amplitude_code", ctypes.c_int32),
        ("polarity", ctypes.c_int32),
        ("calibration_code", ctypes.c_int32),
    ]


_library: Optional[ctypes.CDLL] = None


def _declare(lib: ctypes.CDLL) -> ctypes.CDLL:
    p = ctypes.c_void_p
    s = ctypes.c_int32
    text = ctypes.c_char_p
    signatures = {
        "vandrel_last_error": (text, []),
        "vandrel_status_name": (text, [s]),
        "vandrel_version": (text, []),
        "vandrel_list_units": (s, [ctypes.POINTER(p)]),
        "vandrel_unit_list_count": (ctypes.c_uint32, [p]),
        "vandrel_unit_list_field": (s, [p, ctypes.c_uint32, s, ctypes.POINTER(text)]),
        "vandrel_unit_list_free": (None, [p]),
        "vandrel_open": (s, [text, ctypes.POINTER(p)]),
        "vandrel_unit_field": (s, [p, s, ctypes.POINTER(text)]),
        "vandrel_close": (None, [p]),
        "vandrel_read_settings": (s, [p, ctypes.POINTER(p)]),
        "vandrel_set": (s, [p, ctypes.POINTER(Change), ctypes.POINTER(p)]),
        "vandrel_restore": (s, [p, ctypes.POINTER(p)]),
        "vandrel_calibration_code": (s, [text, ctypes.POINTER(s)]),
        "vandrel_settings_amplitude_code": (s, [p]),
        "vandrel_settings_amplitude_mv": (s, [p]),
        "vandrel_settings_polarity": (s, [p]),
        "vandrel_settings_calibration_code": (s, [p]),
        "vandrel_settings_calibration": (ctypes.c_double, [p]),
        "vandrel_settings_factory_calibration": (ctypes.c_double, [p]),
        "vandrel_settings_summary": (text, [p]),
        "vandrel_settings_free": (None, [p]),
        # The report stays a pointer so that the library's own call frees it.
        "vandrel_diagnose": (s, [s, ctypes.POINTER(p)]),
        "vandrel_free_string": (None, [p]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


def bind(lib: ctypes.CDLL) -> None:
    """Uses lib, which exports libvandrel's functions, from now on."""
    global _library
    _library = _declare(lib)


def library() -> ctypes.CDLL:
    """The library, loaded at the first use: by its SONAME on Linux, and
    from beside this package on Windows."""
    global _library
    if _library is None:
        if sys.platform == "win32":
            path = os.path.join(os.path.dirname(os.path.abspath(__file__)), DLL)
            lib = ctypes.CDLL(path if os.path.exists(path) else DLL)
        else:
            lib = ctypes.CDLL(SONAME)
        _library = _declare(lib)
    return _library
