#!/usr/bin/env bash
# Through the real window: from a click on a file in the file list to the first paint of
# the component after it, against a QMovie set on a QLabel by a click in a QListWidget,
# 5 times each, interleaved, on one virtual display. Needs the programs that
# bench/load/run.sh builds (play-probe, qmovie-peer) and its files.
#
#   bench/load/click.sh [BUILD_DIR] [FILE...]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/load}
shift || true
files=("$@")
[ ${#files[@]} -gt 0 ] || files=("$root/build/load-gifs/large-1080p.gif" "$root/build/load-gifs/many-5000.gif")
ninja -C "$build" -j2 play-probe qmovie-peer >/dev/null
for file in "${files[@]}"; do
    echo "== $(basename "$file")"
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        for i in 1 2 3 4 5; do
            printf "ours   %s\n" "$("$0"/bench/play/play-probe --click "$1" --seconds 30 2>/dev/null | grep click_to_paint)"
            printf "qmovie %s\n" "$("$0"/bench/play/qmovie-peer "$1" --click 2>/dev/null | grep click_to_paint)"
        done' "$build" "$file"
done
