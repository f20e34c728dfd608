#!/bin/sh
# SPDX-License-Identifier: MIT
# The identity of a build without a full clone, and scripts/package's refusals, checked on a
# scratch repository of two commits of this tree, a minute apart (nothing is compiled; the
# tree need not be a git checkout): a `git archive`
# of each names its commit and date, and their versions sort in the commits' order, below
# every build that counted its commits; so do shallow clones, of which scripts/package
# fetches the history or, when it cannot, refuses to build; a dirty tree's version sorts
# just below the clean one and scripts/package refuses it unless forced; an external
# SOURCE_DATE_EPOCH dates the changelog and the manual pages. dpkg is the oracle of order.
#   tests/version-check.sh
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "version-check: $*" >&2
    failures=$((failures + 1))
}
git_() { git -c safe.directory='*' "$@"; }
project=$(sed -n 's/^project(quorvan-config VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
stamp() { date -u -d "@$1" +%Y%m%d%H%M%S; }
below() { # version, version: the first sorts strictly below the second
    dpkg --compare-versions "$1" lt "$2" || fail "$1 does not sort below $2 ($3)"
}

# Two commits of this tree, as the files are now (build directories left out).
repo=$scratch/repo
mkdir "$repo"
(cd "$source_dir" && tar --exclude=./.git --exclude='./build*' --exclude='./obj-*' \
    --exclude=./.tarball-version -cf - .) | tar -xf - -C "$repo"
# A tree unpacked from an archive has its placeholders filled in: they are put back.
sed -i 's/^commit=.*/commit=$Format:%H$/; s/^epoch=.*/epoch=$Format:%ct$/' "$repo/scripts/archive-commit"
commit() { # time, message
    GIT_AUTHOR_DATE="@$1 +0000" GIT_COMMITTER_DATE="@$1 +0000" git_ -C "$repo" \
        -c user.name=check -c user.email=check@quorvan.invalid commit -q -m "$2"
}
git_ -C "$repo" init -q
git_ -C "$repo" add -A
commit 1796000000 older
git_ -C "$repo" branch -f older
echo "# second commit" >>"$repo/README.md"
git_ -C "$repo" add README.md
commit 1796000060 newer
git_ -C "$repo" branch -f newer
for branch in older newer; do
    eval "${branch}_hash=\$(git_ -C \"\$repo\" rev-parse --short=7 $branch)"
    eval "${branch}_time=\$(git_ -C \"\$repo\" log -1 --format=%ct $branch)"
    eval "${branch}_count=\$(git_ -C \"\$repo\" rev-list --count $branch)"
done
counted_older="$project+$older_count.g$older_hash"

# git archive: the commit and its date, whatever the files' times after a patch.
for branch in older newer; do
    mkdir "$scratch/$branch-archive"
    git_ -C "$repo" archive --prefix=tree/ "$branch" | tar -x -C "$scratch/$branch-archive"
    tree=$scratch/$branch-archive/tree
    echo "# patched" >>"$tree/CMakeLists.txt"
    eval "hash=\$${branch}_hash time=\$${branch}_time"
    version=$(sh "$tree/scripts/version")
    [ "$version" = "$project+0.$(stamp "$time").archive.g$hash" ] ||
        fail "git archive of $branch ($hash) says $version"
    epoch=$(env -u SOURCE_DATE_EPOCH sh "$tree/scripts/version" --epoch)
    [ "$epoch" = "$time" ] || fail "git archive of $branch is dated $epoch, its commit $time"
    eval "${branch}_archive=\$version"
done
below "$older_archive" "$newer_archive" "archives of two commits"
below "$newer_archive" "$counted_older" "an archive against a build with history"

# Shallow clones: versions in the commits' order; scripts/package fetches the history, or
# refuses and says why when it cannot.
for branch in older newer; do
    git_ clone -q --depth 1 --branch "$branch" "file://$repo" "$scratch/$branch-shallow"
    eval "hash=\$${branch}_hash time=\$${branch}_time"
    version=$(sh "$scratch/$branch-shallow/scripts/version")
    [ "$version" = "$project+0.$(stamp "$time").shallow.g$hash" ] ||
        fail "a shallow clone of $branch ($hash) says $version"
    eval "${branch}_shallow=\$version"
done
below "$older_shallow" "$newer_shallow" "shallow clones of two commits"
below "$newer_shallow" "$counted_older" "a shallow clone against a build with history"
git_ -C "$scratch/older-shallow" remote remove origin
status=0
sh "$scratch/older-shallow/scripts/package" --check >/dev/null 2>"$scratch/refusal" || status=$?
[ "$status" = 3 ] && grep -q "shallow" "$scratch/refusal" ||
    fail "scripts/package of a shallow clone without its origin gave status $status: $(cat "$scratch/refusal")"
checked=$(sh "$scratch/newer-shallow/scripts/package" --check 2>/dev/null) ||
    fail "scripts/package --check of a shallow clone with its origin failed"
[ "$checked" = "$project+$newer_count.g$newer_hash" ] ||
    fail "scripts/package --check of a shallow clone, once its history fetched, says '$checked'"

# A dirty tree: just below its clean build, and refused unless forced.
clone=$scratch/clone
git_ clone -q --branch newer "$repo" "$clone"
clean=$(sh "$clone/scripts/version")
[ "$clean" = "$project+$newer_count.g$newer_hash" ] || fail "a full clone says $clean"
echo "# changed" >>"$clone/CMakeLists.txt"
dirty=$(sh "$clone/scripts/version")
case "$dirty" in "$clean"?*) ;; *) fail "a dirty tree's version $dirty does not name $clean" ;; esac
below "$dirty" "$clean" "a dirty tree against its clean commit"
below "$counted_older" "$dirty" "a dirty tree against the commit before"
status=0
sh "$clone/scripts/package" --check >/dev/null 2>"$scratch/refusal" || status=$?
[ "$status" = 3 ] || fail "scripts/package of a dirty tree gave status $status"
forced=$(sh "$clone/scripts/package" --force --check 2>/dev/null) || fail "--force did not help"
[ "$forced" = "$dirty" ] || fail "scripts/package --force --check says $forced"
git_ -C "$clone" checkout -q -- CMakeLists.txt

# An external SOURCE_DATE_EPOCH wins over the commit's time, in the changelog and the pages.
epoch=1234567890
[ "$(SOURCE_DATE_EPOCH=$epoch sh "$clone/scripts/version" --epoch)" = $epoch ] ||
    fail "scripts/version --epoch ignores SOURCE_DATE_EPOCH"
SOURCE_DATE_EPOCH=$epoch cmake -S "$clone" -B "$clone/build" -DQUORVAN_TESTS=OFF \
    -DQUORVAN_BENCH=OFF -DQUORVAN_SIMULATOR=OFF >/dev/null
day=2009-02-13
grep -q "^\.TH QUORVAN-CONFIG 1 \"$day\"" "$clone/build/man/quorvan-config.1" ||
    fail "the page of quorvan-config is not dated $day: $(grep '^\.TH' "$clone/build/man/quorvan-config.1")"
grep -rqF " $day " "$clone/build/CMakeFiles/manpages.dir/build.make" ||
    fail "the page of quorvan-cli is not written with the day $day"
sed -n '/^ -- /{p;q}' "$clone/build/doc/changelog" | grep -q "  Fri, 13 Feb 2009 23:31:30 +0000$" ||
    fail "the changelog's entry is dated $(sed -n '/^ -- /{p;q}' "$clone/build/doc/changelog")"

if [ "$failures" != 0 ]; then
    echo "version-check: $failures problem(s)" >&2
    exit 1
fi
echo "version-check: ok"
