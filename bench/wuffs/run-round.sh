#!/bin/sh
# One round of the comparison: each bench-decode binary given (e.g. before and after a
# change), then the Wuffs comparator, on the corpus and the made files; medians of 5.
#     bench/wuffs/run-round.sh OUTPREFIX MADEDIR WUFFSBIN BENCH-DECODE...
# MADEDIR: what `bench-decode --write-made` wrote, plus any large file (large-1080p.gif).
OUT=$1 M=$2 WB=$3
shift 3
C=$(dirname "$(realpath "$0")")/../../tests/data/bench-corpus
OPTS="--benchmark_repetitions=5 --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true --benchmark_format=json"
i=0
for B in "$@"; do
    i=$((i + 1))
    $B $M/large-1080p.gif --benchmark_filter='ours/' $OPTS > $OUT.ours$i.json
done
$WB $C/*.gif $M/*.gif $OPTS > $OUT.wuffs.json
