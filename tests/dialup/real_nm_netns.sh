#!/bin/sh
# Runs as `unshare -n -m --propagation private real_nm_netns.sh DIR`: NetworkManager in a network
# namespace of its own, managing a veth pair v0/v1 (v0 has carrier while v1 is up), on the bus
# and with the configuration that the test fixture put in DIR. Nothing of the host is touched.
set -e
D=$1
# A read-only sysfs makes NetworkManager run without udev; with a writable one no device is ever
# managed.
mount -t sysfs -o ro sysfs /sys
# Run and state files live at fixed places: private ones.
mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p "$D/lib" && mount --bind "$D/lib" /var/lib/NetworkManager
ip link set lo up
ip link add v0 type veth peer name v1
ip link set v1 up
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$D/system_bus_socket"
exec /usr/sbin/NetworkManager --no-daemon \
  --config="$D/nm.conf" --config-dir="$D/conf.d" --system-config-dir="$D/conf.d" \
  --intern-config="$D/lib/NetworkManager-intern.conf" --state-file="$D/lib/NetworkManager.state" \
  --pid-file=/run/NetworkManager/NetworkManager.pid
