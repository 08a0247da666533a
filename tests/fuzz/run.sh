#!/bin/sh
# Builds the state-chunk fuzz target with clang (libFuzzer, ASan, UBSan) and runs it for a
# bounded time on the seed corpus. Exit status 0: no finding.
#
# usage: tests/fuzz/run.sh [seconds (default 60)] [build folder (default build-fuzz)]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
build=${2:-$here/../../build-fuzz}

mkdir -p "$build"
CC=${FUZZ_CC:-clang} CXX=${FUZZ_CXX:-clang++} \
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"${FUZZ_JOBS:-3}"

# New inputs go to a working corpus beside the build; the committed seeds are read only.
mkdir -p "$build/corpus" "$build/artifacts"
exec "$build/state_chunk_fuzz_artefacts/RelWithDebInfo/state_chunk_fuzz" \
    -max_total_time="$seconds" \
    -max_len=70000 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" \
    "$build/corpus" "$here/corpus"
