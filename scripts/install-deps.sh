#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent and quiet; fast when all are present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libgl-dev libxcb1-dev
  zlib1g-dev libcurl4-openssl-dev
  googletest libgmock-dev libgtest-dev libbenchmark-dev
  libgif-dev libmicrohttpd-dev libpugixml-dev
  dante-server tinyproxy binutils
  fonts-dejavu-core xvfb locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The proxies are started by the tests on their own ports; keep the system services from running.
for svc in danted tinyproxy; do
  if command -v systemctl >/dev/null 2>&1; then $sudo systemctl disable --now "$svc" >/dev/null 2>&1 || true; fi
  $sudo service "$svc" stop >/dev/null 2>&1 || true
done
