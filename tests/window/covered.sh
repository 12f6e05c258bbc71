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
. "$(dirname "$0")/xvfb.sh"
start_xvfb
export DISPLAY=:$number XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work

switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'; }
wakeups() { # of process $1 over one second
    before=$(switches "$1")
    sleep 1
    echo $(($(switches "$1") - before))
}
# Seconds counted until process $1 wakes up at least ($2 = busy) or at most ($2 = quiet)
# $3 times a second, giving up after 10: a loaded machine may take a while to start
# the viewers and map their windows.
settle() {
    tries=0
    while [ $tries -lt 10 ]; do
        n=$(wakeups "$1")
        tries=$((tries + 1))
        if { [ "$2" = busy ] && [ "$n" -ge "$3" ]; } || { [ "$2" = quiet ] && [ "$n" -le "$3" ]; }; then
            echo "$n a second after $tries s"
            return 0
        fi
    done
    echo "$n a second after $tries s"
    return 1
}

"$viewer" >"$work/first.log" 2>&1 &
first=$!
seen=$(settle $first busy 20) || fail "not playing while seen: $seen"
# With no window manager both windows open at the same place and size.
"$viewer" >"$work/second.log" 2>&1 &
second=$!
covered=$(settle $first quiet 2) || fail "still working while covered: $covered"
# Held, not merely slow: it stays quiet.
held=$(wakeups $first)
[ "$held" -le 2 ] || fail "woke up $held times in a second while covered"
kill $second
again=$(settle $first busy 20) || fail "not playing again once uncovered: $again"
echo "wake-ups: seen $seen, covered $covered then $held, seen again $again"
