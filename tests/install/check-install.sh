#!/usr/bin/env bash
# Installs a build tree into a temporary prefix and checks it as a user would: the header, the
# library and its SONAME links, every tool's --version, then a small C program built and run
# against the installed tree, found once by CMake's find_package and once by pkg-config.
#   check-install.sh BUILD_DIR CONSUMER_SOURCE_DIR [EXTRA_C_FLAGS]
set -euo pipefail
build=$1
consumer=$2
cflags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
header=$prefix/include/kestrova/KestrovaAlerts.h
[ -f "$header" ] || fail "no header"
version=$(sed -n 's/^#define KV_VERSION_STRING "\(.*\)"$/\1/p' "$header")
major=${version%%.*}
[ -n "$version" ] || fail "no version in the installed header"

pc=$(find "$prefix" -name kestrova-alerts.pc)
[ -n "$pc" ] || fail "no kestrova-alerts.pc"
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir kestrova-alerts)
[ "$(pkg-config --modversion kestrova-alerts)" = "$version" ] || fail "pkg-config version"
[ -L "$libdir/libKestrovaAlerts.so" ] || fail "no libKestrovaAlerts.so link in $libdir"
[ -L "$libdir/libKestrovaAlerts.so.$major" ] || fail "no libKestrovaAlerts.so.$major link"
[ -f "$libdir/libKestrovaAlerts.so.$version" ] || fail "no libKestrovaAlerts.so.$version"
soname=$(objdump -p "$libdir/libKestrovaAlerts.so.$version" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = "libKestrovaAlerts.so.$major" ] || fail "SONAME is '$soname'"
[ -f "$libdir/cmake/KestrovaAlerts/KestrovaAlertsConfig.cmake" ] || fail "no CMake package"

# The tools users run, and nothing else (not the example hosts, not the benchmarks).
[ "$(ls "$prefix/bin" | tr '\n' ' ')" = "kestrova-alertd kvshot kvtail " ] \
  || fail "installed tools: $(ls "$prefix/bin" | tr '\n' ' ')"
for tool in kvtail kvshot kestrova-alertd; do
  [ "$("$prefix/bin/$tool" --version)" = "$tool $version" ] || fail "installed $tool --version"
done
for tool in kvtail kestrova-alertd alertd_load alertd_hold c-host qt-host kvshot; do
  [ -x "$build/bin/$tool" ] || continue
  [ "$("$build/bin/$tool" --version | head -1)" = "$tool $version" ] || fail "$tool --version"
done
# The example hosts also name the library they load.
for tool in c-host qt-host; do
  [ -x "$build/bin/$tool" ] || continue
  [ "$("$build/bin/$tool" --version | sed -n 2p)" = "library $version" ] || fail "$tool library"
done

# With CMake.
cmake -S "$consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$cflags" >/dev/null
cmake --build "$work/cmake" >/dev/null
[ "$("$work/cmake/consumer")" = "KestrovaAlerts $version" ] || fail "the CMake consumer"

# With pkg-config.
# shellcheck disable=SC2046
cc $cflags "$consumer/main.c" $(pkg-config --cflags --libs kestrova-alerts) \
  -Wl,-rpath,"$libdir" -o "$work/pkgconfig-consumer"
[ "$("$work/pkgconfig-consumer")" = "KestrovaAlerts $version" ] || fail "the pkg-config consumer"
echo "installed and consumed KestrovaAlerts $version"
