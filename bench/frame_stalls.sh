#!/usr/bin/env bash
# What held up the slow frames of bench_app_frames. Runs it RUNS times under `perf sched record`
# and, for each frame of a transition over THRESHOLD ms, sums over that frame's time:
#   waited   how long each of the bench's threads, and the X server, was ready to run but had
#            no core (a thread woken onto a core that is idle but slow to come back, or queued
#            behind another)
#   others   how long threads outside the bench's process ran (kernel threads, the X server)
#   idle     how long each core ran nothing
# A frame that its own work made slow shows little of any; one that the machine held up shows
# where the time went.
#
#   bench/frame_stalls.sh [RUNS] [THRESHOLD-MS]        (defaults: 5 runs, 16 ms)
#
# BENCH names the binary (default build/release/bench/bench_app_frames); TESSERA_BENCH_GRAPH
# (default treemap) picks the view. Needs perf (Debian's linux-perf) with the scheduler's
# tracepoints: root, or kernel.perf_event_paranoid at -1.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bench="${BENCH:-$here/build/release/bench/bench_app_frames}"
runs="${1:-5}"
threshold="${2:-16}"
command -v perf >/dev/null || { echo "frame_stalls.sh: perf is not installed (linux-perf)" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "frame_stalls.sh: xvfb-run is not installed" >&2; exit 2; }
[ -x "$bench" ] || { echo "frame_stalls.sh: no $bench (build the release preset)" >&2; exit 2; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

for run in $(seq "$runs"); do
    TESSERA_BENCH_GRAPH="${TESSERA_BENCH_GRAPH:-treemap}" TESSERA_BENCH_SLOW="$threshold" \
        perf sched record -m 64M -k CLOCK_MONOTONIC -o "$scratch/sched.data" -- \
        xvfb-run -a -s '-screen 0 1920x1200x24' "$bench" >"$scratch/bench.txt" 2>"$scratch/perf.txt" ||
        { cat "$scratch/perf.txt" >&2; exit 1; }
    frames=$(grep -c '^slow frame:' "$scratch/bench.txt" || true)
    medians=$(grep -E '^  (zoom|rearrange|recolour) ' "$scratch/bench.txt" |
        awk '{printf "%s %s ms, ", $1, $4}')
    echo "run $run: frames over $threshold ms: $frames (medians: ${medians%, })"
    [ "$frames" -gt 0 ] || continue
    perf sched timehist -i "$scratch/sched.data" 2>/dev/null >"$scratch/timehist.txt"
    # Each line of the record: a thread leaving a core at $1, after running for the last field's
    # milliseconds and, before that, waiting the field before's for a core.
    awk -v bench="$(basename "$bench" | cut -c1-15)" '
        FNR == NR {
            if ($0 !~ /^slow frame:/) next
            n++
            sub(/^slow frame: /, "")
            split($0, part, ", ")
            name[n] = part[1]; ms[n] = part[2] + 0
            end[n] = part[3]; sub(/ended at /, "", end[n]); end[n] += 0
            start[n] = end[n] - ms[n] / 1000
            next
        }
        $1 !~ /^[0-9.]+$/ || NF < 6 { next }
        {
            t = $1 + 0; cpu = $2; run = $NF / 1000; delay = $(NF - 1) / 1000
            task = $3
            for (i = 4; i <= NF - 3; i++) task = task " " $i
            if (task ~ /^<idle>/) { kind = "idle"; who = cpu }
            else {
                own = task ~ ("^" bench "\\[") || (pid != "" && task ~ ("/" pid "\\]$"))
                if (task ~ ("^" bench "\\[[0-9]+\\]$")) {
                    pid = task; sub(/^.*\[/, "", pid); sub(/\]$/, "", pid)
                }
                who = task; sub(/\[.*$/, "", who)
                if (own && who == bench) who = task ~ /\[[0-9]+\]$/ ? "main" : "pool helper"
                kind = own ? "own" : task ~ /^Xvfb\[/ ? "server" : "other"
            }
            for (f = 1; f <= n; f++) {
                ran = overlap(t - run, t, start[f], end[f])
                waited = overlap(t - run - delay, t - run, start[f], end[f])
                if (kind == "idle") { if (ran > 0) idle[f, who] += ran; continue }
                if (kind != "other" && waited > 0) wait[f, who] += waited
                if (kind != "own" && ran > 0) other[f, who] += ran
            }
        }
        function overlap(a, b, s, e) { if (a < s) a = s; if (b > e) b = e; return b > a ? b - a : 0 }
        # The entries of `table` for frame f over 0.1 ms, largest first.
        function list(table, f,    key, parts, names, values, count, i, j, swap, text) {
            count = 0
            for (key in table) {
                split(key, parts, SUBSEP)
                if (parts[1] != f || table[key] < 0.0001) continue
                names[++count] = parts[2]; values[count] = table[key]
            }
            for (i = 2; i <= count; i++)
                for (j = i; j > 1 && values[j] > values[j - 1]; j--) {
                    swap = values[j]; values[j] = values[j - 1]; values[j - 1] = swap
                    swap = names[j]; names[j] = names[j - 1]; names[j - 1] = swap
                }
            text = ""
            for (i = 1; i <= count; i++) text = text sprintf("  %s %.1f", names[i], values[i] * 1000)
            return text == "" ? "  -" : text
        }
        END {
            for (f = 1; f <= n; f++) {
                printf "  %s: %.2f ms\n", name[f], ms[f]
                printf "    waited:%s\n", list(wait, f)
                printf "    others:%s\n", list(other, f)
                printf "    idle:  %s\n", list(idle, f)
            }
        }' "$scratch/bench.txt" "$scratch/timehist.txt"
done
