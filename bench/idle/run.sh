#!/usr/bin/env bash
# Wake-ups of the viewer while its window is seen, minimised and covered, against a
# QMovie in a QLabel playing the same logo, on one virtual display with a window
# manager (openbox). A wake-up is a voluntary context switch of any of the process's
# threads (/proc/PID/task/*/status), counted over 10 s in each state.
#
#   bench/idle/run.sh [--seconds S]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=10
[ "${1:-}" = "--seconds" ] && seconds=$2
build=$root/build/load
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFROLIX_BUILD_BENCH=ON >/dev/null
ninja -C "$build" -j2 frolix-viewer qmovie-peer >/dev/null
for tool in xvfb-run:xvfb openbox:openbox xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null && continue
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -qq "${tool##*:}" >/dev/null
done
export SECONDS_PER_STATE=$seconds BUILD=$build LOGO=$root/assets/logo.gif
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$root/bench/idle/states.sh"
