#!/usr/bin/python3
"""Starts vandrel-demo on the desktop accessibility bus and checks what a
screen reader finds in its main window: every control's role, name, state,
and the value fields' and lists' values.

Usage (inside an X display and a D-Bus session):
    accessibility_check.py VANDREL_DEMO
Exits 0 when everything matches, 1 otherwise, printing the tree it saw.
"""
import os
import subprocess
import sys
import time

import pyatspi

CAPTION = object()  # a plain label: no text beyond its caption

# What the window holds once the demo has connected to its first unit:
# (role, name, text or value, states it must have, states it must not have).
# A None text is not checked; a tuple lists the texts allowed.
EXPECTED = [
    (pyatspi.ROLE_PUSH_BUTTON, "Restore default settings", None, {pyatspi.STATE_FOCUSABLE}, set()),
    ("group", "Device details", None, set(), set()),
    (pyatspi.ROLE_LABEL, "Product name", CAPTION, set(), set()),
    (pyatspi.ROLE_LABEL, "Product name", "Vandrel Pulse Generator", set(), set()),
    (pyatspi.ROLE_LABEL, "Made by", CAPTION, set(), set()),
    (pyatspi.ROLE_LABEL, "Made by", "Vandrel Instruments", set(), set()),
    (pyatspi.ROLE_LABEL, "Version", CAPTION, set(), set()),
    (pyatspi.ROLE_LABEL, "Version", "1.12", set(), set()),
    (pyatspi.ROLE_LABEL, "Serial Number", CAPTION, set(), set()),
    (pyatspi.ROLE_COMBO_BOX, "Serial Number", ("VD-000101", "VD-000102"), {pyatspi.STATE_FOCUSABLE, pyatspi.STATE_ENABLED}, set()),
    ("group", "Output signal", None, set(), set()),
    (pyatspi.ROLE_COMBO_BOX, "Amplitude, mV into 50R load", None, {pyatspi.STATE_FOCUSABLE, pyatspi.STATE_ENABLED}, set()),
    (pyatspi.ROLE_LABEL, "Amplitude, mV into 50R load", CAPTION, set(), set()),
    (pyatspi.ROLE_COMBO_BOX, "Calibration adjustment", None, {pyatspi.STATE_FOCUSABLE, pyatspi.STATE_ENABLED}, set()),
    (pyatspi.ROLE_LABEL, "Calibration adjustment", CAPTION, set(), set()),
    (pyatspi.ROLE_COMBO_BOX, "Polarity", None, {pyatspi.STATE_FOCUSABLE, pyatspi.STATE_ENABLED}, set()),
    (pyatspi.ROLE_LABEL, "Polarity", CAPTION, set(), set()),
    ("text", "Output summary", None, {pyatspi.STATE_FOCUSABLE}, {pyatspi.STATE_EDITABLE}),
]
# Lists named by a label also point at it, so a reader can go either way.
LABELLED = ["Serial Number", "Amplitude, mV into 50R load", "Calibration adjustment", "Polarity"]
ROLE_WORDS = {"group": {pyatspi.ROLE_PANEL, pyatspi.ROLE_GROUPING} if hasattr(pyatspi, "ROLE_GROUPING") else {pyatspi.ROLE_PANEL},
              "text": {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PARAGRAPH}}


def find_window(app_name, deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None or app.name != app_name:
                continue
            for window in app:
                if window is not None and window.name == "Vandrel":
                    return window
        time.sleep(0.2)
    return None


def text_of(acc):
    try:
        t = acc.queryText()
        return t.getText(0, -1)
    except NotImplementedError:
        return None


def walk(acc, depth, out):
    for child in acc:
        if child is None:
            continue
        # The drop-downs' item views are the lists' own business.
        if child.getRole() in (pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_MENU, pyatspi.ROLE_WINDOW):
            continue
        out.append((depth, child))
        # A list's items and the summary's scroll area are parts of those
        # controls, not controls of the window.
        if child.getRole() not in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT):
            walk(child, depth + 1, out)


def main():
    demo = sys.argv[1]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    process = subprocess.Popen([demo], env=env)
    failures = []
    try:
        window = find_window(os.path.basename(demo), time.time() + 30)
        if window is None:
            print("FAIL the demo's window never appeared on the accessibility bus")
            return 1
        # Start-up ends with the first timer tick, which connects a unit.
        seen = []
        for _ in range(50):
            seen = []
            walk(window, 0, seen)
            if any(a.name == "Version" and text_of(a) == "1.12" for _, a in seen):
                break
            time.sleep(0.2)
        for depth, acc in seen:
            states = acc.getState()
            print("%s%s %r value=%r states=%s" % ("  " * depth, acc.getRoleName(), acc.name, text_of(acc),
                  ",".join(pyatspi.stateToString(s) for s in states.getStates())))
        remaining = list(seen)
        for role, name, text, must, must_not in EXPECTED:
            roles = ROLE_WORDS.get(role, {role})
            match = None
            for entry in remaining:
                acc = entry[1]
                if acc.getRole() not in roles or acc.name != name:
                    continue
                shown = text_of(acc)
                if (text is None or shown == text or (isinstance(text, tuple) and shown in text)
                        or (text is CAPTION and shown in (None, name))):
                    match = entry
                    break
            if match is None:
                failures.append("no %s named %r%s" % (role, name, " reading %r" % text if isinstance(text, str) else ""))
                continue
            remaining.remove(match)
            states = match[1].getState()
            for s in must:
                if not states.contains(s):
                    failures.append("%r lacks %s" % (name, pyatspi.stateToString(s)))
            for s in must_not:
                if states.contains(s):
                    failures.append("%r is %s" % (name, pyatspi.stateToString(s)))
        for _, acc in remaining:
            failures.append("unexpected %s %r" % (acc.getRoleName(), acc.name))
        for name in LABELLED:
            combo = next((a for _, a in seen if a.getRole() == pyatspi.ROLE_COMBO_BOX and a.name == name), None)
            if combo is None:
                continue
            targets = [t.name for r in combo.getRelationSet() if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                       for t in (r.getTarget(i) for i in range(r.getNTargets()))]
            if name not in targets:
                failures.append("%r is not labelled by its label (relations: %r)" % (name, targets))
        # The hidden deemphasis list and its label must not be found at all.
        if any("Deemphasis" in (a.name or "") or "Deemphasis" in (text_of(a) or "") for _, a in seen):
            failures.append("the hidden deemphasis controls are in the tree")
    finally:
        process.terminate()
        process.wait(10)
    for f in failures:
        print("FAIL", f)
    print("accessibility: %d controls checked, %d failures" % (len(EXPECTED), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
