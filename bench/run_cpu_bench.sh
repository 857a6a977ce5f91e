#!/bin/sh
# The window's CPU during a Run at the shortest interval (200 ms) against kalvo-sim, on each
# tab in turn, on a private X server: the client process's user and system time over the
# time spent on the tab. Usage: bench/run_cpu_bench.sh BUILD_DIR [SECONDS_PER_TAB]
set -eu
build=$1
seconds=${2:-60}
work=$(mktemp -d)
Xvfb :79 -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb=$!
"$build/tools/kalvo-sim/kalvo-sim" --listen 127.0.0.1:0 --events >"$work/sim" &
sim=$!
trap 'kill $xvfb $sim ${client:-} ${http:-} 2>/dev/null || true; rm -rf "$work"' EXIT
# A closed output (| head) or an interrupt still stops what the script started.
trap 'exit 1' HUP INT TERM PIPE
export DISPLAY=:79
sleep 1
port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim")

# A copy of the client keeps its settings beside itself: the simulator, 200 ms, at 0,0.
mkdir "$work/bin"
cp "$build/src/app/kalvo-client" "$work/bin/"
printf '[Config]\nTCPAddress=127.0.0.1\nTCPPort=%s\nUsingTCP=1\nPollingDelayIndex=0\nLeft=0\nTop=0\nWidth=947\nHeigth=660\n' \
    "$port" >"$work/bin/kalvo-client.ini"
"$work/bin/kalvo-client" >/dev/null 2>&1 &
client=$!
tries=0
until xdotool search --onlyvisible --name "Modbus module KALVO" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ $tries -lt 3000 ] || { echo "no window" >&2; exit 1; }
    sleep 0.01
done
sleep 1
ticks() {
    awk '{ print $14 + $15 }' /proc/$client/stat
}
hz=$(getconf CLK_TCK)
# Where the Run button and the tabs are in the window's default layout.
xdotool mousemove 706 49 click 1
[ -z "${KALVO_BENCH_SHOT:-}" ] || { sleep 3; import -window root "$KALVO_BENCH_SHOT"; }
# $1: the tab's x position and name. Prints the client's CPU over the time on it.
measure() {
    x=${1%% *}
    xdotool mousemove "$x" 96 click 1
    sleep 2
    before=$(ticks)
    sleep "$seconds"
    after=$(ticks)
    echo "${1#* }: $(echo "$after $before $hz $seconds" |
        awk '{ printf "%.2f", ($1 - $2) * 100 / ($3 * $4) }') % of a core"
}
for tab in "75 Instantaneous values" "203 Phase values" "329 Load profile" "466 32 bits encoding" \
    "585 Phase diagram" "670 Trend" "732 Checks" "820 Web interface (not navigated)"; do
    measure "$tab"
done
# The module's page (the simulator has none: a page on port 80, which needs root) shown once,
# then the other tabs again: the web view must not make the window dearer.
if python3 -m http.server 80 --bind 127.0.0.1 --directory "$work" >/dev/null 2>&1 & then
    http=$!
    sleep 1
    if kill -0 $http 2>/dev/null; then
        xdotool mousemove 845 49 click 1
        measure "820 Web interface (page shown)"
        measure "75 Instantaneous values (after the web tab)"
        measure "670 Trend (after the web tab)"
        echo "RSS after the web tab: $(awk '/VmRSS/ { print int($2 / 1024) }' /proc/$client/status) MB"
    else
        echo "web tab not measured: no page server on port 80 (needs root)"
    fi
    kill $http 2>/dev/null || true
fi
