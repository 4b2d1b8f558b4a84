#!/usr/bin/env bash
# The demo: starts the reference alert server on 127.0.0.1 (a free port) and follows its live
# alerts with kvtail. Ctrl-C stops both. Extra arguments go to kvtail (e.g. --format json).
# Only kvtail's alerts go to stdout; KV_BIN_DIR names the programs' folder (default build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${KV_BIN_DIR:-build/bin}
work=$(mktemp -d)
"$bin/kestrova-alertd" --port 0 --data "$work" >"$work/stdout" 2>"$work/server.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  grep -q '^listening on ' "$work/stdout" 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
  sleep 0.1
done
address=$(sed -n 's/^listening on //p' "$work/stdout")
echo "kestrova-alertd is listening on $address; kvtail follows its alerts (Ctrl-C stops)." >&2
KESTROVA_PASSWORD=demo "$bin/kvtail" --server "$address" --user demo "$@"
