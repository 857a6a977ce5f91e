#!/bin/sh
# Start to first window and resident memory after start: the client against an empty Qt
# Widgets window, interleaved, on a private X server. Prints each run and the medians.
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

# $1: program, $2: its window's title. Prints milliseconds to the window and RSS in MB.
measure() {
    start=$(date +%s%N)
    "$1" >/dev/null 2>&1 &
    pid=$!
    # xdotool's own --sync looks only every half second.
    until xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do
        sleep 0.002
    done
    shown=$(date +%s%N)
    sleep 2
    rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
    kill $pid
    wait $pid 2>/dev/null || true
    echo "$(( (shown - start) / 1000000 )) $(( rss / 1024 ))"
}

: >/tmp/kalvo_start_minimal
: >/tmp/kalvo_start_client
for round in $(seq "$rounds"); do
    measure "$build/bench/kalvo_minimal_window" "KALVO minimal window" >>/tmp/kalvo_start_minimal
    measure "$build/src/app/kalvo-client" "Modbus module KALVO" >>/tmp/kalvo_start_client
done
median() {
    sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}
for which in minimal client; do
    ms=$(cut -d' ' -f1 /tmp/kalvo_start_$which | median)
    mb=$(cut -d' ' -f2 /tmp/kalvo_start_$which | median)
    echo "$which: start to window ${ms} ms, RSS ${mb} MB (medians of $rounds)"
done
