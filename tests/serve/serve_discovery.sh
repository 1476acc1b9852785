#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `lxi discover -m` finds `selkoran-cli serve` through an Avahi daemon of the test's own. Avahi
# announces on no loopback interface, so everything runs in a network namespace of its own with
# a dummy interface, a D-Bus system bus and an Avahi daemon started here with their own
# configuration and a private /run, and stopped by process id. Exit code 77 (a skip, with the
# reason) where that cannot be made.
# Usage: serve_discovery.sh SELKORAN_CLI
set -euo pipefail
cli=$1

skip() {
  echo "SKIP: $*"
  exit 77
}

if [ "${SELKORAN_DISCOVERY_NAMESPACE:-}" != 1 ]; then
  [ "$(id -u)" -eq 0 ] || skip "a network namespace needs root"
  for tool in unshare ip dbus-daemon avahi-daemon lxi; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup installs it)"
  done
  unshare --net --mount true 2>/dev/null || skip "this machine gives no network namespace"
  exec unshare --net --mount --fork env SELKORAN_DISCOVERY_NAMESPACE=1 "$0" "$@"
fi

work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap finish EXIT

# A private /run for the daemons' files, and one interface that carries multicast.
mount --make-rprivate /
mount -t tmpfs tmpfs /run
mkdir -p /run/avahi-daemon
ip link set lo up
# A dummy interface, or where the kernel has none a pair of virtual Ethernet ends.
if ! ip link add selk0 type dummy 2>/dev/null; then
  ip link add selk0 type veth peer name selk1 2>/dev/null || skip "no dummy or veth interface"
  ip link set selk1 up
fi
ip link set selk0 multicast on up
ip addr add 192.0.2.1/24 dev selk0

cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
cat >"$work/avahi.conf" <<CONF
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=selk0
enable-dbus=yes
[publish]
publish-workstation=no
publish-hinfo=no
CONF

# Starts `selkoran-cli serve` with the given options; sets `port` from its line.
serve() {
  local err=$1
  shift
  : >"$err"
  "$cli" serve --port 0 --no-http "$@" 2>>"$err" &
  pids+=($!)
  port=""
  for _ in $(seq 50); do
    port=$(sed -n 's/.*ポート \([0-9]*\) で待ち受けています.*/\1/p' "$err")
    [ -n "$port" ] && return
    sleep 0.1
  done
  cat "$err"
  echo "FAIL: the server did not start"
  exit 1
}
# Fails unless `lxi discover -m` lists every name given, within three tries.
discover() {
  local found
  for _ in 1 2 3; do
    found=$(lxi discover -m -t 3 2>&1 || true)
    local missing=0
    for name in "$@"; do grep -q "Found \"$name\"" <<<"$found" || missing=1; done
    [ "$missing" = 0 ] && { echo "$found"; return; }
  done
  echo "$found"
  cat "$work"/*.err
  echo "FAIL: lxi discover -m did not find $*"
  exit 1
}
said() {
  grep -q "$2" "$1" || { cat "$1"; echo "FAIL: no line '$2'"; exit 1; }
}
start_avahi() {
  avahi-daemon -f "$work/avahi.conf" --no-drop-root --no-chroot --no-rlimits 2>>"$work/avahi.err" &
  avahi=$!
  pids+=($avahi)
  for _ in $(seq 100); do [ -S /run/avahi-daemon/socket ] && return; sleep 0.1; done
  cat "$work/avahi.err"
  skip "the Avahi daemon did not start"
}

export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus
# Without any message bus the server says so in one line and serves all the same.
serve "$work/nobus.err" --device sim
said "$work/nobus.err" "Avahi に接続できないため、ネットワークへの告知はしません（Avahi のデーモンが動いていません）"

dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile 2>"$work/bus.err" &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
# Started before Avahi: one line, and the announcement once Avahi runs.
serve "$work/early.err" --device sim --listen 0.0.0.0
said "$work/early.err" "Avahi が動いていないため、ネットワークへの告知は Avahi が動き出してからにします"
start_avahi
serve "$work/serve.err" --device sim:serial=FT7SIM01 --listen 0.0.0.0
discover "SELKORAN 0" "SELKORAN FT7SIM01"
grep -q "scpi-raw service on port $port" <<<"$(lxi discover -m -t 3 2>&1)" ||
  { echo "FAIL: not discovered on port $port"; exit 1; }
# A restarted Avahi gets the announcement again.
kill "$avahi"
wait "$avahi" 2>/dev/null || true
start_avahi
discover "SELKORAN FT7SIM01"
if grep -q "告知ができません" "$work/serve.err"; then
  cat "$work/serve.err"
  echo "FAIL: the announcement failed"
  exit 1
fi
echo "PASS: lxi discover -m found the instruments, also after Avahi restarted"
