#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Asks an X window to close, as its title bar's close button would (WM_DELETE_WINDOW).
Usage: close-window.py TITLE   (DISPLAY must be set). Waits up to 20 s for the window."""
import sys
import time

from Xlib import X, display, protocol

title = sys.argv[1]
d = display.Display()
atoms = {name: d.intern_atom(name) for name in ("WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME")}


def find(window):
    for child in window.query_tree().children:
        name = child.get_full_property(atoms["_NET_WM_NAME"], X.AnyPropertyType)
        if name and title in name.value.decode("utf-8", "replace"):
            return child
        found = find(child)
        if found:
            return found
    return None


deadline = time.time() + 20
target = None
while target is None and time.time() < deadline:
    target = find(d.screen().root)
    if target is None:
        time.sleep(0.2)
if target is None:
    sys.exit("window not found: " + title)
event = protocol.event.ClientMessage(window=target, client_type=atoms["WM_PROTOCOLS"],
                                     data=(32, [atoms["WM_DELETE_WINDOW"], X.CurrentTime, 0, 0, 0]))
target.send_event(event)
d.flush()
