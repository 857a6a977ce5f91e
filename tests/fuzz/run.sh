#!/bin/sh
# Builds the frame decoder fuzz target with clang's libFuzzer (ASan + UBSan) and runs it for
# a bounded time. Usage: tests/fuzz/run.sh [SECONDS]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${TMPDIR:-/tmp}/kalvo-fuzz
mkdir -p "$out/corpus"
clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I"$root/src" \
    "$root/tests/fuzz/frame_fuzz.cpp" "$root/src/modbus_serial/frame_codec.cpp" \
    "$root/src/modbus_serial/modbus_buffer.cpp" "$root/src/modbus_serial/modbus_checks.cpp" \
    "$root/src/modbus_serial/brindel_error.cpp" -o "$out/frame_fuzz"
"$out/frame_fuzz" -max_total_time="${1:-60}" -max_len=600 "$out/corpus"
