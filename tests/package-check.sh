#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian package as scripts/package does (Debian's flags, no tests, benchmark or
# simulator), in BUILD_DIR/package, and checks it as a Debian maintainer would: lintian
# with every tag shown fails on any error or warning; the desktop entry, the AppStream
# data and the hardening of both programs; then what the package holds, unpacked into a
# scratch root with dpkg-deb -x; and an install of the same build directory under another
# prefix, with its uninstall. The package is built under fr_FR.UTF-8, the locale of the
# tool's users, and packed again under umask 002, which must give the same bytes. The Debian
# source package (debian/) builds, with dpkg-buildpackage in other directories, a package of
# the same files, bytes and control fields (the programs but for what names their debugging
# symbols), and a -dbgsym package; lintian checks both, and the source package too. Nothing
# is installed on the system.
#   tests/package-check.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
# The source package's build may still run in the background.
trap 'wait; rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "package-check: $*" >&2
    failures=$((failures + 1))
}
git_() { git -c safe.directory="$source_dir" -C "$source_dir" "$@"; }
# A git checkout of its own, not a tree copied into another checkout (scripts/mutants').
in_git() {
    git_ rev-parse --verify -q HEAD >/dev/null 2>&1 &&
        [ "$(git_ rev-parse --show-toplevel)" = "$(cd "$source_dir" && pwd -P)" ]
}

package_build=$build/package
launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$build/CMakeCache.txt")
package() {
    # --force: a tree with uncommitted changes is packaged too, as ~dirty
    # (tests/version-check.sh checks the refusal).
    if ! "$source_dir/scripts/package" --force "$1" \
        ${launcher:+"-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher"} 2>"$scratch/package.log"; then
        cat "$scratch/package.log" >&2
        echo "package-check: scripts/package failed" >&2
        exit 1
    fi
}
locale -a | grep -qx fr_FR.utf8 || {
    echo "package-check: no locale fr_FR.UTF-8 (scripts/install-deps makes it)" >&2
    exit 1
}
# The Debian source package and dpkg-buildpackage's packages (checked at the end) are built
# beside scripts/package's build, from a clone of this commit with this tree's changes (or a
# copy of a tree without git): most of either build is compiling, on cores the other leaves
# idle while it configures, links and packs.
dpkg_dir=$build/dpkg
rm -rf "$dpkg_dir"
mkdir -p "$dpkg_dir"
if in_git; then
    git_ clone -q --shared "$source_dir" "$dpkg_dir/quorvan-config"
    git -C "$dpkg_dir/quorvan-config" checkout -q --detach "$(git_ rev-parse HEAD)"
    git_ diff --binary HEAD | git -C "$dpkg_dir/quorvan-config" apply --allow-empty
else
    mkdir "$dpkg_dir/quorvan-config"
    (cd "$source_dir" && tar --exclude='./build*' --exclude='./obj-*' -cf - .) |
        tar -xf - -C "$dpkg_dir/quorvan-config"
