#!/usr/bin/env bash
# Fuzzes the snapshot reader under AddressSanitizer and UndefinedBehaviorSanitizer, starting
# from tests/fuzz/corpus, which CI replays on every run.
#
#   tests/fuzz/fuzz.sh [seconds]
#
# The target (SnapshotFuzzer.cpp) has libFuzzer's entry point, so any engine can drive it. On
# Debian 12 neither engine builds it: clang 14 cannot compile libstdc++ 12's <expected>, and
# AFL++'s GCC plugin refuses Debian's GCC build. Until then the driver mutates the corpus
# blindly; an input that brings it down is left in ./fuzz-crash-input.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-600}"
scripts/bootstrap asan >/dev/null
build/asan/tests/snapshot_fuzz_driver --mutate "$seconds" tests/fuzz/corpus
