#!/usr/bin/env bash
# The live invariant under load: the random live tests pinned to one core that two busy loops
# also use, so that inotify's events arrive late, coalesced and in other orders, as on a loaded
# machine. Usage: busy_core.sh TESSERA_TESTS [SEEDS]
set -u
tests="$1"
seeds="${2:-6}"
taskset -c 0 yes >/dev/null &
first=$!
taskset -c 0 yes >/dev/null &
second=$!
trap 'kill "$first" "$second" 2>/dev/null' EXIT
TESSERA_LIVE_SEEDS="$seeds" taskset -c 0 "$tests" --gtest_filter='LiveInvariantTest.*'