fi
(
    cd "$dpkg_dir"
    if ! dpkg-source -b quorvan-config >"$scratch/dpkg-source.log" 2>&1; then
        : >"$scratch/dpkg-source-failed"
    elif ! (cd quorvan-config && export LC_ALL=C.UTF-8 && umask 002 &&
        dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$scratch/dpkg-buildpackage.log" 2>&1; then
        : >"$scratch/dpkg-buildpackage-failed"
    fi
) &
dpkg_job=$!
deb=$(export LC_ALL=fr_FR.UTF-8 && package "$package_build")
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Architecture Depends
prefix=/usr
root="$scratch/root"
dpkg-deb -x "$deb" "$root"

# Only what the package holds was compiled.
for unwanted in tests bench tools/board-sim fuzz; do
    [ ! -e "$package_build/$unwanted" ] || fail "the package build compiled $unwanted/"
done
# Every file compiled with the optimisation and hardening flags of dpkg-buildflags (the
# fortify check of hardening-check cannot tell a program whose calls all have unknown
# sizes from one built without fortify, so the compile lines are read instead; control flow
# protection is not among the flags of Debian 12).
commands=$(grep '"command"' "$package_build/compile_commands.json")
for flag in -O2 -D_FORTIFY_SOURCE=2 -fstack-protector-strong; do
    without=$(echo "$commands" | grep -c -v -e " $flag " || true)
    [ "$without" = 0 ] || fail "$without file(s) compiled without $flag"
done

if ! lintian --fail-on error,warning -EIL +pedantic "$deb" >"$scratch/lintian.log" 2>&1; then
    fail "lintian reports errors or warnings"
fi
grep -v '^running with root privileges' "$scratch/lintian.log" || true

version=$(dpkg-deb -f "$deb" Version)
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$package_build/CMakeCache.txt")
# The version names the commit it was built from: git itself is the oracle here.
archive_commit=$source_dir/scripts/archive-commit
archived=$(sed -n 's/^epoch=\([0-9][0-9]*\)$/\1/p' "$archive_commit")
stamp() { date -u -d "@$1" +%Y%m%d%H%M%S; }
if ! in_git; then
    # No git: the version of a release tarball, a plain git archive, or none.
    if [ -f "$source_dir/.tarball-version" ]; then
        expected_version=$(cat "$source_dir/.tarball-version")
    elif [ -n "$archived" ]; then
        expected_version="$project_version+0.$(stamp "$archived").archive"
        expected_version="$expected_version.g$(sed -n 's/^commit=\(.......\).*/\1/p' "$archive_commit")"
    else
        expected_version="$project_version+0.0.nogit"
    fi
elif [ "$(git_ rev-parse --is-shallow-repository)" = true ]; then
    expected_version="$project_version+0.$(stamp "$(git_ log -1 --format=%ct)")"
    expected_version="$expected_version.shallow.g$(git_ rev-parse --short=7 HEAD)"
else
    expected_version="$project_version+$(git_ rev-list --count HEAD).g$(git_ rev-parse --short=7 HEAD)"
fi
! in_git || [ -z "$(git_ status --porcelain --untracked-files=no 2>/dev/null)" ] ||
    expected_version="$expected_version~dirty"
[ "$version" = "$expected_version" ] || fail "version $version is not $expected_version"
zcat "$root$prefix/share/doc/quorvan-config/changelog.gz" >"$scratch/changelog"
head -1 "$scratch/changelog" | grep -qF "($version)" ||
    fail "the changelog does not begin with version $version"
# Built under fr_FR.UTF-8, the changelog still reads as Debian's tools read it, dated by the
# commit; any warning counts.
if ! date=$(dpkg-parsechangelog -l "$scratch/changelog" -S Timestamp 2>"$scratch/parse.log") ||
    [ -s "$scratch/parse.log" ] || [ -z "$date" ]; then
    fail "dpkg-parsechangelog rejects the changelog built under fr_FR.UTF-8:
$(head -3 "$scratch/changelog")
$(cat "$scratch/parse.log")"
elif in_git &&
    [ "$date" != "$(git_ log -1 --format=%ct HEAD)" ]; then
    fail "the changelog is dated $(date -u -d "@$date"), not by the commit"
fi
if dpkg-deb -f "$deb" Description | grep -q '^ *;'; then
    fail "a line of the description begins with ';': $(dpkg-deb -f "$deb" Description)"
fi

for program in quorvan-config quorvan-cli; do
    path="$root$prefix/bin/$program"
    if [ ! -x "$path" ]; then
        fail "$prefix/bin/$program is missing or not executable"
    elif ! file -b "$path" | grep -q '^ELF .* executable'; then
        fail "$prefix/bin/$program is not an ELF executable: $(file -b "$path")"
    else
        hardening-check --nofortify --nocfprotection "$path" ||
            fail "$program lacks a hardening feature"
    fi
done

desktop_id=invalid.quorvan.config
desktop="$root$prefix/share/applications/$desktop_id.desktop"
if [ -f "$desktop" ]; then
    # Hints count too: two main categories, say, are only a hint.
    validation=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$validation" ] ||
        fail "desktop-file-validate: $validation"
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    exec_path=$(echo "$exec_line" | sed -n 's/^"\(.*\)"$/\1/p')
    work_dir=$(sed -n 's/^Path=//p' "$desktop")
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ "$exec_path" = "$prefix/bin/quorvan-config" ] || fail "desktop Exec is '$exec_line'"
    [ -x "$root$exec_path" ] || fail "desktop Exec $exec_path is not in the package"
    [ -d "$root$work_dir" ] || fail "desktop Path $work_dir is not in the package"
    [ -f "$root$work_dir/brenik.png" ] || fail "no table picture in the working directory $work_dir"
    [ -f "$root$work_dir/../../FindQuorvan/bg.ico" ] || fail "no window icon two levels up from $work_dir"
    [ "$icon" = quorvan-config ] || fail "desktop Icon is '$icon'"
    # The class of the window's WM_CLASS is the program's name (tst_mainwindow reads it).
    grep -qx "StartupWMClass=quorvan-config" "$desktop" || fail "desktop StartupWMClass is not quorvan-config"
