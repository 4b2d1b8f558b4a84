# Sourced by the demo and screenshot scripts: start_server BIN [ARGS...] starts the reference
# alert server on a free port of 127.0.0.1 with a temporary data folder, stops it and removes
# the folder when the script exits, and sets $address to where it listens.
start_server() {
  local bin=$1
  shift
  work=$(mktemp -d)
  "$bin/kestrova-alertd" --port 0 --data "$work" "$@" >"$work/stdout" 2>"$work/server.log" &
  server=$!
  trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 1 100); do
    grep -q '^listening on ' "$work/stdout" 2>/dev/null && break
    kill -0 "$server" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
    sleep 0.1
  done
  address=$(sed -n 's/^listening on //p' "$work/stdout")
}
