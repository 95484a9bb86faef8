# What a guest of the live stack may spend on each piece of its work, in
# seconds: several times what it takes on one core of a machine like CI's,
# so that only a hang reaches a limit. Sourced by the host's scripts, to
# set each guest's limit, and by play.sh in the guest, to stop one
# scenario that hangs without losing the others.

# Booting the guest and loading its modules; starting the virtual units.
BUDGET_BOOT=180
BUDGET_UNITS=60
# Wine's first start in a guest: its server, devices and HID bus.
BUDGET_WINE=600
# The Windows program's window appearing on the virtual display, and the
# rest of the picture.
BUDGET_PICTURE=600

# One scenario: every command; on top, every device that arrives or
# leaves, which the kernel enumerates and the Windows layer then hears of,
# every ctl, which walks and reads every device, and every tick, whose scan
# through Wine can take seconds. Through Wine on one busy core a scenario
# takes a quarter to an eighth of this; on Linux, a fiftieth.
scenario_budget() {
  awk '
    /^[[:space:]]*(#|$)/ { next }
    { n++ }
    $1 ~ /^(unit|other|unplug|replug)$/ { moves++ }
    $1 == "ctl" { ctl++ }
    $1 == "tick" { ticks++ }
    END { print 30 + 5 * n + 30 * moves + 15 * ctl + 10 * ticks }
  ' "$1"
}
