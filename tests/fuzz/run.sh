#!/bin/sh
# Builds a fuzz target with clang's libFuzzer (ASan + UBSan) and runs it for a bounded time.
# Usage: tests/fuzz/run.sh [frame|tcp_reply] [SECONDS] [WORK_FOLDER]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
target=${1:-frame}
seconds=${2:-60}
out=${3:-${TMPDIR:-/tmp}/kalvo-fuzz}/$target
mkdir -p "$out/corpus"
case "$target" in
frame)
    sources="src/modbus_serial/frame_codec.cpp src/modbus_serial/modbus_buffer.cpp
             src/modbus_serial/modbus_checks.cpp src/modbus_serial/brindel_error.cpp"
    max_len=600
    ;;
tcp_reply)
    sources="src/modbus_tcp/id_modbus_client.cpp src/modbus_tcp/tcp_frame_codec.cpp
             src/modbus_tcp/tcp_connection.cpp
             src/modbus_tcp/tcp_error.cpp src/modbus_tcp/host_resolver.cpp"
    max_len=300
    # A good reply of two registers, and one of another transaction.
    printf '\001\001\000\001\000\000\000\007\377\003\004\022\064\126\170' >"$out/corpus/good"
    printf '\001\000\000\002\000\000\000\007\377\003\004\022\064\126\170' >"$out/corpus/other"
    ;;
*)
    echo "unknown fuzz target '$target'" >&2
    exit 2
    ;;
esac
cd "$root"
# shellcheck disable=SC2086
clang++-14 -std=c++20 -g -O1 -pthread -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined -Isrc "tests/fuzz/${target}_fuzz.cpp" $sources \
    -o "$out/${target}_fuzz"
"$out/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
    "$out/corpus"
