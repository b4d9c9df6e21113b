#!/usr/bin/env bash
# How readable a comparison is: a copy of FOLDER is changed the five ways a disk changes between
# two scans (files grown, a folder deleted, a folder added, many small edits, a folder renamed),
# each change snapshotted before and after, and each pair drawn by `tessera render --sequence`
# in both graphs. Printed per scenario and graph:
#   ends     % of pixels that differ between the two trees' pictures (a stable layout: few)
#   holes    % of the half-way frame that shows the background where the first tree's does not
#   drift    % of pixels of the half-way frame that differ from the first tree's picture
#            (for a rename, where nothing changed, the less the better)
#
#   bench/comparison_frames.sh FOLDER [COLOR-MODE]
#
# TESSERA names the binary (default build/release/src/tessera); COLOR-MODE is passed on as
# --color-mode (default hueWheel). FOLDER itself is not changed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
tessera="${TESSERA:-$here/build/release/src/tessera}"
difference="$here/build/release/bench/bench_picture_difference"
folder="${1:?usage: comparison_frames.sh FOLDER [COLOR-MODE]}"
mode="${2:-hueWheel}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp -a "$folder" "$scratch/tree"
tree="$scratch/tree"
mkdir "$scratch/aside"
snapshot() { "$tessera" scan "$tree" --export "$1" >/dev/null 2>&1 || [ $? -eq 3 ]; }
snapshot "$scratch/before.json"

# The folder holding about 6.7 % of the bytes, and the largest folder two levels down.
total=$(du -sb "$tree" | cut -f1)
pick_folder() { # the folder two levels down whose size is nearest $1 bytes
    find "$tree" -mindepth 2 -maxdepth 2 -type d -exec du -sb {} + |
        awk -v want="$1" '{d = $1 - want; if (d < 0) d = -d; print d "\t" $2}' |
        sort -n | sed -n '1p' | cut -f2-
}
deleted=$(pick_folder $((total * 67 / 1000)))
renamed=$(pick_folder $((total * 10 / 100)))
mapfile -t grown < <(find "$tree" -type f -size +10k | sort | sed -n '1,3p')
mapfile -t edited < <(find "$tree" -type f -size -20k | sort | awk 'NR % 7 == 0 && ++n <= 600')

scenario() { # NAME: the change is made, snapshotted and undone
    case "$1" in
    grown) for f in "${grown[@]}"; do truncate -s +5M "$f"; done ;;
    deleted) mv "$deleted" "$scratch/aside/" ;;
    added) mkdir "$tree/added" && cp -a "$here/src" "$tree/added/" ;;
    edits) for f in "${edited[@]}"; do printf '%0100d' 0 >>"$f"; done ;;
    renamed) mv "$renamed" "$renamed-renamed" ;;
    esac
    snapshot "$scratch/$1.json"
    case "$1" in
    grown) for f in "${grown[@]}"; do truncate -s -5M "$f"; done ;;
    deleted) mv "$scratch/aside/$(basename "$deleted")" "$(dirname "$deleted")/" ;;
    added) rm -rf "$tree/added" ;;
    edits) for f in "${edited[@]}"; do truncate -s -100 "$f"; done ;;
    renamed) mv "$renamed-renamed" "$renamed" ;;
    esac
}

printf '%-8s %-8s %6s %6s %6s\n' scenario graph ends holes drift
for name in grown deleted added edits renamed; do
    scenario "$name"
    for graph in pie treemap; do
        draw() {
            "$tessera" render --sequence "$scratch/before.json" "$scratch/$name.json" --at "$1" \
                --graph "$graph" --color-mode "$mode" --size 800x500 --samples 1 -o "$2" \
                >/dev/null 2>&1
        }
        draw 0 "$scratch/a.png"
        draw 1 "$scratch/b.png"
        draw 0.5 "$scratch/half.png"
        ends=$("$difference" "$scratch/a.png" "$scratch/b.png")
        read -r drift holes < <("$difference" "$scratch/a.png" "$scratch/half.png" ededed)
        printf '%-8s %-8s %6s %6s %6s\n' "$name" "$graph" "$ends" "$holes" "$drift"
    done
done
