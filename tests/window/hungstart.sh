#!/bin/sh
# The real viewer started in a folder on a share that never answers: its window shows and
# its logo plays at once (within one and a half seconds, or a second more than the same start
# from a folder that answers, on a loaded machine: either is well before the 3 s a wait for
# the folder would cost); closed while that folder is still asked, it ends
# within a second. Status 77 (skipped) when FUSE cannot mount here.
# Usage: hungstart.sh VIEWER HANGFS XWINDOW
viewer=$1 hangfs=$2 xwindow=$3
fail() { echo "FAIL: $*"; exit 1; }
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

work=$(mktemp -d)
mount=$(mktemp -d /var/tmp/frolix-hung-XXXXXX) # /tmp is no drive
trap 'kill $viewer_pid $hang_pid $server 2>/dev/null; rm -f "$mount.hang"; sleep 0.2; rmdir "$mount" 2>/dev/null; rm -rf "$work"' EXIT
"$hangfs" "$mount" "$mount.hang" >"$work/hangfs.log" 2>&1 &
hang_pid=$!
tries=0
until grep -q " $mount " /proc/self/mounts; do
    tries=$((tries + 1))
    if [ $tries -gt 50 ] || ! kill -0 $hang_pid 2>/dev/null; then
        echo "SKIP: FUSE cannot mount here: $(cat "$work/hangfs.log")"
        exit 77
    fi
    sleep 0.1
done

. "$(dirname "$0")/xvfb.sh"
mkdir "$work/fb"
# The screen's pixels in a file, to see the logo play.
mkfifo "$work/display"
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 640x480x24 -fbdir "$work/fb" 3>"$work/display" 2>/dev/null &
server=$!
read -r number <"$work/display"
export DISPLAY=:$number XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work

now() { date +%s%3N; }
# Starts the viewer in folder $1 and sets $shown and $playing to the milliseconds until its
# window shows and until the screen has then changed three times (the logo's frames, its
# frame label).
start_in() {
    started=$(now)
    # "." starts it where this shell stands: a cd into the hung folder would hang the shell.
    (if [ "$1" != . ]; then cd "$1" || exit; fi; exec "$viewer") >>"$work/viewer.log" 2>&1 &
    viewer_pid=$!
    shown="" changes=0 last=""
    while [ $(($(now) - started)) -lt 10000 ]; do
        if [ -z "$shown" ]; then
            "$xwindow" shown $viewer_pid && shown=$(($(now) - started)) && last=$(md5sum <"$work/fb/Xvfb_screen0")
        else
            sum=$(md5sum <"$work/fb/Xvfb_screen0")
            [ "$sum" != "$last" ] && changes=$((changes + 1)) && last=$sum
            [ $changes -ge 3 ] && playing=$(($(now) - started)) && return 0
        fi
        sleep 0.02
    done
    return 1
}

start_in "$work" || fail "from a folder that answers: shown after ${shown:-never} ms, never playing"
answering=$playing
kill $viewer_pid
wait $viewer_pid 2>/dev/null

cd "$mount" || fail "cannot enter $mount"
touch "$mount.hang" # from now on every request there hangs
start_in . || fail "from a hung folder: shown after ${shown:-never} ms, never playing"
limit=$((answering + 1000))
[ $limit -lt 1500 ] && limit=1500
[ "$playing" -le $limit ] || fail "from a hung folder: shown after $shown ms, playing after $playing ms (limit $limit ms)"

# Closed while the folder is still asked for (it is given up after 3 s).
asked=$playing
"$xwindow" close $viewer_pid || fail "no window to close"
closed=$(now)
while kill -0 $viewer_pid 2>/dev/null && [ $(($(now) - closed)) -lt 5000 ]; do sleep 0.02; done
kill -0 $viewer_pid 2>/dev/null && fail "still running 5 s after its window was closed"
ended=$(($(now) - closed))
wait $viewer_pid
status=$?
[ $ended -le 1000 ] || fail "ended $ended ms after its window was closed"
[ $status -eq 0 ] || fail "status $status after its window was closed: $(cat "$work/viewer.log")"
echo "playing after $answering ms from a folder that answers, $asked ms from a hung one; closed at $asked ms, ended $ended ms later"
