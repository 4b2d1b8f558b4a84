#!/usr/bin/env bash
# Screenshots of the alert windows as a user sees them: starts the reference alert server on
# 127.0.0.1 (a free port), runs kvshot against it and leaves one PNG per scene in the output
# directory (default /tmp/kv-screens). The offscreen platform is used unless --xvfb is given
# (then the windows run on a virtual X server); --rate R sets the server's alerts per second
# (default 40). Other arguments go to kvshot, e.g.
#   scripts/screenshots.sh --out /tmp/shots --wait 8 --click --scene mine=C,1,3,60,0,2,20,31,1,0
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
use_xvfb=0
rate=40
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --xvfb) use_xvfb=1 ;;
    --rate) rate=$2; shift ;;
    *) args+=("$1") ;;
  esac
  shift
done
work=$(mktemp -d)
"$bin/kestrova-alertd" --port 0 --rate "$rate" --data "$work" >"$work/stdout" 2>"$work/server.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  grep -q '^listening on ' "$work/stdout" 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
  sleep 0.1
done
address=$(sed -n 's/^listening on //p' "$work/stdout")
if [ "$use_xvfb" = 1 ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/kvshot" --server "$address" "${args[@]}"
else
  QT_QPA_PLATFORM=offscreen "$bin/kvshot" --server "$address" "${args[@]}"
fi
