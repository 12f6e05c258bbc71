#!/usr/bin/env bash
# Run by bench/idle/run.sh inside the virtual display.
set -euo pipefail
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

switches() { # "thread voluntary-switches" for each thread of process $1
    local task
    for task in /proc/"$1"/task/*; do
        awk -v tid="${task##*/}" '/^voluntary_ctxt_switches/ { print tid, $2 }' "$task"/status 2>/dev/null || true
    done
}
count() { # label pid: switches over SECONDS_PER_STATE, of the threads alive throughout
    local before after
    before=$(switches "$2")
    sleep "$SECONDS_PER_STATE"
    after=$(switches "$2")
    # A thread that ends takes its count with it; one that starts began at 0.
    printf '%-28s %6d wake-ups in %s s\n' "$1" "$(awk 'NR == FNR { was[$1] = $2; next } { n += $2 - ($1 in was ? was[$1] : 0) } END { print n + 0 }' \
        <(echo "$before") <(echo "$after"))" "$SECONDS_PER_STATE"
}
window_of() { # the first visible window of process $1
    local id=""
    for _ in $(seq 50); do
        id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

measure() { # name command...
    local name=$1
    shift
    "$@" >/dev/null 2>&1 &
    local pid=$!
    local win
    win=$(window_of "$pid")
    sleep 2
    count "$name, seen" "$pid"
    xdotool windowminimize "$win"
    sleep 1
    count "$name, minimised" "$pid"
    xdotool windowmap "$win" windowactivate "$win" 2>/dev/null || true
    sleep 1
    # A window the size of the screen on top of it.
    "$BUILD/bench/play/qmovie-peer" "$LOGO" --seconds 600 >/dev/null 2>&1 &
    local cover=$!
    local coverWin
    coverWin=$(window_of "$cover")
    xdotool windowsize "$coverWin" 1280 1024 windowmove "$coverWin" 0 0
    kill -STOP "$cover" # it would wake up itself, and the X server with it
    sleep 1
    count "$name, covered" "$pid"
    kill -CONT "$cover"
    kill "$cover"
    wait "$cover" 2>/dev/null || true
    sleep 1
    count "$name, seen again" "$pid"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

measure "viewer (logo)" "$BUILD/window/frolix-viewer"
measure "QMovie peer (logo)" "$BUILD/bench/play/qmovie-peer" "$LOGO" --seconds 600
kill "$wm"
