"""libvandrel through the Python package, over simulated units. The report
bytes are those the vandrelctl journey's golden output records for the
same requests."""

import pytest

import vandrel

STALL = 1


def test_a_bench_session(bench):
    assert vandrel.units() == []
    with pytest.raises(vandrel.NoUnitError, match="no unit is attached"):
        vandrel.open()

    one = bench.plug("VD-1001")
    (listed,) = vandrel.units()
    assert (listed.serial, listed.manufacturer, listed.product, listed.version) == (
        "VD-1001", "Vandrel Instruments", "Vandrel Pulse Generator", "1.12")
    with pytest.raises(vandrel.NoUnitError, match="attached: VD-1001"):
        vandrel.open("VD-9999")
    for hostile in ("", "VD\x1b[2J", "x" * 51):
        with pytest.raises(vandrel.ArgumentError, match="cannot be a serial number"):
            vandrel.open(hostile)

    with listed.open() as unit:
        s = unit.settings()
        assert (s.amplitude_code, s.amplitude_mv, s.polarity, s.calibration_code) == (280, 914, "normal", 600)
        assert (s.calibration, s.factory_calibration) == (1.0, 1.0)
        assert s.summary and all(isinstance(line, str) for line in s.summary)

        back = unit.set(amplitude_code=281, polarity="inverted")
        assert (back.amplitude_code, back.polarity) == (281, "inverted")
        # The level follows the calibration given in the same call.
        back = unit.set(calibration=0.5, amplitude_mv=457)
        assert (back.amplitude_mv, back.calibration_code) == (457, 100)
        assert unit.set(amplitude_mv=458).amplitude_code == 281
        with pytest.raises(vandrel.NotExactError, match=r"nearest: code 510 \(\d+ mV\) below; nothing was sent"):
            unit.set(amplitude_mv=20000)
        assert unit.restore().amplitude_code == 280

        # Values no unit may take are refused before anything is sent.
        for bad in ({}, {"amplitude_code": 511}, {"amplitude_code": -1}, {"amplitude_mv": 100000},
                    {"amplitude_mv": True}, {"amplitude_mv": 914, "amplitude_code": 280},
                    {"polarity": "Normal"}, {"calibration": 2.1001}, {"calibration": "1,5"},
                    {"calibration": 0.399}, {"amplitude_code": 2**40}):
            with pytest.raises(vandrel.ArgumentError):
                unit.set(**bad)
    assert bench.received(one) == [
        "00:01:8C:01:02:00:02:58:00",
        "00:01:8C:00:02:00:00:64:00",
        "00:01:8C:01:02:00:00:64:00",
        "00:01:8C:00:01:00:02:58:00",
    ]
    with pytest.raises(vandrel.UnitError, match="closed"):
        unit.settings()
    unit.close()


def test_a_unit_that_stalls_leaves_or_shares_its_serial(bench):
    stalling = bench.plug("VD-2000")
    bench.answer(stalling, STALL)
    with vandrel.open("VD-2000") as unit:
        with pytest.raises(vandrel.UnitError, match="did not answer"):
            unit.settings()
        with pytest.raises(vandrel.UnitError, match="cannot be read"):
            unit.set(polarity="off")
        # A full set of codes needs no read; the unit takes the write but
        # cannot be read back.
        with pytest.raises(vandrel.UnitError, match="sent, but the settings cannot be read back"):
            unit.set(amplitude_code=1, polarity="off", calibration="1.0")
    assert bench.received(stalling) == ["00:01:00:01:00:00:02:58:00"]

    leaving = bench.plug("VD-2001")
    with vandrel.open("VD-2001") as unit:
        bench.unplug(leaving)
        with pytest.raises(vandrel.UnitError, match="unit VD-2001: it cannot be opened"):
            unit.restore()

    bench.plug("VD-2002")
    bench.plug("VD-2002")
    with pytest.raises(vandrel.AmbiguousError, match="2 units share the serial number VD-2002"):
        vandrel.open("VD-2002")
    with pytest.raises(vandrel.AmbiguousError, match="several units are attached"):
        vandrel.open()
    report = vandrel.diagnose()
    assert [i["ready"] for i in report["interfaces"]] == [False, True, True]
