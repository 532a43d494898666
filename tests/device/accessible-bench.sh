#!/usr/bin/env bash
# The device benchmark's journal run as an installer with a screen reader has it: a real X server,
# a session bus, and Qt's accessibility bridge on (it then sends every change of the journal's view
# over the accessibility bus, here the session bus).
#   accessible-bench.sh DEVICE_BENCH
set -euo pipefail
bench=$1
exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash -c '
  export AT_SPI_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
  exec "$0" --gtest_filter="*Journal*"' "$bench"
