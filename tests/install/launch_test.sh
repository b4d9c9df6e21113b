#!/usr/bin/env bash
# Starting the app as a shell does: arguments that do not parse end with status 2 with or
# without a display, no display or a display that cannot be reached ends with one line and
# status 1, and a folder whose name is not UTF-8 opens (its bytes reach the app unchanged).
#   launch_test.sh TESSERA   (run under xvfb-run)
set -uo pipefail
tessera="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expect() { # STATUS PATTERN COMMAND...
    local status="$1" pattern="$2"
    shift 2
    "$@" >"$work/out" 2>"$work/err"
    local got=$?
    [ "$got" = "$status" ] || fail "$* ended with $got, not $status: $(cat "$work/err")"
    grep -q -- "$pattern" "$work/err" || fail "$* said: $(cat "$work/err")"
}
expect 2 "not expected: --bogus" env -u DISPLAY -u WAYLAND_DISPLAY "$tessera" --bogus
expect 2 "not expected: --bogus" "$tessera" --bogus
expect 1 "no display to open windows on" env -u DISPLAY -u WAYLAND_DISPLAY "$tessera" "$work"
expect 1 "the display cannot be reached (DISPLAY=:987" env -u WAYLAND_DISPLAY DISPLAY=:987 \
    "$tessera" "$work"
[ "$(wc -l <"$work/err")" = 1 ] || fail "an unreachable display took more than a line: $(cat "$work/err")"

folder="$work/bad"$'\xff'"name"
mkdir "$folder"
echo hello >"$folder/file"
"$tessera" --new-instance -log 2 "$folder" 2>"$work/log" &
app=$!
for _ in $(seq 100); do
    grep -q "Document window opened for" "$work/log" && break
    sleep 0.2
done
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
grep -q "Document window opened for $work/bad" "$work/log" ||
    fail "the folder with a name that is not UTF-8 did not open: $(cat "$work/log")"
grep -q "does not exist" "$work/log" && fail "the name lost its bytes: $(cat "$work/log")"
echo "launch test: statuses and messages as promised, a name that is not UTF-8 opens"