else
    fail "no desktop entry at $prefix/share/applications/$desktop_id.desktop"
fi
metainfo="$root$prefix/share/metainfo/invalid.quorvan.config.metainfo.xml"
appstreamcli validate --no-net --pedantic "$metainfo" || fail "the AppStream data do not validate"
grep -q "<id>$desktop_id</id>" "$metainfo" || fail "the AppStream id is not $desktop_id"
grep -q "<launchable type=\"desktop-id\">$desktop_id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream data do not name the desktop entry"

icons=$prefix/share/icons/hicolor
for size in 48 64 128 256; do
    png="$root$icons/${size}x$size/apps/quorvan-config.png"
    file -b "$png" | grep -q "^PNG image data, $size x $size," ||
        fail "no $size x $size PNG icon at $icons/${size}x$size/apps: $(file -b "$png")"
done
grep -q '<svg ' "$root$icons/scalable/apps/quorvan-config.svg" || fail "no scalable icon"
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
cli=$root$prefix/bin/quorvan-cli
if ! "$cli" --help | grep -q '^Usage: quorvan-cli COMMAND'; then
    fail "the packaged quorvan-cli does not answer --help"
fi
cli_version=$("$cli" --version)
[ "$cli_version" = "quorvan-cli $version" ] ||
    fail "the packaged quorvan-cli says '$cli_version', the package $version"

# Its manual page as man shows it, with no hyphenation and lines wide enough that words stay
# whole: one heading for each command, and each command's section saying what its help
# says, every word in order, beginning with its whole synopsis however the help wraps it.
rendered=$scratch/quorvan-cli.txt
MANWIDTH=1000 LC_ALL=C.UTF-8 man --nh --nj -l "$root$prefix/share/man/man1/quorvan-cli.1.gz" \
    >"$rendered" 2>"$scratch/man.log" && [ ! -s "$scratch/man.log" ] ||
    fail "man cannot show the page of quorvan-cli: $(cat "$scratch/man.log")"
headings=$(sed '1d; $d' "$rendered" | grep -E '^(   )?[^ ]' | tr -s ' \n' '  ')
[ "$headings" = "NAME SYNOPSIS DESCRIPTION COMMANDS discover set apply SEE ALSO " ] ||
    fail "the manual page of quorvan-cli has the headings: $headings"
