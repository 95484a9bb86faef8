# What a guest of the live stack may spend on the pieces of its work that
# are not scenarios, in seconds; each scenario's own budget comes from the
# runner (vandrel-sim --budget). Sourced by the host's scripts, to set each
# guest's limit, and by play.sh in the guest. On one core the boot took
# 12 to 20 s, the units' start 7 to 21 s and the Linux picture 19 to 37 s;
# all the guests' limits add up to an hour at most, so that a hang is
# named inside CI's 90 minutes.

# Booting the guest and loading its modules; starting the virtual units.
BUDGET_BOOT=32
BUDGET_UNITS=20
# Wine's first start in a guest: its server, devices and HID bus (110 to
# 152 s on one core without Wine's USB bus, 93 s on two under a load of 7).
BUDGET_WINE=200
# A runner's start before its first scenario: on Linux, and under Wine,
# where the process's start and its first window took 29 to 61 s on one
# core.
BUDGET_RUNNER_LINUX=10
BUDGET_RUNNER_WINE=90
# The window appearing (on the virtual display, for the Windows program)
# and its picture being taken.
BUDGET_PICTURE=90
# Wine's desktop starting for the Windows program's picture: 54 and 71 s
# on one core.
BUDGET_DESKTOP=90
# The C library's journeys after the scenarios: import vandrel's on Linux
# (tests/live/library_live.sh, 4 s measured), and under Wine
# (tests/live/library_wine.sh) Wine's HID bus listing a new unit, and
# each run of the example (7 s to over 60 s on one core), which may
# start just before the listing's time is up; the unit was listed at
# the first run, 10 s after the plug, and the whole journey took 14 to 62 s
# on two cores, 107 to 112 s on one.
BUDGET_LIBRARY_PYTHON=20
BUDGET_LIBRARY_LISTING=60
BUDGET_LIBRARY_RUN=60
