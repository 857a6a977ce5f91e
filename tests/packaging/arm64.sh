#!/bin/sh
# The tools for 64-bit ARM: cross-built with Debian's cross compiler, the arm64 kalvo-poll
# reading the arm64 kalvo-sim under qemu-user prints the bytes the native pair prints and
# serves the module's metrics, and the arm64 package passes lintian with the native tools
# package's dependencies.
# Usage: arm64.sh SOURCE_DIR BUILD_DIR VERSION (the cross build goes to BUILD_DIR/arm64)
set -eu
src=$1
build=$2
version=$3
cross=$build/arm64
work=$(mktemp -d)
sim=
poll=
# What is still running when the script ends, passed or not, must end with it: a leftover
# holds the test runner's output open.
trap 'kill $sim $poll 2>/dev/null || true; rm -rf "$work"' EXIT

cmake -S "$src" -B "$cross" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/aarch64-linux-gnu.cmake" \
    -DKALVO_BUILD_GUI=OFF -DKALVO_BUILD_TESTS=OFF -DKALVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$cross" >/dev/null

# Starts a kalvo-sim serving the fixed image: $1 a name for its banner's file, $2 the folder
# of the tools' build folders, the rest how to run a program (the emulator, if any). Sets
# $sim (its process) and $port.
start_sim() {
    name=$1
    tools=$2
    shift 2
    "$@" "$tools/kalvo-sim/kalvo-sim" --listen 127.0.0.1:0 \
        --fixed "$src/tests/e2e/data/fixed_image.txt" >"$work/$name.sim" &
    sim=$!
    tries=0
    until grep -q "127.0.0.1:" "$work/$name.sim"; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ]; then
            echo "$name: kalvo-sim did not start" >&2
            exit 1
        fi
        sleep 0.1
    done
    port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/$name.sim" | head -n 1)
}

# $1: a name for the files; the rest as for start_sim.
poll_fixed_image() {
    name=$1
    tools=$2
    start_sim "$@"
    shift 2
    for format in table csv json; do
        "$@" "$tools/kalvo-poll/kalvo-poll" --tcp "127.0.0.1:$port" --format $format \
            >"$work/$name.$format" 2>/dev/null
    done
    kill $sim
    wait $sim || true
}

poll_fixed_image native "$build/tools"
poll_fixed_image arm64 "$cross/tools" qemu-aarch64 -L /
# The statistics carry the times of the last request and response.
for name in native arm64; do
    sed -i -E 's/"last(Request|Response)Ms": [0-9]+/"last\1Ms": TIME/g' "$work/$name.json"
done
for format in table csv json; do
    cmp "$work/native.$format" "$work/arm64.$format"
done
file "$cross/tools/kalvo-poll/kalvo-poll" | grep -q "ARM aarch64"

# The metrics endpoint of the arm64 kalvo-poll, polling the native kalvo-sim.
start_sim endpoint "$build/tools"
qemu-aarch64 -L / "$cross/tools/kalvo-poll/kalvo-poll" --tcp "127.0.0.1:$port" \
    --interval 200 --metrics-listen 127.0.0.1:0 2>"$work/endpoint.poll" &
poll=$!
python3 - "$work/endpoint.poll" <<'PY'
import re, sys, time, urllib.request
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    found = re.search(r"http://(127\.0\.0\.1:\d+)/metrics", open(sys.argv[1]).read())
    if found:
        try:
            text = urllib.request.urlopen("http://%s/metrics" % found.group(1), timeout=10).read()
            if re.search(rb"^kalvo_up\{[^}]*\} 1$", text, re.M):
                sys.exit(0)
        except OSError:
            pass
    time.sleep(0.2)
sys.exit("the arm64 kalvo-poll served no module that is up")
PY
kill -TERM $poll
wait $poll
kill $sim
wait $sim || true

(cd "$cross" && cpack --config CPackConfig.cmake -B "$work/arm64-package" >/dev/null)
(cd "$build" && cpack --config CPackConfig.cmake -D CPACK_COMPONENTS_ALL=tools \
    -B "$work/native-package" >/dev/null)
arm64=$work/arm64-package/kalvo-tools_${version}_arm64.deb
lintian --fail-on error,warning "$arm64"
native=$(dpkg-deb -f "$work/native-package/kalvo-tools_${version}_amd64.deb" Depends)
if [ "$(dpkg-deb -f "$arm64" Depends)" != "$native" ]; then
    echo "arm64 tools depend on '$(dpkg-deb -f "$arm64" Depends)', amd64 ones on '$native'" >&2
    exit 1
fi
echo "arm64 tools: same output under qemu, package clean"
