#!/bin/sh
# The real program's command line where there is no display: --help and --version
# answer without one, and an unknown option is refused with status 2.
# Usage: commandline.sh VIEWER
viewer=$1
fail() { echo "FAIL: $*"; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$viewer" --version >"$work/out" 2>"$work/err"; status=$?
[ "$status" -eq 0 ] || fail "--version: status $status"
[ "$(cat "$work/out")" = "frolix-viewer 1.00" ] || fail "--version printed: $(cat "$work/out")"
[ -s "$work/err" ] && fail "--version wrote to stderr: $(cat "$work/err")"

"$viewer" --help >"$work/out" 2>"$work/err"; status=$?
[ "$status" -eq 0 ] || fail "--help: status $status"
head -n 1 "$work/out" | grep -qx 'Usage: frolix-viewer \[options\] \[PATH\]' || fail "--help printed: $(cat "$work/out")"
grep -q -- '--version' "$work/out" || fail "--help does not name --version"
[ -s "$work/err" ] && fail "--help wrote to stderr: $(cat "$work/err")"

"$viewer" --no-such-option a.gif >"$work/out" 2>"$work/err"; status=$?
[ "$status" -eq 2 ] || fail "unknown option: status $status"
[ -s "$work/out" ] && fail "unknown option wrote to stdout: $(cat "$work/out")"
grep -q "no-such-option" "$work/err" || fail "unknown option not named: $(cat "$work/err")"
grep -q '^Usage: frolix-viewer' "$work/err" || fail "unknown option: no usage on stderr"
echo "ok"
