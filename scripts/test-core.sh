#!/usr/bin/env bash
# Builds the core, the simulated platform, the Linux backend and the Qt
# programs with their tests, and runs every one of them.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
# The number texts are checked under a locale whose decimal separator is a
# comma; make sure one exists.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  need_packages locales
  as_root sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  as_root locale-gen >/dev/null
fi
cd "$ROOT"
cmake --workflow --preset default
