#!/usr/bin/env bash
# The demo: starts the reference alert server on 127.0.0.1 (a free port) and, when a display is
# present, the Qt host example with two live alert windows and a status window; without a
# display it follows the live alerts with kvtail instead. Closing the host (or Ctrl-C) stops
# both. Extra arguments go to kvtail (e.g. --format json). Only kvtail's alerts go to stdout;
# KV_BIN_DIR names the programs' folder (default build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${KV_BIN_DIR:-build/bin}
. scripts/reference-server.sh
start_server "$bin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "kestrova-alertd is listening on $address; the Qt host shows its alerts (close it to stop)." >&2
  "$bin/qt-host" --user demo --password demo "$address"
else
  echo "kestrova-alertd is listening on $address; kvtail follows its alerts (Ctrl-C stops)." >&2
  echo "(No display: with DISPLAY set, make demo shows the Qt host's alert windows instead.)" >&2
  KESTROVA_PASSWORD=demo "$bin/kvtail" --server "$address" --user demo "$@"
fi
