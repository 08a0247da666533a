#!/bin/sh
# Runs the state-chunk fuzz target (built in a clang build: target state_chunk_fuzz) for a
# bounded time on the seed corpus. Exit status 0: no finding.
#
# usage: tests/fuzz/run.sh <state_chunk_fuzz binary> [seconds (default 60)] [work folder (default .)]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
fuzzer=$1
seconds=${2:-60}
work=${3:-.}

# New inputs go to a working corpus beside the build; the committed seeds are read only.
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" \
    -max_total_time="$seconds" \
    -max_len=70000 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "$here/corpus"
