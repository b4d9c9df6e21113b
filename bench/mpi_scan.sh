#!/usr/bin/env bash
# The distributed scan against the local one: `tessera scan --mpi` on 1, 2 and 4 processes of
# one MPI job, beside `tessera scan` and ncdu, on one generated tree in the same run. Each
# snapshot the distributed scan writes is checked against the local scan's, byte for byte.
#
#   bench/mpi_scan.sh [entries] [runs]
#
# Warm cache, best of RUNS after one warm-up. On one machine every process shares its cores and
# its disk: the figures show what the spreading costs, not what a cluster gains (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
entries="${1:-1000000}"
runs="${2:-3}"
tree="${BENCH_TREE:-/tmp/tessera-bench-tree-$entries}"

for tool in mpirun ncdu; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/bootstrap installs it)"; exit 1; }
done
scripts/bootstrap release tessera tessera-mpi-scan bench_make_tree >/dev/null
bin=build/release
[ -x "$bin/src/tessera-mpi-scan" ] || { echo "this build has no MPI helper"; exit 1; }
[ -d "$tree" ] || "$bin/bench/bench_make_tree" "$tree" "$entries"

# Each process runs threads of its own: binding it to one core, as mpirun does by default for
# two processes or fewer, would leave it one core for all of them.
mpirun="mpirun --oversubscribe --bind-to none"
[ "$(id -u)" -eq 0 ] && mpirun+=" --allow-run-as-root"
export OMPI_MCA_btl_vader_single_copy_mechanism=none
# All processes run here: no ssh is needed, but mpirun wants an agent named where none is installed.
export OMPI_MCA_plm_rsh_agent=false
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

declare -A commands=(
    [local]="$bin/src/tessera scan $tree --json --export $out/local.tsv"
    [mpi-1]="$mpirun -np 1 $bin/src/tessera scan $tree --mpi --json --export $out/mpi-1.tsv"
    [mpi-2]="$mpirun -np 2 $bin/src/tessera scan $tree --mpi --json --export $out/mpi-2.tsv"
    [mpi-4]="$mpirun -np 4 $bin/src/tessera scan $tree --mpi --json --export $out/mpi-4.tsv"
    [ncdu]="ncdu -0 -o /dev/null $tree"
)
order=(local mpi-1 mpi-2 mpi-4 ncdu)

measure() {
    /usr/bin/time -f "%e %M" -o "$out/time" $1 >/dev/null 2>&1
    cat "$out/time"
}

declare -A best=() memory=()
for name in "${order[@]}"; do
    measure "${commands[$name]}" >/dev/null
    for ((i = 0; i < runs; i++)); do
        read -r seconds kb < <(measure "${commands[$name]}")
        if [ -z "${best[$name]:-}" ] || awk "BEGIN{exit !($seconds < ${best[$name]})}"; then
            best[$name]=$seconds
            memory[$name]=$kb
        fi
    done
done
echo "== warm cache, $entries entries, $(nproc) cores, best of $runs (with the snapshot written)"
for name in "${order[@]}"; do
    same=""
    if [[ $name == mpi-* ]]; then
        cmp -s "$out/local.tsv" "$out/$name.tsv" && same="  snapshot equal to local" ||
            same="  SNAPSHOT DIFFERS FROM LOCAL"
    fi
    printf '  %-6s %7.2f s  %9d KB peak (largest process)  %5.2f of local%s\n' "$name" \
        "${best[$name]}" "${memory[$name]}" "$(awk "BEGIN{print ${best[$name]} / ${best[local]}}")" \
        "$same"
done
