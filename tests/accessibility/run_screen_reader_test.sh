#!/usr/bin/env bash
# Runs screen_reader_test.py on a session bus and an X display of its own, with the AT-SPI bus
# that the session bus starts on demand.
#   run_screen_reader_test.sh TESSERA-BINARY
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x900x24" \
    /usr/bin/python3 "$here/screen_reader_test.py" "$1"
