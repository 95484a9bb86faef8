#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the window fuzzer into corpus/.

Each seed is an event sequence in the driver's byte format (event_driver.h):
a first byte with the number of events before the window loads, then per
event an opcode byte and its argument bytes. Run it again after changing a
seed; the regression inputs the fuzzer found are kept as they are.
"""
import os
import struct

PLUG_UNIT, PLUG_OTHER, PLUG_HOSTILE, UNPLUG, REPLUG, FAULT, LIST_FAULT, EVENT_FAULT, \
    MUTATE, PICK, PRESS, TICK, CLOSE, START, RESTART, ARM = range(16)
SERNO, ENC1, ENC2, ENC3, CAL = range(5)
OPEN, ATTRIBUTES, SERIAL, MANUFACTURER, PRODUCT, CAPS, GET_FEATURE, SET_FEATURE, READ = range(9)
SERIAL_A1, SERIAL_B2, SERIAL_C3, SERIAL_EMPTY = range(4)


def u16(v):
    return list(struct.pack(">H", v))


def plug_unit(serial=SERIAL_A1):
    return [PLUG_UNIT, serial]


def pick(which, index):
    return [PICK, which] + u16(index)


def fault(device, op, on):
    return [FAULT, device, op, 1 if on else 0]


def string_units(units):
    return [2, len(units)] + sum((u16(u) for u in units), [])


def string_repeat(n, unit):
    return [3] + u16(n) + u16(unit)


def length_exact(n):
    return [2] + u16(n)


def plug_hostile(version, serial, manufacturer, product, input_len, feature_len, image, unit_ids=True):
    shape = 1 if unit_ids else 0
    ids = [] if unit_ids else u16(0x1209) + u16(0x0002)
    return ([PLUG_HOSTILE, shape] + ids + u16(version) + serial + manufacturer + product +
            input_len + [0] + feature_len + [len(image)] + image)


def mutate_image(device, index, value):
    return [MUTATE, device, 0, index, value]


def mutate_feature_length(device, length):
    return [MUTATE, device, 1] + length


def arm(calls, kind, device, value):
    return [ARM, calls - 1, kind, device, value]


SEEDS = {
    "seed-one-unit-every-setting": [1] + plug_unit() + [TICK, TICK] + pick(ENC1, 100) + pick(ENC2, 0)
    + pick(ENC2, 2) + pick(CAL, 500) + pick(ENC3, 0) + [PRESS, TICK, CLOSE, PRESS, TICK],

    "seed-three-units-switch": [3] + plug_unit(SERIAL_A1) + plug_unit(SERIAL_B2) + plug_unit(SERIAL_C3)
    + [TICK] + pick(SERNO, 0) + pick(ENC1, 5) + pick(SERNO, 1) + [TICK] + pick(CAL, 1700) + [CLOSE, START, TICK]
    + pick(SERNO, 2) + [RESTART, TICK, PLUG_UNIT, SERIAL_A1, TICK, TICK],

    "seed-unplug-and-replug": [1] + plug_unit() + [TICK, UNPLUG, 0, TICK, TICK, REPLUG, 0, TICK]
    + pick(ENC2, 2) + [PLUG_OTHER, TICK, UNPLUG, 0] + pick(ENC1, 9) + [PRESS, TICK, TICK, REPLUG, 0, TICK, PRESS],

    "seed-no-unit-then-plug": [0, TICK, TICK, PLUG_OTHER, TICK, PLUG_UNIT, SERIAL_EMPTY, TICK, TICK]
    + pick(ENC1, 510) + [CLOSE],

    "seed-every-fault": [1] + plug_unit() + fault(0, READ, True) + [TICK] + fault(0, READ, False) + [TICK]
    + fault(0, SET_FEATURE, True) + pick(ENC1, 3) + fault(0, SET_FEATURE, False)
    + fault(0, GET_FEATURE, True) + [UNPLUG, 0, TICK, REPLUG, 0, TICK] + fault(0, GET_FEATURE, False)
    + [LIST_FAULT, 1, TICK, LIST_FAULT, 0, EVENT_FAULT, 1, RESTART, EVENT_FAULT, 0, TICK]
    + fault(0, MANUFACTURER, True) + [UNPLUG, 0, TICK, REPLUG, 0, TICK] + fault(0, MANUFACTURER, False)
    + fault(0, CAPS, True) + [UNPLUG, 0, TICK, REPLUG, 0, TICK, TICK] + fault(0, CAPS, False)
    + fault(0, SERIAL, True) + fault(0, ATTRIBUTES, True) + fault(0, OPEN, True) + [UNPLUG, 0, TICK, REPLUG, 0, TICK]
    + fault(0, SERIAL, False) + fault(0, ATTRIBUTES, False) + fault(0, OPEN, False) + fault(0, PRODUCT, True)
    + [TICK, TICK] + pick(CAL, 3) + [PRESS, CLOSE],

    # Every length at its largest, a calibration index past the list and
    # the level-255 corner of the amplitude.
    "seed-hostile-long-reports": [1] + plug_hostile(
        0x0101, string_repeat(1000, 0x4141), string_units([0x0141, 0x00FF, 0xFFFF, 0x0100, 0x41]),
        string_repeat(60, 0xD800), length_exact(65535), length_exact(65535),
        [0, 255, 1, 9, 0xAA, 0xFF, 0xFF, 0xFF, 0xFF]) + [TICK] + pick(ENC1, 510) + pick(CAL, 0) + [PRESS]
    + mutate_image(0, 5, 6) + mutate_image(0, 6, 0xA5) + [UNPLUG, 0, TICK, REPLUG, 0, TICK] + pick(ENC2, 1)
    + mutate_image(0, 6, 0xA4) + [UNPLUG, 0, TICK, REPLUG, 0, TICK] + pick(ENC1, 0) + [CLOSE],

    # Reports too short for the layouts, no input report, a version that
    # cannot be configured, strings that cannot be read.
    "seed-hostile-short-reports": [2] + plug_hostile(
        0x0100, [1], [0], [0], length_exact(0), length_exact(8), [0, 1, 2]) + plug_hostile(
        0x0203, string_units([0x42]), [1], [1], length_exact(1), length_exact(2), []) + [TICK, TICK]
    + pick(SERNO, 0) + pick(ENC1, 1) + mutate_feature_length(1, length_exact(9)) + [TICK, TICK]
    + pick(ENC2, 0) + [PRESS, TICK],

    # Devices that change while the window is inside a call.
    "seed-mid-call-changes": [2] + plug_unit(SERIAL_A1) + plug_unit(SERIAL_B2) + arm(3, 0, 1, 0) + [TICK]
    + arm(2, 2, 0, GET_FEATURE) + pick(SERNO, 0) + arm(1, 3, 0, GET_FEATURE) + [TICK, TICK]
    + arm(4, 4, 0, 3) + pick(ENC1, 7) + [REPLUG, 1, TICK] + arm(1, 1, 1, 0) + pick(SERNO, 1) + [TICK, PRESS],
}


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes(data))


if __name__ == "__main__":
    main()
