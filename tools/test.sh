#!/usr/bin/env bash
# The whole test suite: install what it needs, build, run the demo command into a temporary home,
# run every test through ctest, run the editor's tests in a Debug build, build the unit tests with
# clang and fuzz the state-chunk reader, then build the processor's tests with AddressSanitizer +
# UndefinedBehaviorSanitizer and run them too.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BRISALTO_BUILD_DIR:-$root/build}"
asan_build="${BRISALTO_ASAN_BUILD_DIR:-$root/build-asan}"
jobs="${BRISALTO_JOBS:-$(nproc)}"

"$root/tools/install-deps.sh"

# Tests must not depend on the user's desktop, plug-in folders or presets.
unset DISPLAY
export CTEST_OUTPUT_ON_FAILURE=1

echo "=== Release build and the whole suite ==="
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRISALTO_BUILD_TESTS=ON
cmake --build "$build" --parallel "$jobs"

echo "=== The demo command, installing into a temporary home ==="
demo_home="$(mktemp -d)"
trap 'rm -rf "$demo_home"' EXIT
HOME="$demo_home" BRISALTO_BUILD_DIR="$build" BRISALTO_JOBS="$jobs" "$root/tools/demo.sh"

(cd "$build" && ctest --output-on-failure --parallel "$jobs" --timeout 600)

echo "=== Debug editor tests: JUCE's own assertions fail the test ==="
# Only the shared code and the editor tests, built in Debug, where JUCE logs its assertions.
debug_build="${BRISALTO_DEBUG_BUILD_DIR:-$root/build-debug}"
cmake -S "$root" -B "$debug_build" -DCMAKE_BUILD_TYPE=Debug -DBRISALTO_BUILD_TESTS=ON -DBRISALTO_BUILD_BENCH=OFF
cmake --build "$debug_build" --parallel "$jobs" --target brisalto_editor_tests
(cd "$debug_build" && ctest --output-on-failure --parallel "$jobs" --timeout 600 -L editor)

echo "=== clang: the unit tests compile with clang as well; the state-chunk fuzz run ==="
# The unit tests are built, not run (the suites above run them): what GCC accepts and clang does
# not fails here. The fuzz target needs clang's libFuzzer: built here and run for a bounded time.
clang_build="${BRISALTO_CLANG_BUILD_DIR:-$root/build-clang}"
CC=clang CXX=clang++ cmake -S "$root" -B "$clang_build" -DCMAKE_BUILD_TYPE=Release -DBRISALTO_BUILD_TESTS=ON \
      -DBRISALTO_BUILD_BENCH=OFF
cmake --build "$clang_build" --parallel "$jobs" --target brisalto_unit_tests state_chunk_fuzz
(cd "$clang_build" && ctest --output-on-failure --timeout 600 -L fuzz)

echo "=== AddressSanitizer + UndefinedBehaviorSanitizer ==="
# The processor's own test programs (the host tests load the Release bundles and stay out).
# Test programs that do not exist yet are skipped.
cmake -S "$root" -B "$asan_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRISALTO_SANITIZE=ON \
      -DBRISALTO_BUILD_TESTS=ON -DBRISALTO_BUILD_BENCH=OFF
targets=()
available="$(cmake --build "$asan_build" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')"
for target in $(echo "$available" | grep -E '^(brisalto_unit_tests|brisalto_editor_tests|brisalto_stress_tests|brisalto_editor_stress_tests)$' || true); do
    targets+=("$target")
done
if [ ${#targets[@]} -eq 0 ]; then
    echo "test.sh: no sanitizer test target found" >&2
    exit 1
fi
echo "sanitizer targets: ${targets[*]}"
cmake --build "$asan_build" --parallel "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Tests of programs not built here register as *_NOT_BUILT: leave them out.
(cd "$asan_build" && ctest --output-on-failure --parallel "$jobs" --timeout 900 -E '_NOT_BUILT$')

echo "=== ThreadSanitizer: rendering while other threads automate, restore and switch modes ==="
tsan_build="${BRISALTO_TSAN_BUILD_DIR:-$root/build-tsan}"
cmake -S "$root" -B "$tsan_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRISALTO_TSAN=ON \
      -DBRISALTO_BUILD_TESTS=ON -DBRISALTO_BUILD_BENCH=OFF
cmake --build "$tsan_build" --parallel "$jobs" --target brisalto_stress_tests brisalto_editor_stress_tests
(cd "$tsan_build" && ctest --output-on-failure --timeout 900 -L stress)

echo "=== all tests passed ==="
