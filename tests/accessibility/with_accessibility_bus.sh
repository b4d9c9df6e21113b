#!/usr/bin/env bash
# Runs a command with the session's accessibility bus up, as a screen reader brings it up: Qt
# turns its AT-SPI bridge on only once the bus is there. Runs under dbus-run-session.
#   with_accessibility_bus.sh COMMAND [ARGUMENT...]
set -euo pipefail
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null
exec "$@"