# The text of the sections whose headings are given, up to the next heading.
section() {
    sed 1d "$rendered" | awk -v names=" $* " '
        /^[^ ]/ || /^   [^ ]/ { name = $0; sub(/^ */, "", name); inside = index(names, " " name " ") }
        !/^[^ ]/ && !/^   [^ ]/ && inside'
}
words() { tr -s '[:space:]' '\n' | sed '/^$/d'; }
for command in "" discover set apply; do
    if [ -z "$command" ]; then
        help=$("$cli" --help)
        text=$(section SYNOPSIS DESCRIPTION)
    else
        help=$("$cli" "$command" --help)
        text=$(section "$command")
    fi
    usage=$(echo "$help" | awk '!NF { exit } { print }' | sed '1s/^Usage://' | words)
    synopsis=$(echo "$text" | awk 'NF { seen = 1; print; next } seen { exit }' | words)
    [ "$synopsis" = "$usage" ] ||
        fail "the page of quorvan-cli ${command:-(general)} begins with: $(echo "$synopsis" | tr '\n' ' ')"
    echo "$help" | sed '1s/^Usage://' | words >"$scratch/help-words"
    echo "$text" | words >"$scratch/page-words"
    cmp -s "$scratch/help-words" "$scratch/page-words" ||
        fail "the page of quorvan-cli ${command:-(general)} differs from its help:
$(diff "$scratch/help-words" "$scratch/page-words" | grep '^[<>]' | head -5)"
done

# Each page's footer stands whole in 80 columns: the program and its release, the day, the
# page's name, at least two spaces apart.
for page in quorvan-config quorvan-cli; do
    footer=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$root$prefix/share/man/man1/$page.1.gz" 2>/dev/null |
        sed '/^ *$/d' | tail -1)
    upper=$(echo "$page" | tr a-z A-Z)
    echo "$footer" | grep -Eqx "$page $project_version {2,}[0-9]{4}-[0-9]{2}-[0-9]{2} {2,}$upper\\(1\\)" ||
        fail "the footer of the page of $page at 80 columns: '$footer'"
done

# Only the files that the install rules name.
expected="bin/quorvan-config bin/quorvan-cli share/applications/$desktop_id.desktop
share/icons/hicolor/48x48/apps/quorvan-config.png share/icons/hicolor/64x64/apps/quorvan-config.png share/icons/hicolor/128x128/apps/quorvan-config.png
share/icons/hicolor/256x256/apps/quorvan-config.png share/icons/hicolor/scalable/apps/quorvan-config.svg
share/metainfo/invalid.quorvan.config.metainfo.xml
share/man/man1/quorvan-config.1.gz share/man/man1/quorvan-cli.1.gz
share/doc/quorvan-config/copyright share/doc/quorvan-config/changelog.gz
share/quorvan-config/run/config/brenik.png share/quorvan-config/FindQuorvan/bg.ico"
echo "$expected" | tr ' ' '\n' | sed "s|^|$prefix/|" | sort >"$scratch/expected"
(cd "$root" && find . -type f | sed 's|^\.||' | sort) >"$scratch/found"
[ "$(cat "$scratch/expected")" = "$(cat "$scratch/found")" ] ||
    fail "the package does not hold exactly the expected files:
$(diff "$scratch/expected" "$scratch/found" | grep '^[<>]')"

# cmake --install with a prefix given only then, with a space in it: the desktop entry follows
# it, and its Exec names one program; uninstall removes every file again.
other="/opt/quorvan check"
DESTDIR="$scratch/install" cmake --install "$package_build" --prefix "$other" >/dev/null
installed="$scratch/install$other/share/applications/$desktop_id.desktop"
grep -qx "Exec=\"$other/bin/quorvan-config\"" "$installed" ||
    fail "installed under $other, the desktop entry says $(grep '^Exec=' "$installed")"
grep -qx "Path=$other/share/quorvan-config/run/config" "$installed" ||
    fail "installed under $other, the desktop entry says $(grep '^Path=' "$installed")"
DESTDIR="$scratch/install" cmake --build "$package_build" --target uninstall >/dev/null
left=$(cd "$scratch/install" && find . -type f -o -path '*quorvan-config*')
[ -z "$left" ] || fail "uninstall left: $left"

