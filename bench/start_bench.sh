#!/bin/sh
# Start to first window and resident memory after start: the client without and with its web
# plugin installed, against an empty Qt Widgets window, interleaved, on a private X server.
# Prints the medians.
# Usage: bench/start_bench.sh BUILD_DIR [ROUNDS]
set -eu
build=$1
rounds=${2:-7}
display=:77
Xvfb $display -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display

# $1: program, $2: its window's title, $3: a variable for its environment. Prints
# milliseconds to the window and RSS in MB.
measure() {
    start=$(date +%s%N)
    env "$3" "$1" >/dev/null 2>&1 &
    pid=$!
    # xdotool's own --sync looks only every half second.
    tries=0
    until xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ $tries -gt 5000 ]; then
            echo "$1: no window" >&2
            exit 1
        fi
        sleep 0.002
    done
    shown=$(date +%s%N)
    sleep 2
    rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status 2>/dev/null || echo 0)
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    # The next one must not find this one's window.
    until ! xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do
        sleep 0.01
    done
    echo "$(( (shown - start) / 1000000 )) $(( rss / 1024 ))"
}

: >/tmp/kalvo_start_minimal
: >/tmp/kalvo_start_client
: >/tmp/kalvo_start_client_web
for round in $(seq "$rounds"); do
    measure "$build/bench/kalvo_minimal_window" "KALVO minimal window" X=1 >>/tmp/kalvo_start_minimal
    measure "$build/src/app/kalvo-client" "Modbus module KALVO" KALVO_WEB_PLUGIN=/none \
        >>/tmp/kalvo_start_client
    measure "$build/src/app/kalvo-client" "Modbus module KALVO" X=1 >>/tmp/kalvo_start_client_web
done
median() {
    sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}
for which in minimal client client_web; do
    ms=$(cut -d' ' -f1 /tmp/kalvo_start_$which | median)
    mb=$(cut -d' ' -f2 /tmp/kalvo_start_$which | median)
    echo "$which: start to window ${ms} ms, RSS ${mb} MB (medians of $rounds)"
done
