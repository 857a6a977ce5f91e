#!/bin/sh
# Installs the Debian packages of deps/debian-packages.txt that are missing.
# Idempotent: with everything present it touches neither apt's lists nor the system.
set -eu

list="$(dirname "$0")/debian-packages.txt"
missing=""
for pkg in $(sed -e 's/#.*//' "$list"); do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *" installed") ;;
        *) missing="$missing $pkg" ;;
    esac
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    run=""
else
    run="sudo"
fi

echo "deps: installing$missing" >&2
# Packages of another architecture (name:arch) need that architecture in dpkg's list.
for arch in $(printf '%s\n' $missing | sed -n 's/^[^:]*:\(.*\)$/\1/p' | sort -u); do
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $run dpkg --add-architecture "$arch"
    fi
done
$run apt-get update -q
$run env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
