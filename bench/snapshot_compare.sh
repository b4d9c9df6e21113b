#!/usr/bin/env bash
# Snapshot benchmark: writes a million-entry tree from memory in both forms (MB/s), then reads
# snapshots of the on-disk benchmark tree in both forms next to ncdu's import of its own export
# of the same tree, in the same run (best of RUNS): the reader alone, then whole processes
# (`tessera info` against `ncdu -f`), with their ratio.
#
#   bench/snapshot_compare.sh [entries] [runs] [varied]
#
# `varied` uses a tree as a long-used disk holds instead of the home-folder tree: folders up to
# 14 deep, a few huge ones among many small ones, names with spaces and letters beyond ASCII,
# dates over five years (bench_make_tree --varied; writing it takes minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
entries="${1:-1000000}"
runs="${2:-3}"
variety="${3:-home}"
if [ "$variety" = varied ]; then
    tree="${BENCH_TREE:-/tmp/tessera-bench-varied-$entries}"
    out="${BENCH_OUT:-/tmp/tessera-snapshot-varied}"
else
    tree="${BENCH_TREE:-/tmp/tessera-bench-tree-$entries}"
    out="${BENCH_OUT:-/tmp/tessera-snapshot-bench}"
fi
command -v ncdu >/dev/null || { sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo; $sudo apt-get install -y -qq ncdu; }
scripts/bootstrap release >/dev/null
bin=build/release
if [ ! -d "$tree" ]; then
    if [ "$variety" = varied ]; then
        "$bin/bench/bench_make_tree" "$tree" "$entries" --varied
    else
        "$bin/bench/bench_make_tree" "$tree" "$entries"
    fi
fi
mkdir -p "$out"

echo "== writing from memory"
"$bin/bench/bench_snapshot" write "$out" "$entries"

"$bin/src/tessera" scan "$tree" --export "$out/disk.tsv" --format tsv >/dev/null
"$bin/src/tessera" scan "$tree" --export "$out/disk.json" --format json >/dev/null
ncdu -0 -o "$out/disk.ncdu" "$tree"

best() { sort -g | head -1; }
echo "== reading the on-disk tree's snapshots (best of $runs)"
for form in tsv json; do
    for ((i = 0; i < runs; i++)); do "$bin/bench/bench_snapshot" read "$out/disk.$form"; done |
        sort -t' ' -k6 -g | head -1
done
# Whole processes, side by side: each round runs the three in turn, so that a busy moment of
# the machine falls on all of them; the best round of each counts.
seconds() { /usr/bin/time -f "%e" "$@" 2>&1 >/dev/null | tail -1; }
for ((i = 0; i < runs; i++)); do
    echo "tsv $(seconds "$bin/src/tessera" info "$out/disk.tsv")"
    echo "json $(seconds "$bin/src/tessera" info "$out/disk.json")"
    echo "ncdu $(seconds ncdu -0 -f "$out/disk.ncdu" -o /dev/null)"
done >"$out/rounds"
best_of() { awk -v form="$1" '$1 == form { print $2 }' "$out/rounds" | best; }
tsv_best=$(best_of tsv)
json_best=$(best_of json)
ncdu_best=$(best_of ncdu)
echo "== whole processes (best of $runs rounds)"
echo "ncdu -0 -f (its own $(du -m "$out/disk.ncdu" | cut -f1) MB export, streamed to /dev/null): $ncdu_best s"
for form in tsv json; do
    form_best=$([ "$form" = tsv ] && echo "$tsv_best" || echo "$json_best")
    echo "tessera info $form ($(du -m "$out/disk.$form" | cut -f1) MB): $form_best s," \
        "$(awk -v a="$form_best" -v b="$ncdu_best" 'BEGIN { printf "%.2f", a / b }') of ncdu's time"
done
