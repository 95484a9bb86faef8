#!/usr/bin/env bash
# Plays scenario files on the live stack; tests/live/live.sh says how.
#   scripts/live.sh [--windows] FILE...
exec bash "$(dirname "$0")/../tests/live/live.sh" "$@"
