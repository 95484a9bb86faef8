#!/usr/bin/env bash
# Runs one command in the live stack's QEMU guest; tests/live/vm.sh says how.
#   scripts/vm.sh [--timeout SECONDS] COMMAND [ARG...]
exec bash "$(dirname "$0")/../tests/live/vm.sh" "$@"
