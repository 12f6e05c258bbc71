#!/bin/sh
# The real viewer started with a GIF named on its command line, relative to its current
# folder, with a space and a non-ASCII letter in its name: its window shows that GIF's first
# frame where the animation is drawn (the component's top-left corner, 16, 16).
# Usage: openarg.sh VIEWER XWINDOW GIF-FRAMES GIF
viewer=$1 xwindow=$2 gifframes=$3 gif=$4
fail() { echo "FAIL: $*"; exit 1; }
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
work=$(mktemp -d)
trap 'kill $viewer_pid $server 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/xvfb.sh"
start_xvfb
export DISPLAY=:$number XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work

name="a pïcture.gif"
cp "$gif" "$work/$name"
"$gifframes" "$work/$name" "$work/frames" >/dev/null || fail "gif-frames cannot read $gif"
expected=$(od -An -tu1 -N3 "$work/frames/frame-001.rgba" | xargs)

(cd "$work" && exec "$viewer" "$name") >"$work/viewer.log" 2>&1 &
viewer_pid=$!
seen=""
for _ in $(seq 200); do
    seen=$("$xwindow" pixel $viewer_pid 16 16 2>/dev/null) && [ "$seen" = "$expected" ] && break
    sleep 0.05
done
[ "$seen" = "$expected" ] || fail "the window shows ${seen:-nothing} where the GIF's first pixel, $expected, belongs: $(cat "$work/viewer.log")"
echo "shows $expected, the first pixel of $name given on its command line"