# Without DESTDIR, uninstall removes nothing while dpkg says a file is a package's (here a
# stand-in dpkg-query claims quorvan-cli, since nothing is installed on this system).
plain=$scratch/plain
cmake --install "$package_build" --prefix "$plain" >/dev/null
mkdir "$scratch/fake-dpkg"
printf '%s\n' '#!/bin/sh' 'for path; do' \
    '    case "$path" in */bin/quorvan-cli) echo "quorvan-config: $path" ;; esac' \
    'done' 'exit 1' >"$scratch/fake-dpkg/dpkg-query"
chmod +x "$scratch/fake-dpkg/dpkg-query"
installed_files=$(cd "$plain" && find . -type f | sort)
if PATH="$scratch/fake-dpkg:$PATH" cmake --build "$package_build" --target uninstall \
    >"$scratch/uninstall.log" 2>&1; then
    fail "uninstall ran over a file that a package owns"
fi
[ "$(cd "$plain" && find . -type f | sort)" = "$installed_files" ] ||
    fail "the refused uninstall removed files"
cmake --build "$package_build" --target uninstall >/dev/null 2>&1 ||
    fail "uninstall of files that no package owns failed"
[ -z "$(find "$plain" -type f)" ] || fail "uninstall left $(find "$plain" -type f)"

# An absolute data directory: the desktop entry goes there and starts the tool there. The
# install runs under umask 002, and still makes its directories 0755.
data=/opt/quorvan-data
cmake "$package_build" -DCMAKE_INSTALL_DATADIR=$data >/dev/null
(umask 002 && DESTDIR="$scratch/absolute" cmake --install "$package_build" --prefix /usr >/dev/null)
cmake "$package_build" -UCMAKE_INSTALL_DATADIR >/dev/null
writable=$(find "$scratch/absolute" -mindepth 1 -type d -perm -g+w)
[ -z "$writable" ] || fail "under umask 002 the install made directories 0775: $(echo "$writable" | head -3)"
entry="$scratch/absolute$data/applications/$desktop_id.desktop"
if [ -f "$entry" ]; then
    grep -qx "Path=$data/quorvan-config/run/config" "$entry" ||
        fail "with the data directory $data, the desktop entry says $(grep '^Path=' "$entry")"
    [ -f "$scratch/absolute$data/quorvan-config/run/config/brenik.png" ] ||
        fail "with the data directory $data, no table picture in its working directory"
else
    fail "with the data directory $data, the desktop entry is not in $data/applications:
$(cd "$scratch/absolute" && find . -name '*.desktop')"
fi

# The build keeps no path of its build or source directory, not even in the debugging
# information that the programs' build IDs are computed over; the source package's build
# below, in other directories, checks every other byte of the programs.
for program in "$package_build/quorvan-config" "$package_build/tools/cli/quorvan-cli"; do
    for dir in "$package_build" "$source_dir"; do
        ! grep -q -a -F "$dir" "$program" || fail "$(basename "$program") holds the path $dir"
    done
done
# Packed again from the same build under another locale and a umask that lets the group
# write, the package has the same bytes: cpack's own dates and modes.
cp "$deb" "$scratch/first.deb"
deb_again=$(export LC_ALL=C.UTF-8 && umask 002 && package "$package_build")
if cmp -s "$scratch/first.deb" "$deb_again"; then
    echo "reproducible: $(sha256sum "$deb" | cut -d ' ' -f 1) twice"
else
    fail "packed twice from one build, the package differs:
$(dpkg-deb -c "$scratch/first.deb" >"$scratch/list1"; dpkg-deb -c "$deb_again" |
        diff "$scratch/list1" - | grep '^[<>]' | head -10)"
fi

# The source package and the binary packages that dpkg-buildpackage made from it are lintian
# clean. Built in other source and build directories, under
# another locale and a umask that lets the group write, as another machine would, the
# package holds the same files, with the same modes and bytes, and the same control fields,
# but those that dpkg-gencontrol writes its own way: Installed-Size (it counts differently)
# and Source (the source package's version, debian/changelog's, is not the build's). Its
# programs differ only where they name their -dbgsym files: the debug links, and the build
# IDs, computed over debugging information that names debhelper's build directory within
# the source tree.
wait "$dpkg_job" || true
if [ -e "$scratch/dpkg-source-failed" ]; then
    fail "dpkg-source -b failed: $(tail -5 "$scratch/dpkg-source.log")"
