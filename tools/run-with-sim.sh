#!/bin/sh
# Starts the simulated module (Modbus/TCP on 127.0.0.1:1502, and Modbus RTU on a
# pseudo-terminal in the virtual serial port folder), then the client set up for it (on its
# first start), and stops the simulator when the client exits. Without a display it polls
# the simulator once with kalvo-poll and prints the decoded tables instead.
# Usage: tools/run-with-sim.sh [BUILD_DIR]
set -eu

build=${1:-build}
port=1502
sim="$build/tools/kalvo-sim/kalvo-sim"
banner=$(mktemp)

"$sim" --listen "127.0.0.1:$port" --events >"$banner" &
sim_pid=$!
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    rtu_link="$XDG_RUNTIME_DIR/kalvo-serial/kalvo-sim"
else
    rtu_link="/tmp/kalvo-serial-$(id -u)/kalvo-sim"
fi
"$sim" --rtu "$rtu_link" --events &
rtu_pid=$!
trap 'kill "$sim_pid" "$rtu_pid" 2>/dev/null || true; wait "$sim_pid" "$rtu_pid" 2>/dev/null || true; rm -f "$banner"' EXIT
trap 'exit 130' INT TERM

tries=0
until [ -s "$banner" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null || [ "$tries" -ge 50 ]; then
        echo "The simulated module did not start (is port $port in use?)." >&2
        exit 1
    fi
    tries=$((tries + 1))
    sleep 0.1
done
cat "$banner"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: polling the simulated module with kalvo-poll instead of starting the client."
    "$build/tools/kalvo-poll/kalvo-poll" --tcp "127.0.0.1:$port" --step --interval 100 --format table
    exit
fi

# The client keeps its settings beside itself, or in the user's config folder when it cannot.
app_dir="$build/src/app"
if [ -w "$app_dir" ]; then
    ini="$app_dir/kalvo-client.ini"
else
    ini="${XDG_CONFIG_HOME:-$HOME/.config}/kalvo-client.ini"
    mkdir -p "$(dirname "$ini")"
fi
if [ ! -e "$ini" ]; then
    printf '[Config]\nTCPAddress=127.0.0.1\nTCPPort=%s\nUsingTCP=1\nSerialCOM=%s\n' "$port" "$rtu_link" >"$ini"
    echo "Set the client up for the simulated module in $ini."
fi
"$app_dir/kalvo-client"
