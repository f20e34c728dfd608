#!/bin/sh
# SPDX-License-Identifier: MIT
# scripts/release on a scratch repository holding this tree in one commit, with stand-ins for the packages (a .deb made
# here with dpkg-deb, and a Windows zip laid out as scripts/build-windows lays it out, with
# its setup): the source tarball holds the tracked files and no build output, and a tree
# unpacked from it has the version of the commit; SHA256SUMS covers every artefact and
# checks; the bills of materials are SPDX 2.3 and name what the stand-ins hold. Nothing is
# compiled.
#   tests/release-check.sh
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "release-check: $*" >&2
    failures=$((failures + 1))
}
git_() { git -c safe.directory='*' "$@"; }

clone=$scratch/clone
mkdir "$clone"
(cd "$source_dir" && tar --exclude=./.git --exclude='./build*' --exclude='./obj-*' \
    --exclude=./.tarball-version -cf - .) | tar -xf - -C "$clone"
sed -i 's/^commit=.*/commit=$Format:%H$/; s/^epoch=.*/epoch=$Format:%ct$/' "$clone/scripts/archive-commit"
git_ -C "$clone" init -q
git_ -C "$clone" add -A
GIT_AUTHOR_DATE="@1796000000 +0000" GIT_COMMITTER_DATE="@1796000000 +0000" git_ -C "$clone" \
    -c user.name=check -c user.email=check@quorvan.invalid commit -q -m release
version=$(sh "$clone/scripts/version")
name=quorvan-config-$version
# A build directory, as a developer's clone would have one.
mkdir -p "$clone/build-test" && echo output >"$clone/build-test/object.o"

# Stand-ins for what scripts/package and scripts/build-windows make.
artefacts=$scratch/artefacts
mkdir -p "$artefacts/deb/DEBIAN" "$artefacts/deb/usr/bin"
echo '#!/bin/sh' >"$artefacts/deb/usr/bin/quorvan-cli"
printf '%s\n' "Package: quorvan-config" "Version: $version" "Architecture: amd64" \
    "Maintainer: Quorvan tools <tools@quorvan.invalid>" \
    "Depends: libc6 (>= 2.34), libqt5core5a (>= 5.15.1), libgl1 | libgl1-mesa-glx" \
    "Description: stand-in" " for the release check" >"$artefacts/deb/DEBIAN/control"
dpkg-deb -b --root-owner-group "$artefacts/deb" "$artefacts/quorvan-config_${version}_amd64.deb" >/dev/null
win=$artefacts/$name-win64
mkdir -p "$win/bin/platforms" "$win/licences"
for file in quorvan-config.exe quorvan-cli.exe Qt5Core.dll Qt5Gui.dll Qt5Network.dll Qt5Widgets.dll \
    platforms/qwindows.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    echo "$file" >"$win/bin/$file"
done
printf '%s\n' "Source: the Debian 12 (bookworm) source package qtbase-opensource-src," \
    "version 5.15.8+dfsg-11+deb12u3, built unmodified apart from Debian's own patches." \
    >"$win/licences/Qt-SOURCE.txt"
printf '%s\n' 'bin\libgcc_s_seh-1.dll bin\libstdc++-6.dll' \
    'come from the Debian package gcc-mingw-w64-x86-64-posix-runtime 12.2.0-14+25.2,' \
    >"$win/licences/MinGW-gcc-mingw-w64-x86-64-posix-runtime.txt"
printf '%s\n' 'bin\libwinpthread-1.dll' \
    'come from the Debian package mingw-w64-x86-64-dev 10.0.0-3,' \
    >"$win/licences/MinGW-mingw-w64-x86-64-dev.txt"
(cd "$artefacts" && find "$name-win64" | LC_ALL=C sort | zip -q -X "$name-win64.zip" -@)
echo setup >"$artefacts/$name-win64-setup.exe"
# Another build's package is not part of this release.
cp "$artefacts/quorvan-config_${version}_amd64.deb" "$artefacts/quorvan-config_1.0.0.2+1.g0000000_amd64.deb"

out=$scratch/release
sh "$clone/scripts/release" "$out" "$artefacts" >"$scratch/release.log" 2>&1 ||
    fail "scripts/release failed: $(cat "$scratch/release.log")"

tarball=$out/$name.tar.gz
expected="$name.tar.gz quorvan-config_${version}_amd64.deb quorvan-config_${version}_amd64.deb.spdx.json
$name-win64.zip $name-win64.zip.spdx.json $name-win64-setup.exe"
[ "$(cd "$out" && awk '{ print $2 }' SHA256SUMS | sort)" = "$(echo "$expected" | tr ' ' '\n' | sort)" ] ||
    fail "SHA256SUMS lists: $(awk '{ print $2 }' "$out/SHA256SUMS" | tr '\n' ' ')"
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS fails"

