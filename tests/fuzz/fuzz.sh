#!/usr/bin/env bash
# Fuzzes the snapshot reader with libFuzzer (coverage-guided) under AddressSanitizer and
# UndefinedBehaviorSanitizer, starting from tests/fuzz/corpus, which CI replays on every run.
#
#   tests/fuzz/fuzz.sh [seconds] [jobs]
#
# New inputs go to build/fuzz/corpus; a crashing input is left in build/fuzz/ as crash-*.
# tests/fuzz/corpus/found holds the smallest set of found inputs that covers every edge reached,
# which CI replays; refresh it from build/fuzz with
#   tests/snapshot_fuzzer -set_cover_merge=1 -use_counters=0 -max_len=2048 NEW corpus \
#       ../../tests/fuzz/corpus/found
# and replace found/ with NEW. The blind mutator of the ASan build still works without clang:
# `build/asan/tests/snapshot_fuzz_driver --mutate SECONDS tests/fuzz/corpus`.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-600}"
jobs="${2:-1}"
scripts/bootstrap fuzz >/dev/null
mkdir -p build/fuzz/corpus
cd build/fuzz
tests/snapshot_fuzzer -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
    -jobs="$jobs" -workers="$jobs" -print_final_stats=1 corpus ../../tests/fuzz/corpus
