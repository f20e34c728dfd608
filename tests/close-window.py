#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Asks an X window to close, as its title bar's close button would (WM_DELETE_WINDOW).
Usage: close-window.py TITLE [--describe]   (DISPLAY must be set). Waits up to 20 s for the
window. With --describe it first prints the class of its WM_CLASS ("class NAME"), the sizes of
the window's icon ("icon WxH") and the colours found in a square at the window's centre
("colour rrggbb")."""
import sys
import time

from Xlib import X, display, error, protocol

title = sys.argv[1]
d = display.Display()
atoms = {name: d.intern_atom(name) for name in ("WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME")}


def find(window):
    # A starting program creates and destroys windows of its own while the tree is walked: one
    # that is gone by the time it is asked about is skipped (the next walk sees the tree anew).
    try:
        children = window.query_tree().children
    except error.BadWindow:
        return None
    for child in children:
        try:
            name = child.get_full_property(atoms["_NET_WM_NAME"], X.AnyPropertyType)
        except error.BadWindow:
            continue
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
if "--describe" in sys.argv[2:]:
    # The title is set before the window is mapped, and its pixels can be read only once it is
    # (a busy machine takes its time); then it gets a moment to paint itself.
    while target.get_attributes().map_state != X.IsViewable and time.time() < deadline + 20:
        time.sleep(0.1)
    time.sleep(1)
    wm_class = target.get_wm_class()
    print("class " + (wm_class[1] if wm_class else ""))
    icon = target.get_full_property(d.intern_atom("_NET_WM_ICON"), X.AnyPropertyType)
    values = list(icon.value) if icon else []
    while len(values) >= 2:
        width, height = values[0], values[1]
        print("icon %dx%d" % (width, height))
        values = values[2 + width * height:]
    geometry = target.get_geometry()
    side = 40
    image = target.get_image(geometry.width // 2 - side // 2, geometry.height // 2 - side // 2,
                             side, side, X.ZPixmap, 0xffffffff)
    data = image.data
    colours = {"%02x%02x%02x" % (data[i + 2], data[i + 1], data[i]) for i in range(0, len(data), 4)}
    for colour in sorted(colours):
        print("colour " + colour)
    sys.stdout.flush()
event = protocol.event.ClientMessage(window=target, client_type=atoms["WM_PROTOCOLS"],
                                     data=(32, [atoms["WM_DELETE_WINDOW"], X.CurrentTime, 0, 0, 0]))
target.send_event(event)
d.flush()
