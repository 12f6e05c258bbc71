#!/bin/sh
# The comparison one file at a time, K times over: each bench-decode binary given, then the
# Wuffs comparator, in turn, each a fresh process (3 repetitions of at least 0.1 s,
# median, process CPU time). On this shared VM a process's speed moves by up to half from
# one start to the next, so a ratio is taken from runs seconds apart, not a minute.
#     bench/wuffs/run-interleaved.sh OUT K WUFFSBIN BENCH-DECODE... -- FILE...
# OUT gets one line per run: file, run, each binary's median (ms), Wuffs' median (ms).
# A file outside tests/data/bench-corpus is passed to bench-decode on its command line.
set -e
OUT=$1 K=$2 WB=$3
shift 3
BINS=
while [ "$1" != "--" ]; do
    BINS="$BINS $1"
    shift
done
shift
O="--benchmark_repetitions=3 --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true --benchmark_format=json"
median() {
    python3 -c "import json, sys; print([b['cpu_time'] for b in json.load(sys.stdin)['benchmarks'] if b.get('aggregate_name') == 'median'][0])"
}
: >"$OUT"
for F in "$@"; do
    n=$(basename "$F")
    pattern=$(echo "$n" | sed 's/\./\\./g')
    extra=$F
    case $(realpath "$F") in */tests/data/bench-corpus/*) extra= ;; esac
    for k in $(seq "$K"); do
        line="$n $k"
        for B in $BINS; do
            line="$line $($B $extra --benchmark_filter="ours/$pattern" $O 2>/dev/null | median)"
        done
        echo "$line $($WB "$F" $O 2>/dev/null | median)" >>"$OUT"
    done
done
