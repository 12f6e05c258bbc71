#!/bin/sh
# Builds the Wuffs comparator for bench-decode, outside the project's build and not by
# default: Wuffs' single-file release C library is given by path, never kept here.
#     bench/wuffs/build.sh /path/to/wuffs-v0.3.c OUTDIR
# Same optimisation as the bench preset (CMAKE_BUILD_TYPE=Release: -O3 -DNDEBUG).
set -e
W=$(realpath "$1")
OUT=$2
HERE=$(dirname "$(realpath "$0")")
mkdir -p "$OUT"
gcc -O3 -DNDEBUG -c -DWUFFS_C="\"$W\"" "$HERE/wuffs-impl.c" -o "$OUT/wuffs-impl.o"
g++ -std=c++20 -O3 -DNDEBUG -DWUFFS_C="\"$W\"" "$HERE/wuffs-decode.cpp" "$OUT/wuffs-impl.o" -lbenchmark -lpthread \
    -o "$OUT/bench-decode-wuffs"
