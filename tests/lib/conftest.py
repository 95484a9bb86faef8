import ctypes
import os

import pytest

import vandrel
from vandrel import _native

RIG = ctypes.CDLL(os.environ["VANDREL_RIG"])
_native.bind(RIG)
RIG.vandrel_rig_plug.restype = ctypes.c_int32
RIG.vandrel_rig_plug.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_uint32]
RIG.vandrel_rig_received.argtypes = [ctypes.c_int32, ctypes.c_uint32, ctypes.c_char_p, ctypes.c_uint32]


class Bench:
    def plug(self, serial: str, report: bytes = b"") -> int:
        return RIG.vandrel_rig_plug(serial.encode("latin-1"), report or None, len(report))

    def answer(self, unit: int, how: int) -> None:
        RIG.vandrel_rig_answer(unit, how)

    def unplug(self, unit: int) -> None:
        RIG.vandrel_rig_unplug(unit)

    def received(self, unit: int) -> list:
        out = []
        for i in range(RIG.vandrel_rig_received_count(unit)):
            buffer = ctypes.create_string_buffer(64)
            n = RIG.vandrel_rig_received(unit, i, buffer, 64)
            out.append(buffer.raw[:n].hex(":").upper())
        return out

    def open_handles(self) -> int:
        return RIG.vandrel_rig_open_handles()


@pytest.fixture
def bench():
    RIG.vandrel_rig_reset()
    b = Bench()
    yield b
    assert b.open_handles() == 0
