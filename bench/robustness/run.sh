#!/usr/bin/env bash
# Runs the robustness measurements and prints their figures, copied into
# ROBUSTNESS.md, "Decompression bombs"
# and ROBUSTNESS.md, "Long runs".
#   bench/robustness/run.sh [BUILD_DIR]      default build/h-robust (a RelWithDebInfo build with the GUI
#                                            and -DFROLIX_BUILD_BENCH=ON)
# Needs: the robust-* programs built in BUILD_DIR; valgrind for the leak check.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/h-robust}
bin=$build/bench/robustness
export QT_QPA_PLATFORM=offscreen

echo "== decompression bombs, engine only (scan + compose) =="
for name in $("$bin/robust-bombs" list | awk '{print $1}'); do
    "$bin/robust-bombs" "$name"
    echo
done

echo "== decompression bombs through the component (offscreen) =="
for name in huge-screen expanding-frame huge-rect huge-rect-interlaced huge-rect-wide-screen 40000-frames stacked-images; do
    "$bin/robust-bombs-component" "$name"
    echo
done

echo "== zero and one hundredth delays: 5 s of real playback =="
for name in zero-delays one-cs-delays; do
    "$bin/robust-bombs-component" "$name" --play 5
    echo
done

echo "== an hour of playback under a fake clock =="
"$bin/robust-long-run" assets/logo.gif 60

echo "== 1000 loads through the window, good and bad in turn =="
"$bin/robust-loads" assets/logo.gif 1000

if command -v valgrind > /dev/null; then
    echo "== the same under valgrind =="
    valgrind --leak-check=full --errors-for-leak-kinds=definite --num-callers=30 \
        "$bin/robust-loads" assets/logo.gif "${LOADS_UNDER_VALGRIND:-1000}" 2>&1 |
        grep -E "after|loads,|definitely|indirectly|possibly|still reachable|ERROR SUMMARY"
fi
