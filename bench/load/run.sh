#!/usr/bin/env bash
# Builds the loading benchmark, writes the large test animations (about a minute the
# first time) and prints, for each: our time from the start of loading to the first
# frame against a QMovie's in the same process, and the peak memory over the process
# before loading while the frames are shown forwards, ours and QMovie's.
#
#   bench/load/run.sh [--rev REV] [--huge] [--reps N]
#
# --rev REV measures the engine of commit REV with these benchmark programs on top.
# --huge also writes and measures a file over 1 GiB (not kept between runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
rev=""
huge=""
reps=9
while [ $# -gt 0 ]; do
    case "$1" in
    --rev) rev=$2; shift 2 ;;
    --huge) huge=--huge; shift ;;
    --reps) reps=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

read -r source_dir build < <("$root/bench/build-at-rev.sh" load "$rev")
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFROLIX_BUILD_BENCH=ON >/dev/null
ninja -C "$build" -j2 make-play-gifs load-probe >/dev/null
gifs=$root/build/load-gifs
mkdir -p "$gifs"
[ -f "$gifs/many-5000.gif" ] || "$build/bench/play/make-play-gifs" "$gifs" --large
files=("$gifs/large-1080p.gif" "$gifs/many-5000.gif")
if [ -n "$huge" ]; then
    "$build/bench/play/make-play-gifs" "$gifs" --huge
    files+=("$gifs/huge-1080p.gif")
fi

export QT_QPA_PLATFORM=offscreen
probe=$build/bench/load/load-probe
echo "machine: $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for file in "${files[@]}"; do
    echo "== $(basename "$file") ($(stat -c %s "$file") bytes)"
    "$probe" time "$file" --reps "$reps"
    for who in ours qmovie; do
        # The huge file's frames are shown only in part: a pass over it all takes minutes.
        frames=0
        [ "$(basename "$file")" = huge-1080p.gif ] && frames=300
        echo "-- memory, $who"
        "$probe" memory "$who" "$file" --frames "$frames"
    done
done
rm -f "$gifs/huge-1080p.gif"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
