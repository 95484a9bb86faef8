"""Steps one unit through a few levels, then puts its defaults back.

    python3 sweep.py VD-1001
"""

import sys

import vandrel

serial = sys.argv[1] if len(sys.argv) > 1 else None
try:
    with vandrel.open(serial) as unit:
        for mv in (457, 914, 1371):
            try:
                s = unit.set(amplitude_mv=mv)
                print(f"{unit.serial}: code {s.amplitude_code}, {s.amplitude_mv} mV")
            except vandrel.NotExactError as e:
                print(f"skipped: {e}")
        print("restored:", unit.restore().summary)
except vandrel.Error as e:
    sys.exit(f"sweep: {e}")
