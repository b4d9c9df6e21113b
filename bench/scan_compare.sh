#!/usr/bin/env bash
# End-to-end scan benchmark: tessera scan against du, ncdu and gdu and a bare walk (getdents64
# and statx per entry, nothing else) on one generated tree, in the same run. The bare walk also
# runs with its statx calls sent through io_uring (ring-batch, ring-deferred: see
# bench/ring_walk.cpp) and with listings alone (list-16), which shows the part of a cold scan
# that no way of measuring entries can take away.
#
#   bench/scan_compare.sh [entries] [runs]
#
# Warm runs come first (best of RUNS after one warm-up); cold runs follow when the page cache
# can be dropped (root). Prints seconds, peak resident memory and ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
entries="${1:-1000000}"
runs="${2:-3}"
tree="${BENCH_TREE:-/tmp/tessera-bench-tree-$entries}"

missing=()
for tool in ncdu gdu time; do command -v "$tool" >/dev/null || [ -x /usr/bin/time ] || missing+=("$tool"); done
command -v ncdu >/dev/null || missing+=(ncdu)
command -v gdu >/dev/null || missing+=(gdu)
[ -x /usr/bin/time ] || missing+=(time)
if ((${#missing[@]})); then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq && $sudo apt-get install -y -qq "${missing[@]}"
fi
scripts/bootstrap release >/dev/null
bin=build/release
[ -d "$tree" ] || "$bin/bench/bench_make_tree" "$tree" "$entries"

cores=$(nproc)
declare -A commands=(
    [tessera]="$bin/src/tessera scan $tree --json"
    [bare-1]="$bin/bench/bench_bare_walk $tree 1"
    [bare-all]="$bin/bench/bench_bare_walk $tree $cores"
    [bare-8]="$bin/bench/bench_bare_walk $tree 8"
    [bare-16]="$bin/bench/bench_bare_walk $tree 16"
    [list-16]="$bin/bench/bench_bare_walk $tree 16 list"
    [ring-batch]="$bin/bench/bench_ring_walk $tree 16 batch"
    [ring-deferred]="$bin/bench/bench_ring_walk $tree 16 deferred"
    [du]="du -s $tree"
    [ncdu]="ncdu -0 -o /dev/null $tree"
    [gdu]="gdu -n $tree"
)
order=(tessera bare-1 bare-all bare-8 bare-16 list-16 ring-batch ring-deferred du ncdu gdu)

# Prints "seconds peak-KB" for one run of a command.
measure() {
    /usr/bin/time -f "%e %M" -o /tmp/tessera-bench-time $1 >/dev/null 2>&1
    cat /tmp/tessera-bench-time
}

empty=$(mktemp -d)
read -r _ baseline_kb < <(measure "$bin/src/tessera scan $empty --json")
rmdir "$empty"

can_drop=false
if [ -w /proc/sys/vm/drop_caches ]; then can_drop=true; fi

for mode in warm cold; do
    if [ "$mode" = cold ] && ! $can_drop; then
        echo "cold: skipped (dropping the page cache needs root)"
        continue
    fi
    declare -A best=() memory=()
    for name in "${order[@]}"; do
        [ "$mode" = warm ] && measure "${commands[$name]}" >/dev/null
        for ((i = 0; i < runs; i++)); do
            if [ "$mode" = cold ]; then sync; echo 3 >/proc/sys/vm/drop_caches; fi
            read -r seconds kb < <(measure "${commands[$name]}")
            if [ -z "${best[$name]:-}" ] || awk "BEGIN{exit !($seconds < ${best[$name]})}"; then
                best[$name]=$seconds
                memory[$name]=$kb
            fi
        done
    done
    fastest_peer=$(printf '%s\n' "${best[du]}" "${best[ncdu]}" "${best[gdu]}" | sort -g | head -1)
    echo "== $mode cache, $entries entries, $cores cores, best of $runs"
    for name in "${order[@]}"; do
        printf '  %-13s %7.2f s  %9d KB peak  %6.1f bytes/entry\n' "$name" "${best[$name]}" \
            "${memory[$name]}" "$(awk "BEGIN{print ${memory[$name]} * 1024 / $entries}")"
    done
    awk "BEGIN{printf \"  tessera / fastest peer: %.2f (goal <= 0.5)\n\", ${best[tessera]} / $fastest_peer}"
    awk "BEGIN{printf \"  tessera memory above its own process (%d KB scanning an empty folder): %.1f bytes/entry\n\", $baseline_kb, (${memory[tessera]} - $baseline_kb) * 1024 / $entries}"
    awk "BEGIN{printf \"  tessera / bare walk on all cores: %.2f (goal <= 1.15)\n\", ${best[tessera]} / ${best[bare-all]}}"
    awk "BEGIN{printf \"  tessera / bare walk on 8 threads: %.2f\n\", ${best[tessera]} / ${best[bare-8]}}"
    awk "BEGIN{printf \"  tessera / ncdu: %.2f (cold goal <= 0.35)\n\", ${best[tessera]} / ${best[ncdu]}}"
    awk "BEGIN{printf \"  io_uring walks / bare walk on 16 threads: batch %.2f, deferred %.2f\n\", ${best[ring-batch]} / ${best[bare-16]}, ${best[ring-deferred]} / ${best[bare-16]}}"
    unset best memory
done
