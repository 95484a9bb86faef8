"""The Vandrel pulse generators attached over USB.

    import vandrel
    for unit in vandrel.units():
        print(unit.serial, unit.product)
    with vandrel.open("VD-1001") as unit:
        unit.set(amplitude_mv=914, polarity="normal")
        print(unit.settings().summary)

Every check the command-line program vandrelctl makes applies here too:
both run the same code in libvandrel. A value a unit cannot take raises
before anything is sent.
"""

from __future__ import annotations

import ctypes
import json
from dataclasses import dataclass
from typing import Any, Callable, Dict, List, Optional, Union

from . import _native

__all__ = [
    "Error", "ArgumentError", "NoUnitError", "AmbiguousError", "NotExactError", "UnitError",
    "UnitInfo", "Settings", "Unit", "units", "open", "diagnose", "calibration_code",
]

POLARITIES = ("off", "normal", "inverted")


class Error(Exception):
    """A call into libvandrel failed; the message is the library's."""

    status: int = -1

    def __init__(self, message: str, status: int) -> None:
        super().__init__(message)
        self.status = status


class ArgumentError(Error, ValueError):
    """A value out of range or a serial no unit can have; nothing was sent."""


class NoUnitError(Error, LookupError):
    """No attached unit matched."""


class AmbiguousError(Error, LookupError):
    """Several units matched; nothing was opened."""


class NotExactError(Error, ValueError):
    """No amplitude code gives exactly the millivolts asked for; nothing was sent."""


class UnitError(Error, OSError):
    """The unit could not be read or written, or has left."""


_ERRORS = {1: ArgumentError, 2: NoUnitError, 3: AmbiguousError, 4: NotExactError, 5: UnitError, 6: MemoryError}

_FIELDS = ("serial", "manufacturer", "product", "version", "path")


def _check(status: int) -> None:
    if status == _native.OK:
        return
    message = (_native.library().vandrel_last_error() or b"").decode("utf-8", "replace")
    kind = _ERRORS.get(status, Error)
    if kind is MemoryError:
        raise MemoryError(message)
    raise kind(message, status)


def _text(value: Optional[bytes]) -> Optional[str]:
    return None if value is None else value.decode("utf-8", "replace")


def _info(field: Callable[[int, Any], int]) -> UnitInfo:
    # field(index, out) is the library's getter for one unit's field.
    fields = {}
    for index, name in enumerate(_FIELDS):
        value = ctypes.c_char_p()
        _check(field(index, ctypes.byref(value)))
        fields[name] = _text(value.value)
    return UnitInfo(**fields)  # type: ignore[arg-type]


@dataclass(frozen=True)
class UnitInfo:
    """An attached unit as listed. A string the unit did not give is None."""

    serial: str
    manufacturer: Optional[str]
    product: Optional[str]
    version: str
    path: str

    def open(self) -> "Unit":
        """Opens this unit by its serial."""
        return open(self.serial)


@dataclass(frozen=True)
class Settings:
    """A unit's settings as read. Levels and the summary are None when the
    calibration code names no factor."""

    amplitude_code: int
    amplitude_mv: Optional[int]
    polarity: str
    calibration_code: int
    calibration: Optional[float]
    factory_calibration: float
    summary: Optional[List[str]]


def _settings(call: Callable[..., int], *args: Any) -> Settings:
    # call hands out settings through its last argument; they are freed here.
    lib = _native.library()
    handle = ctypes.c_void_p()
    _check(call(*args, ctypes.byref(handle)))
    try:
        mv = lib.vandrel_settings_amplitude_mv(handle)
        calibration = lib.vandrel_settings_calibration(handle)
        summary = _text(lib.vandrel_settings_summary(handle))
        return Settings(
            amplitude_code=lib.vandrel_settings_amplitude_code(handle),
            amplitude_mv=None if mv < 0 else mv,
            polarity=POLARITIES[lib.vandrel_settings_polarity(handle)],
            calibration_code=lib.vandrel_settings_calibration_code(handle),
            calibration=None if summary is None else calibration,
            factory_calibration=lib.vandrel_settings_factory_calibration(handle),
            summary=None if summary is None else summary.splitlines(),
        )
    finally:
        lib.vandrel_settings_free(handle)


def calibration_code(factor: Union[str, float]) -> int:
    """The code of a calibration factor from 0.400 to 2.100, at most three decimals."""
    if isinstance(factor, bool) or not isinstance(factor, (str, float, int)):
        raise ArgumentError(f"the calibration is a number, not {factor!r}", 1)
    code = ctypes.c_int32()
    _check(_native.library().vandrel_calibration_code(str(factor).encode("utf-8"), ctypes.byref(code)))
    return code.value


