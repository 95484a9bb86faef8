"""python3 -m vandrel: the attached units, as `vandrelctl list` prints them."""

import sys

from . import Error, units


def _printable(text: str) -> str:
    # Control characters a device may send become \xNN, as vandrelctl shows them.
    return "".join(f"\\x{ord(c):02X}" if ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0 else c for c in text)


def main() -> int:
    try:
        found = units()
    except Error as error:
        print(f"vandrel: {error}", file=sys.stderr)
        return 1
    for u in found:
        fields = (u.serial, u.manufacturer or "?", u.product or "?", u.version, u.path)
        print("\t".join(_printable(f) for f in fields))
    return 0


if __name__ == "__main__":
    sys.exit(main())
