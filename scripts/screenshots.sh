#!/usr/bin/env bash
# Screenshots of the alert windows as a user sees them: starts the reference alert server on
# 127.0.0.1 (a free port) and leaves PNG pictures in the output directory (default
# /tmp/kv-screens).
#   --qt-host   runs the Qt host example (the library loaded as a host loads it) on a virtual X
#               server and saves qt-host.png (its main window) and qt-host-menu.png (an alert
#               window's context menu open); --menu-item N picks the sub-menu shown (default 6).
#   otherwise   runs kvshot, one alert window per scene, on the offscreen platform unless --xvfb
#               is given; other arguments go to kvshot, e.g.
#   --rate R    sets the server's alerts per second (default 40).
#   scripts/screenshots.sh --out /tmp/shots --wait 8 --click --scene mine=C,1,3,60,0,2,20,31,1,0
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
use_xvfb=0
rate=40
qt_host=0
out=/tmp/kv-screens
args=()
host_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --xvfb) use_xvfb=1 ;;
    --qt-host) qt_host=1 ;;
    --rate) rate=$2; shift ;;
    --out) out=$2; args+=("$1" "$2"); shift ;;
    --menu-item|--wait) host_args+=("$1" "$2"); args+=("$1" "$2"); shift ;;
    *) args+=("$1") ;;
  esac
  shift
done
. scripts/reference-server.sh
start_server "$bin" --rate "$rate"
if [ "$qt_host" = 1 ]; then
  XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/kv-runtime} xvfb-run -a -s "-screen 0 1600x1200x24" \
    "$bin/qt-host" --shots "$out" "${host_args[@]}" "$address" | grep -v '^alert '
elif [ "$use_xvfb" = 1 ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/kvshot" --server "$address" "${args[@]}"
else
  QT_QPA_PLATFORM=offscreen "$bin/kvshot" --server "$address" "${args[@]}"
fi
