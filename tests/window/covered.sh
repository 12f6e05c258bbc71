#!/bin/sh
# The real viewer playing its logo on an X server, wholly covered by a second viewer's
# window and uncovered again: covered, it must stop waking up; uncovered, it must play.
# Wake-ups are the voluntary context switches of all its threads.
# Usage: covered.sh VIEWER
viewer=$1
fail() { echo "FAIL: $*"; exit 1; }
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

work=$(mktemp -d)
trap 'kill $first $second $server 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 640x480x24 3>"$work/display" 2>/dev/null &
server=$!
read -r number <"$work/display"
export DISPLAY=:$number XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work

switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'; }
wakeups() { # of process $1 over $2 seconds
    before=$(switches "$1")
    sleep "$2"
    echo $(($(switches "$1") - before))
}

"$viewer" >"$work/first.log" 2>&1 &
first=$!
sleep 2
seen=$(wakeups $first 1)
# With no window manager both windows open at the same place and size.
"$viewer" >"$work/second.log" 2>&1 &
second=$!
sleep 2
covered=$(wakeups $first 2)
kill $second
sleep 1
again=$(wakeups $first 1)
echo "wake-ups a second: seen $seen, covered $((covered / 2)), seen again $again"
[ "$seen" -ge 20 ] || fail "not playing while seen"
[ "$covered" -le 10 ] || fail "still working while covered"
[ "$again" -ge 20 ] || fail "not playing again once uncovered"
