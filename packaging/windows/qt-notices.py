#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes the notices of the third-party code in Qt base from Qt's own attribution files
# (qt_attribution.json, each with its licence file beside it), for the Windows packages.
#   qt-notices.py QTBASE-SOURCE-FOLDER > Qt-third-party-notices.txt
# Left out: the attributions of other platforms' code and of modules that are not shipped.
import json
import os
import sys

NOT_SHIPPED = ("src/3rdparty/android/", "src/3rdparty/gradle/", "src/3rdparty/wasm/",
               "src/3rdparty/xcb/", "src/plugins/platforms/cocoa/", "src/dbus/",
               "src/testlib/")


def entries(source):
    for folder, _, files in sorted(os.walk(os.path.join(source, "src"))):
        if "qt_attribution.json" not in files:
            continue
        relative = os.path.relpath(folder, source) + "/"
        if relative.startswith(NOT_SHIPPED):
            continue
        with open(os.path.join(folder, "qt_attribution.json"), encoding="utf-8") as file:
            # Qt's files hold line breaks inside strings, which strict JSON forbids.
            data = json.loads(file.read(), strict=False)
        for entry in data if isinstance(data, list) else [data]:
            yield folder, relative, entry


def licence_texts(folder, entry):
    names = entry.get("LicenseFiles") or [entry.get("LicenseFile")]
    for name in names:
        if name:
            with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as file:
                yield name, file.read().strip()


def main():
    source = sys.argv[1]
    out = sys.stdout
    out.write("Third-party code in Qt base\n"
              "===========================\n\n"
              "Generated from the qt_attribution.json files of Qt's source. The entries name\n"
              "how Qt uses the code (\"Qt usage\"); code that this build's configuration\n"
              "leaves out may be listed too.\n")
    for folder, relative, entry in sorted(entries(source), key=lambda e: (e[1], e[2]["Id"])):
        out.write("\n\n" + "=" * 78 + "\n")
        title = entry.get("Name", entry["Id"])
        if entry.get("Version"):
            title += " " + entry["Version"]
        out.write(title + "\n\n")
        for key, label in (("QtUsage", "Qt usage"), ("Homepage", "Homepage"),
                           ("License", "Licence")):
            if entry.get(key):
                out.write("%s: %s\n" % (label, " ".join(entry[key].split())))
        out.write("In Qt's source: %s\n" % (relative + entry.get("Path", "")).rstrip("/"))
        if entry.get("Copyright"):
            out.write("\n" + entry["Copyright"].strip() + "\n")
        for name, text in licence_texts(folder, entry):
            out.write("\n--- %s ---\n%s\n" % (name, text))


main()
