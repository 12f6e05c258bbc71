#!/usr/bin/env bash
# Builds the playing benchmarks, writes the test animations and runs the viewer and its
# peers one after another on one virtual display (1280 x 1024, 24-bit), printing one
# table. About 13 minutes with the defaults.
#
#   bench/play/run.sh [--rev REV] [-- measure.py options, e.g. --reps 3 --seconds 20]
#
# --rev REV measures the engine, component and window of commit REV (exported into the
# build directory) instead of the working tree, with these benchmark programs on top.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
rev=""
if [ "${1:-}" = "--rev" ]; then
    rev=$2
    shift 2
fi
[ "${1:-}" = "--" ] && shift

# gifview (gifsicle) is a peer measured here only; the test suite does not need it.
for tool in gifview:gifsicle xvfb-run:xvfb; do
    command -v "${tool%%:*}" >/dev/null && continue
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -qq "${tool##*:}" >/dev/null
done

read -r source_dir build < <("$root/bench/build-at-rev.sh" play "$rev")
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFROLIX_BUILD_BENCH=ON >/dev/null
ninja -C "$build" -j2 make-play-gifs play-probe qmovie-peer empty-window floor-window >/dev/null
mkdir -p "$build/play-gifs"
"$build/bench/play/make-play-gifs" "$build/play-gifs"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
xvfb-run -a -s "-screen 0 1280x1024x24" python3 "$root/bench/play/measure.py" \
    --bin "$build/bench/play" --gifs "$build/play-gifs" --logo "$source_dir/assets/logo.gif" \
    --json "$build/play-figures.json" "$@"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
