#!/bin/sh
# The real viewer without a display server, and losing it while it runs: each time one
# line naming what went wrong, a plain exit status, no abort.
# Usage: display.sh VIEWER
viewer=$1
fail() { echo "FAIL: $*"; exit 1; }
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

n=55
while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
out=$(DISPLAY=:$n "$viewer" 2>&1)
status=$?
[ "$status" -eq 2 ] || fail "DISPLAY=:$n: status $status, not 2: $out"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "DISPLAY=:$n: more than one line: $out"
case $out in *":$n"*) ;; *) fail "DISPLAY=:$n: the line does not name the display: $out" ;; esac

# A server that goes away.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/xvfb.sh"
start_xvfb
DISPLAY=:$number XDG_RUNTIME_DIR=$work "$viewer" >"$work/out" 2>&1 &
viewer_pid=$!
sleep 1
kill "$server"
waited=0
while kill -0 "$viewer_pid" 2>/dev/null && [ $waited -lt 50 ]; do sleep 0.1; waited=$((waited + 1)); done
kill -0 "$viewer_pid" 2>/dev/null && { kill -9 "$viewer_pid"; fail "still running 5 s after its display went away"; }
wait "$viewer_pid"
status=$?
[ "$status" -ge 1 ] && [ "$status" -lt 128 ] || fail "display gone: status $status (a signal, not an exit): $(cat "$work/out")"
[ -s "$work/out" ] || fail "display gone: no message"
echo "ok: :$n refused with status 2; display :$number gone, status $status: $(cat "$work/out")"
