#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Prints where an X window lies on the screen with the frame its window manager drew around
it: "X Y WIDTH HEIGHT" of its outermost ancestor below the root window, in screen pixels.
Usage: frame-of.py WINDOW-ID   (DISPLAY must be set)."""
import sys

from Xlib import display

d = display.Display()
root = d.screen().root
window = d.create_resource_object("window", int(sys.argv[1], 0))
while True:
    parent = window.query_tree().parent
    if parent.id == root.id:
        break
    window = parent
geometry = window.get_geometry()
place = window.translate_coords(root, 0, 0)
print("%d %d %d %d" % (-place.x, -place.y, geometry.width, geometry.height))
