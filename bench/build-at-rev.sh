#!/usr/bin/env bash
# Prints where a benchmark script builds from and into: the working tree and
# build/NAME, or commit REV exported into build/NAME-src-SHORT with the working tree's
# bench/ and support/ on top (today's benchmark programs over that commit's engine,
# component and window) and build/NAME-SHORT.
#
#   read -r source_dir build < <(bench/build-at-rev.sh NAME [REV])
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=$1
rev=${2:-}
if [ -z "$rev" ]; then
    echo "$root $root/build/$name"
    exit 0
fi
short=$(git -C "$root" rev-parse --short "$rev")
source_dir=$root/build/$name-src-$short
rm -rf "$source_dir"
mkdir -p "$source_dir"
git -C "$root" archive "$rev" | tar -x -C "$source_dir"
for part in bench support; do
    rm -rf "${source_dir:?}/$part"
    cp -r "$root/$part" "$source_dir/$part"
done
echo "$source_dir $root/build/$name-$short"
