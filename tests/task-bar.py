#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Gives an X server's desktop a task bar: a dock window HEIGHT pixels high along the bottom
of the screen, which the window manager keeps out of its work area, as Windows' task bar is.
Usage: task-bar.py HEIGHT   (DISPLAY must be set, a window manager running or starting).
Prints "ready X Y WIDTH HEIGHT", the work area, once the window manager has made room for the
bar, then keeps the bar until it is killed."""
import sys
import time

from Xlib import X, Xatom, display

height = int(sys.argv[1])
d = display.Display()
screen = d.screen()
root = screen.root
width, bottom = screen.width_in_pixels, screen.height_in_pixels


def atom(name):
    return d.intern_atom(name)


# A bar mapped before the window manager runs may never be taken into account.
deadline = time.time() + 20
while not root.get_full_property(atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW):
    if time.time() > deadline:
        sys.exit("no window manager")
    time.sleep(0.05)
bar = root.create_window(0, bottom - height, width, height, 0, screen.root_depth,
                         background_pixel=screen.black_pixel)
bar.change_property(atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32, [atom("_NET_WM_WINDOW_TYPE_DOCK")])
# left, right, top, bottom, then the start and end of each along its edge.
bar.change_property(atom("_NET_WM_STRUT_PARTIAL"), Xatom.CARDINAL, 32,
                    [0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1])
bar.change_property(atom("_NET_WM_STRUT"), Xatom.CARDINAL, 32, [0, 0, 0, height])
# A window manager still starting may map the bar without reading its strut: it is mapped
# again until the work area shows the room made for it.
deadline = time.time() + 20
area = None
while not (area and len(area.value) >= 4 and area.value[3] == bottom - height):
    if time.time() > deadline:
        sys.exit("the window manager made no room for the task bar")
    bar.unmap()
    bar.map()
    d.sync()
    retry = time.time() + 2
    while time.time() < retry:
        area = root.get_full_property(atom("_NET_WORKAREA"), Xatom.CARDINAL)
        if area and len(area.value) >= 4 and area.value[3] == bottom - height:
            break
        time.sleep(0.05)
print("ready %d %d %d %d" % tuple(area.value[:4]))
sys.stdout.flush()
while True:
    d.next_event()
