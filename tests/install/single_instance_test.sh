#!/usr/bin/env bash
# A second launch hands its paths to the running app and exits 0, over the session bus and,
# where there is none, over the local socket, which a socket left by a killed instance does not
# block. Runs under dbus-run-session and xvfb-run.
#   single_instance_test.sh TESSERA-BINARY
set -euo pipefail
tessera="$1"
work=$(mktemp -d)
first=""
cleanup() {
    [ -n "$first" ] && kill "$first" 2>/dev/null && wait "$first" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- first instance's log:" >&2
    cat "$work/first.log" >&2 || true
    exit 1
}
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$work/a" "$work/b" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo one >"$work/a/file"
echo two >"$work/b/file"

# Waits up to 20 s for a line in the first instance's log.
wait_for_log() {
    for _ in $(seq 200); do
        grep -qF "$1" "$work/first.log" && return 0
        sleep 0.1
    done
    fail "no '$1' in the log"
}

hand_over() {
    local channel="$1" second="$2"
    "$tessera" -log 2 --software-rendering "$work/a" 2>"$work/first.log" &
    first=$!
    wait_for_log "Document window opened for $work/a (1 open)"
    timeout 20 "$tessera" -log 2 "$second" 2>"$work/second.log" ||
        fail "the second launch ($channel) exited with $?: $(cat "$work/second.log")"
    grep -q "Handed over to the running instance over $channel" "$work/second.log" ||
        fail "the second launch did not hand over over $channel: $(cat "$work/second.log")"
    wait_for_log "Document window opened for $work/b (2 open)"
    kill "$first"
    wait "$first" 2>/dev/null || true
    first=""
}

hand_over "D-Bus" "$work/b"

# No session bus: the local socket, with a stale socket file of a killed instance in the way.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' \
    "$XDG_RUNTIME_DIR/tessera.socket"
[ -S "$XDG_RUNTIME_DIR/tessera.socket" ] || fail "no stale socket to start with"
# A launcher's file URL (Exec=tessera %U) names the same folder.
hand_over "its local socket" "file://$work/b"

# Without paths, the second launch hands over too (the running app shows a window) and exits 0.
"$tessera" -log 2 --software-rendering "$work/a" 2>"$work/first.log" &
first=$!
wait_for_log "Document window opened for $work/a (1 open)"
timeout 20 "$tessera" -log 2 2>"$work/second.log" ||
    fail "a second launch without paths exited with $?: $(cat "$work/second.log")"
grep -q "Handed over to the running instance over its local socket" "$work/second.log" ||
    fail "a second launch without paths did not hand over: $(cat "$work/second.log")"

# A stopped first instance is slow, not gone: the second launch leaves its socket alone and
# exits; the first opens the folder once it goes on, and nobody opens it twice.
kill -STOP "$first"
timeout 30 "$tessera" -log 2 "$work/b" 2>"$work/second.log" ||
    fail "the second launch beside a stopped instance exited with $?: $(cat "$work/second.log")"
grep -q "does not answer yet" "$work/second.log" ||
    fail "the second launch did not say the first was not answering: $(cat "$work/second.log")"
grep -q "Document window opened" "$work/second.log" &&
    fail "the second launch opened a window of its own: $(cat "$work/second.log")"
kill -CONT "$first"
wait_for_log "Document window opened for $work/b (2 open)"
kill "$first"
wait "$first" 2>/dev/null || true
first=""
echo "single instance test: handed over by D-Bus and by the local socket, a stopped instance kept its socket"
