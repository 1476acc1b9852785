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

# Without a daemon the server says so in one line and serves all the same.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus
"$cli" serve --device sim --port 0 2>"$work/alone.err" &
pids+=($!)
for _ in $(seq 50); do grep -q "待ち受けています" "$work/alone.err" && break; sleep 0.1; done
grep -q "Avahi が動いていないため、ネットワークへの告知はしません" "$work/alone.err" ||
  { cat "$work/alone.err"; echo "FAIL: no line about the missing Avahi"; exit 1; }

dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile 2>"$work/bus.err" &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
avahi-daemon -f "$work/avahi.conf" --no-drop-root --no-chroot --no-rlimits 2>"$work/avahi.err" &
pids+=($!)
for _ in $(seq 100); do [ -S /run/avahi-daemon/socket ] && break; sleep 0.1; done
[ -S /run/avahi-daemon/socket ] || { cat "$work/avahi.err"; skip "the Avahi daemon did not start"; }

"$cli" serve --device sim:serial=FT7SIM01 --port 0 --listen 0.0.0.0 2>"$work/serve.err" &
pids+=($!)
port=""
for _ in $(seq 50); do
  port=$(sed -n 's/.*ポート \([0-9]*\) で待ち受けています.*/\1/p' "$work/serve.err")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/serve.err"; echo "FAIL: the server did not start"; exit 1; }

found=""
for _ in 1 2 3; do
  found=$(lxi discover -m -t 3 2>&1 || true)
  grep -q "SELKORAN FT7SIM01" <<<"$found" && break
done
echo "$found"
grep -q "SELKORAN FT7SIM01" <<<"$found" || { cat "$work/serve.err"; echo "FAIL: not discovered"; exit 1; }
grep -q "$port" <<<"$found" || { echo "FAIL: discovered without port $port"; exit 1; }
grep -q "告知" "$work/serve.err" && { cat "$work/serve.err"; echo "FAIL: announcement failed"; exit 1; }
echo "PASS: lxi discover -m found the instrument on port $port"