# The tarball: exactly the tracked files and .tarball-version, under one folder.
(cd "$clone" && git_ ls-files | sed "s|^|$name/|"; echo "$name/.tarball-version") | sort >"$scratch/expected"
tar -tzf "$tarball" | grep -v '/$' | sort >"$scratch/found"
cmp -s "$scratch/expected" "$scratch/found" ||
    fail "the tarball does not hold exactly the tracked files: $(diff "$scratch/expected" "$scratch/found" | grep '^[<>]' | head -5)"
writable=$(tar -tvzf "$tarball" | awk 'substr($1, 6, 1) == "w" || substr($1, 9, 1) == "w" { print $NF }')
[ -z "$writable" ] || fail "the tarball has entries that others may write: $(echo "$writable" | head -3)"
tar -xzf "$tarball" -C "$scratch"
[ "$(sh "$scratch/$name/scripts/version")" = "$version" ] ||
    fail "a tree from the tarball says $(sh "$scratch/$name/scripts/version"), not $version"
[ "$(env -u SOURCE_DATE_EPOCH sh "$scratch/$name/scripts/version" --epoch)" = "$(git_ -C "$clone" log -1 --format=%ct)" ] ||
    fail "a tree from the tarball is not dated by its commit"

# The bills of materials.
python3 - "$out/quorvan-config_${version}_amd64.deb.spdx.json" "$out/$name-win64.zip.spdx.json" \
    "$version" >"$scratch/sbom.log" 2>&1 <<'EOF' || fail "bills of materials: $(cat "$scratch/sbom.log")"
import json, sys
deb, win, version = json.load(open(sys.argv[1])), json.load(open(sys.argv[2])), sys.argv[3]
for doc in (deb, win):
    assert doc["spdxVersion"] == "SPDX-2.3" and doc["dataLicense"] == "CC0-1.0", doc["spdxVersion"]
    assert doc["SPDXID"] == "SPDXRef-DOCUMENT" and doc["documentNamespace"].startswith("https://")
    ids = {p["SPDXID"] for p in doc["packages"]}
    assert len(ids) == len(doc["packages"]), "SPDX ids not unique"
    for r in doc["relationships"]:
        assert r["spdxElementId"] in ids | {"SPDXRef-DOCUMENT"} and r["relatedSpdxElement"] in ids, r
    for p in doc["packages"]:
        for key in ("name", "downloadLocation", "licenseConcluded", "licenseDeclared", "copyrightText"):
            assert key in p, (p["name"], key)
def named(doc, name):
    found = [p for p in doc["packages"] if p["name"] == name]
    assert len(found) == 1, (name, [p["name"] for p in doc["packages"]])
    return found[0]
def depends(doc, a, b):
    return any(r["spdxElementId"] == named(doc, a)["SPDXID"] and r["relationshipType"] == "DEPENDS_ON"
               and r["relatedSpdxElement"] == named(doc, b)["SPDXID"] for r in doc["relationships"])
tool = named(deb, "quorvan-config")
assert tool["versionInfo"] == version and tool["licenseDeclared"] == "MIT", tool
for dependency in ("libc6", "libqt5core5a", "libgl1", "libgl1-mesa-glx"):
    assert depends(deb, "quorvan-config", dependency), dependency
assert len(deb["packages"]) == 5, [p["name"] for p in deb["packages"]]
qt = named(win, "Qt")
assert qt["versionInfo"] == "5.15.8" and qt["licenseConcluded"] == "LGPL-3.0-only", qt
assert "LGPL-3.0-only" in qt["licenseDeclared"] and "Qt5Widgets.dll" in qt["comment"], qt
assert "platforms/qwindows.dll" in qt["comment"], qt
gcc = named(win, "gcc-mingw-w64-x86-64-posix-runtime")
assert gcc["licenseDeclared"] == "GPL-3.0-or-later WITH GCC-exception-3.1", gcc
assert gcc["versionInfo"] == "12.2.0" and "libstdc++-6.dll" in gcc["comment"], gcc
pthread = named(win, "mingw-w64-x86-64-dev")
assert pthread["licenseDeclared"] == "MIT AND BSD-3-Clause", pthread
assert named(win, "quorvan-config")["licenseDeclared"] == "MIT"
for dependency in ("Qt", "gcc-mingw-w64-x86-64-posix-runtime", "mingw-w64-x86-64-dev"):
    assert depends(win, "quorvan-config", dependency), dependency
EOF

# A dirty tree is refused.
echo "# changed" >>"$clone/CMakeLists.txt"
status=0
sh "$clone/scripts/release" "$scratch/dirty" "$artefacts" >/dev/null 2>&1 || status=$?
[ "$status" = 3 ] || fail "scripts/release of a dirty tree gave status $status"

if [ "$failures" != 0 ]; then
    echo "release-check: $failures problem(s)" >&2
    exit 1
fi
echo "release-check: ok"