elif [ -e "$scratch/dpkg-buildpackage-failed" ]; then
    fail "dpkg-buildpackage failed: $(tail -20 "$scratch/dpkg-buildpackage.log")"
else
    dh_deb=$(ls "$dpkg_dir"/quorvan-config_*_*.deb)
    [ "$(basename "$dh_deb")" = "$(basename "$deb")" ] ||
        fail "dpkg-buildpackage made $(basename "$dh_deb"), scripts/package $(basename "$deb")"
    ls "$dpkg_dir"/quorvan-config-dbgsym_*.deb >/dev/null 2>&1 || fail "no -dbgsym package"
    contents() { dpkg-deb -c "$1" | awk '$6 != "./" { print $1, $2, $6 }' | sort -k 3; }
    fields() { dpkg-deb -f "$1" | grep -v -e '^Installed-Size:' -e '^Source:' -e '^$' | sort; }
    sums() { dpkg-deb --ctrl-tarfile "$1" | tar -xOf - ./md5sums | grep -v ' usr/bin/' | sort; }
    [ "$(contents "$dh_deb")" = "$(contents "$deb")" ] ||
        fail "dpkg-buildpackage's package holds other files than scripts/package's:
$(contents "$dh_deb" >"$scratch/dh"; contents "$deb" | diff "$scratch/dh" - | grep '^[<>]')"
    [ "$(fields "$dh_deb")" = "$(fields "$deb")" ] ||
        fail "dpkg-buildpackage's package has other control fields than scripts/package's:
$(fields "$dh_deb" >"$scratch/dh"; fields "$deb" | diff "$scratch/dh" - | grep '^[<>]')"
    [ "$(sums "$dh_deb")" = "$(sums "$deb")" ] ||
        fail "files of dpkg-buildpackage's package differ from scripts/package's:
$(sums "$dh_deb" >"$scratch/dh"; sums "$deb" | diff "$scratch/dh" - | grep '^[<>]')"
    dpkg-deb -x "$dh_deb" "$scratch/dh-root"
    for program in quorvan-config quorvan-cli; do
        ours=$scratch/ours-$program
        theirs=$scratch/dh-$program
        cp "$root$prefix/bin/$program" "$ours"
        objcopy --remove-section=.gnu_debuglink --remove-section=.gnu_debugaltlink \
            "$scratch/dh-root$prefix/bin/$program" "$theirs"
        for file in "$ours" "$theirs"; do
            # The note's 20 bytes of ID follow its 12-byte header and the name "GNU\0".
            note=$(readelf -S -W "$file" |
                sed -n 's/.* \.note\.gnu\.build-id  *NOTE  *[0-9a-f]*  *\([0-9a-f]*\) .*/\1/p')
            [ -n "$note" ] && readelf -n "$file" | grep -Eq 'Build ID: [0-9a-f]{40}$' &&
                dd if=/dev/zero of="$file" bs=1 seek=$((0x$note + 16)) count=20 conv=notrunc \
                    2>/dev/null || fail "$program has no build ID of 20 bytes"
        done
        cmp -s "$ours" "$theirs" ||
            fail "dpkg-buildpackage's $program differs from scripts/package's beyond its build ID and debug links: $(cmp "$ours" "$theirs" 2>&1)"
    done
    lintian --fail-on error,warning -EIL +pedantic "$dpkg_dir"/*.dsc "$dpkg_dir"/*.changes \
        >"$scratch/lintian-dh.log" 2>&1 || fail "lintian reports errors or warnings on debian/'s packages"
    grep -v '^running with root privileges' "$scratch/lintian-dh.log" || true
fi

if [ "$failures" != 0 ]; then
    echo "package-check: $failures problem(s)" >&2
    exit 1
fi
echo "package-check: ok"
