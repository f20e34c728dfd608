#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian package from a build directory with cpack, unpacks it into a scratch
# root with dpkg-deb -x and checks what it holds: both programs, executable, the desktop
# entry and what it points at, the icon, the data files, and the Qt runtime packages in
# Depends. The package goes to a scratch directory (cpack leaves only its install_manifest.txt
# in the build directory) and nothing is installed on the system.
#   tests/package-check.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "package-check: $*" >&2
    failures=$((failures + 1))
}

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
cd "$build"
if ! cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    echo "package-check: cpack failed" >&2
    exit 1
fi
set -- "$scratch"/out/*.deb
if [ $# != 1 ] || [ ! -f "$1" ]; then
    echo "package-check: expected one .deb in $scratch/out, found: $*" >&2
    exit 1
fi
deb=$1
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Architecture Depends
root="$scratch/root"
dpkg-deb -x "$deb" "$root"

for program in quorvan-config quorvan-cli; do
    path="$root$prefix/bin/$program"
    if [ ! -x "$path" ]; then
        fail "$prefix/bin/$program is missing or not executable"
    elif ! file -b "$path" | grep -q '^ELF .* executable'; then
        fail "$prefix/bin/$program is not an ELF executable: $(file -b "$path")"
    fi
done
[ ! -e "$root$prefix/bin/quorvan-board-sim" ] || fail "the board simulator is in the package"

desktop="$root$prefix/share/applications/quorvan-config.desktop"
if [ -f "$desktop" ]; then
    exec_path=$(sed -n 's/^Exec=//p' "$desktop")
    work_dir=$(sed -n 's/^Path=//p' "$desktop")
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ "$exec_path" = "$prefix/bin/quorvan-config" ] || fail "desktop Exec is '$exec_path'"
    [ -x "$root$exec_path" ] || fail "desktop Exec $exec_path is not in the package"
    [ -d "$root$work_dir" ] || fail "desktop Path $work_dir is not in the package"
    [ -f "$root$work_dir/brenik.png" ] || fail "no table picture in the working directory $work_dir"
    [ -f "$root$work_dir/../../FindQuorvan/bg.ico" ] || fail "no window icon two levels up from $work_dir"
    [ "$icon" = quorvan-config ] || fail "desktop Icon is '$icon'"
else
    fail "no desktop entry at $prefix/share/applications/quorvan-config.desktop"
fi

png="$root$prefix/share/icons/hicolor/64x64/apps/quorvan-config.png"
if [ ! -f "$png" ]; then
    fail "no icon at $prefix/share/icons/hicolor/64x64/apps/quorvan-config.png"
elif ! file -b "$png" | grep -q '^PNG image data, 64 x 64'; then
    fail "the icon is not a 64x64 PNG: $(file -b "$png")"
fi
for data in share/quorvan-config/run/config/brenik.png share/quorvan-config/FindQuorvan/bg.ico; do
    [ -s "$root$prefix/$data" ] || fail "$prefix/$data is missing or empty"
done

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt5core5a libqt5network5 libqt5gui5 libqt5widgets5; do
    echo "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//' | grep -qx "$package" ||
        fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = quorvan-config ] || fail "the package is not named quorvan-config"

# The unpacked command-line program runs and answers --help (no socket is opened for it).
if ! "$root$prefix/bin/quorvan-cli" --help | grep -q '^Usage: quorvan-cli COMMAND'; then
    fail "the packaged quorvan-cli does not answer --help"
fi

# Only the files that the install rules name.
unexpected=$(cd "$root" && find . -type f | sed 's|^\.||' | grep -v -x \
    -e "$prefix/bin/quorvan-config" -e "$prefix/bin/quorvan-cli" \
    -e "$prefix/share/applications/quorvan-config.desktop" \
    -e "$prefix/share/icons/hicolor/64x64/apps/quorvan-config.png" \
    -e "$prefix/share/quorvan-config/run/config/brenik.png" \
    -e "$prefix/share/quorvan-config/FindQuorvan/bg.ico" || true)
[ -z "$unexpected" ] || fail "unexpected files in the package: $unexpected"

if [ "$failures" != 0 ]; then
    echo "package-check: $failures problem(s)" >&2
    exit 1
fi
echo "package-check: ok"