def _whole(name: str, value: Any) -> int:
    # A bool is an int to Python, never a level to a unit.
    if isinstance(value, bool) or not isinstance(value, int):
        raise ArgumentError(f"{name} is a whole number, not {value!r}", 1)
    if not -(2**31) <= value < 2**31:
        raise ArgumentError(f"{name} {value} is out of range", 1)
    return value


class Unit:
    """An opened unit. Each call finds it again by its path and serial, so
    one that has left or been replaced raises UnitError."""

    def __init__(self, handle: ctypes.c_void_p) -> None:
        self._handle: Optional[ctypes.c_void_p] = handle
        self.info = _info(lambda index, out: _native.library().vandrel_unit_field(handle, index, out))

    @property
    def serial(self) -> str:
        return self.info.serial

    def _live(self) -> ctypes.c_void_p:
        if self._handle is None:
            raise UnitError("the unit is closed", 5)
        return self._handle

    def settings(self) -> Settings:
        """Reads the unit's settings."""
        return _settings(_native.library().vandrel_read_settings, self._live())

    def set(self, *, amplitude_mv: Optional[int] = None, amplitude_code: Optional[int] = None,
            polarity: Optional[str] = None, calibration: Union[str, float, None] = None) -> Settings:
        """Writes the settings given in one report, keeps the others, and
        returns the settings read back. amplitude_mv picks the lowest code
        that gives exactly that level into 50 ohms; polarity is "off",
        "normal" or "inverted"; calibration is a factor from 0.400 to 2.100."""
        change = _native.Change()
        change.size = ctypes.sizeof(_native.Change)
        if amplitude_mv is not None:
            change.given |= 0x1
            change.amplitude_mv = _whole("amplitude_mv", amplitude_mv)
        if amplitude_code is not None:
            change.given |= 0x2
            change.amplitude_code = _whole("amplitude_code", amplitude_code)
        if polarity is not None:
            if polarity not in POLARITIES:
                raise ArgumentError(f"the polarity is off, normal or inverted, not {polarity!r}", 1)
            change.given |= 0x4
            change.polarity = POLARITIES.index(polarity)
        if calibration is not None:
            change.given |= 0x8
            change.calibration_code = calibration_code(calibration)
        return _settings(_native.library().vandrel_set, self._live(), ctypes.byref(change))

    def restore(self) -> Settings:
        """Writes amplitude code 280, normal and calibration 1.000; returns them as read back."""
        return _settings(_native.library().vandrel_restore, self._live())

    def close(self) -> None:
        """Lets the unit go; closing twice does nothing."""
        if self._handle is not None:
            _native.library().vandrel_close(self._handle)
            self._handle = None

    def __enter__(self) -> "Unit":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    def __repr__(self) -> str:
        return f"<vandrel.Unit {self.info.serial!r} at {self.info.path!r}>"


def units() -> List[UnitInfo]:
    """The attached units whose serial can be read; [] when there are none."""
    lib = _native.library()
    handle = ctypes.c_void_p()
    _check(lib.vandrel_list_units(ctypes.byref(handle)))
    try:
        return [
            _info(lambda index, out: lib.vandrel_unit_list_field(handle, i, index, out))
            for i in range(lib.vandrel_unit_list_count(handle))
        ]
    finally:
        lib.vandrel_unit_list_free(handle)


def open(serial: Optional[str] = None) -> Unit:  # noqa: A001 - as in vandrel.open("VD-1001")
    """Opens the unit whose serial is exactly serial; without one, the only
    attached unit. NoUnitError when none matches, AmbiguousError when several do."""
    if serial is not None and not isinstance(serial, str):
        raise ArgumentError(f"a serial is text, not {serial!r}", 1)
    if serial is not None and "\0" in serial:
        raise ArgumentError("a serial holds no NUL character", 1)
    handle = ctypes.c_void_p()
    _check(_native.library().vandrel_open(None if serial is None else serial.encode("utf-8"), ctypes.byref(handle)))
    return Unit(handle)


def diagnose() -> Dict[str, Any]:
    """Why a unit may not appear and how to fix it, as `vandrelctl diagnose --json` gives it."""
    lib = _native.library()
    report = ctypes.c_void_p()
    _check(lib.vandrel_diagnose(1, ctypes.byref(report)))
    try:
        return json.loads(ctypes.string_at(report).decode("utf-8"))
    finally:
        lib.vandrel_free_string(report)
