#!/usr/bin/env python3
"""In the live guest: import vandrel sets and restores a real virtual unit
on the real kernel, and the unit must receive the very reports vandrelctl
sends for the same requests.

    library_journey.py SOCKET VANDRELCTL VID PID

SOCKET is the virtual units' command socket (play.sh starts them), VANDRELCTL
the native vandrelctl, VID and PID the unit's IDs. The package comes from
PYTHONPATH and loads libvandrel.so.1 by its SONAME (LD_LIBRARY_PATH may point
at a build). Prints each request's reports; exits 1 on any difference.
"""

import socket
import subprocess
import sys

import vandrel

REQUESTS = [
    # (what the script calls, vandrelctl's words for the same request)
    ("set(amplitude_mv=914, polarity='inverted')", ["set", "--amplitude", "914", "--polarity", "inverted"]),
    ("set(calibration=0.5, amplitude_mv=457)", ["set", "--calibration", "0.5", "--amplitude", "457"]),
    ("restore()", ["restore"]),
]


def main() -> int:
    sock_path, ctl, vid, pid = sys.argv[1:5]
    s = socket.socket(socket.AF_UNIX)
    s.connect(sock_path)
    link = s.makefile("rw")

    def call(line: str) -> list:
        link.write(line + "\n")
        link.flush()
        if line.startswith("reports"):
            # One report a line, then "end".
            lines = []
            for row in link:
                row = row.strip()
                if row == "end":
                    return lines
                if row.startswith("error"):
                    raise SystemExit(f"units: {line}: {row}")
                lines.append(row.upper())
            raise SystemExit(f"units: {line}: the units went away before \"end\"")
        answer = link.readline().strip()
        if not answer.startswith("ok"):
            raise SystemExit(f"units: {line}: {answer}")
        return answer.split()[1:]

    text = lambda t: "".join("%04X" % ord(c) for c in t)
    serial = "VD-LIB01"
    (unit_id,) = call(f"plug vid={vid} pid={pid} version=274 serial={text(serial)} "
                      f"manufacturer={text('Vandrel Instruments')} product={text('Vandrel Pulse Generator')} "
                      "report=008C00010002582710 feature_len=9 input_len=65 output_len=0")
    print("units:", [u.serial for u in vandrel.units()])
    failed = 0
    for python_call, words in REQUESTS:
        call(f"reports {unit_id}")
        with vandrel.open(serial) as unit:
            back = eval("unit." + python_call, {"unit": unit})
        from_python = call(f"reports {unit_id}")
        # Each request sets what it names and keeps the rest, which the call
        # before left as it found it: vandrelctl repeating it sends the same.
        run = subprocess.run([ctl, *words, "--serial", serial], capture_output=True, text=True)
        from_ctl = call(f"reports {unit_id}")
        same = from_python == from_ctl and run.returncode == 0
        failed += not same
        print(f"{python_call}: code {back.amplitude_code}, {back.amplitude_mv} mV, {back.polarity}")
        print(f"  python:     {' '.join(from_python)}")
        print(f"  vandrelctl: {' '.join(from_ctl)} (vandrelctl {' '.join(words)}, exit {run.returncode})")
        print("  same" if same else "  DIFFERENT")
    call(f"unplug {unit_id}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
