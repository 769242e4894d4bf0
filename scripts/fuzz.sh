#!/usr/bin/env bash
# Builds the libFuzzer target of the version-resource reader (tests/fuzz/PeVersionFuzz.cpp)
# with clang's address and undefined-behaviour sanitizers and runs it.
#
# Usage: scripts/fuzz.sh [seconds]      (default 60)
#
# Environment:
#   FUZZ_BUILD_DIR  build and scratch directory (default /tmp/cobaltline-fuzz); the working
#                   corpus lives in $FUZZ_BUILD_DIR/corpus and grows from run to run
#   FUZZ_CXX        compiler (default clang++-14, else clang++)
#   FUZZ_MAX_LEN    largest input tried, in bytes (default 72000: a whole 64 KiB version block)
#
# The fixture DLLs and the malformed files seed the corpus; they are copied, never written.
# Exits non-zero when the build fails or the fuzzer finds anything (crash, sanitizer report,
# timeout, memory blow-up); the input that did it is left in $FUZZ_BUILD_DIR/artifacts/.
set -euo pipefail

seconds="${1:-60}"

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 [seconds]" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-/tmp/cobaltline-fuzz}"
maxLen="${FUZZ_MAX_LEN:-72000}"

cxx="${FUZZ_CXX:-}"
if [ -z "$cxx" ]; then
    if command -v clang++-14 > /dev/null; then cxx=clang++-14; else cxx=clang++; fi
fi

mkdir -p "$build/corpus" "$build/artifacts"

echo "== building $build/PeVersionFuzz with $cxx"
nice -n 10 "$cxx" -std=c++17 -g -O1 -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root/src" \
    "$root/tests/fuzz/PeVersionFuzz.cpp" \
    "$root/src/pe/PeFileSource.cpp" \
    "$root/src/pe/PeMemorySource.cpp" \
    "$root/src/pe/PeImage.cpp" \
    "$root/src/pe/PeVersionReader.cpp" \
    "$root/src/pe/BestFit1252Table.cpp" \
    -o "$build/PeVersionFuzz"

# Seeds: every fixture file, under a name that keeps fixtures from different folders apart.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
count=0

for dir in "$root/tests/fixtures/plugins" "$root/tests/fixtures/malformed"; do
    [ -d "$dir" ] || continue

    while IFS= read -r -d '' file; do
        name="$(printf '%s' "${file#"$root"/}" | tr '/ ' '__')"
        cp -- "$file" "$seeds/$name"
        count=$((count + 1))
    done < <(find "$dir" -type f -iname '*.dll' -print0)
done

echo "== $count seed files; running for ${seconds}s"

cd "$build"
status=0
ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
nice -n 10 "$build/PeVersionFuzz" \
    -max_total_time="$seconds" \
    -max_len="$maxLen" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -dict="$root/tests/fuzz/pe-version.dict" \
    -artifact_prefix="$build/artifacts/" \
    -print_final_stats=1 \
    "$build/corpus" "$seeds" || status=$?

if [ "$status" -ne 0 ]; then
    echo "== fuzzer finding (exit $status); inputs in $build/artifacts/" >&2
    exit "$status"
fi

echo "== no findings"
