#!/usr/bin/env bash
# Builds a libFuzzer target with clang's address and undefined-behaviour
# sanitizers and runs it:
#   pe   the version-resource reader (tests/fuzz/PeVersionFuzz.cpp), seeded with the fixture DLLs
#   xml  the XML reader (tests/fuzz/XmlReaderFuzz.cpp), seeded with tests/fuzz/xml-seeds
#
# Usage: scripts/fuzz.sh [pe|xml] [seconds]      (defaults: pe, 60)
#
# Environment:
#   FUZZ_BUILD_DIR  build and scratch directory (default /tmp/cobaltline-fuzz); each target's
#                   working corpus lives in $FUZZ_BUILD_DIR/<target>/corpus and grows from run to run
#   FUZZ_CXX        compiler (default clang++-14, else clang++)
#   FUZZ_MAX_LEN    largest input tried, in bytes (pe: 72000, a whole 64 KiB version block;
#                   xml: 65536)
#
# Seeds are copied, never written. Exits non-zero when the build fails or the fuzzer finds
# anything (crash, sanitizer report, timeout, memory blow-up); the input that did it is left
# in $FUZZ_BUILD_DIR/<target>/artifacts/.
set -euo pipefail

target=pe

if [[ "${1:-}" == pe || "${1:-}" == xml ]]; then
    target="$1"
    shift
fi

seconds="${1:-60}"

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 [pe|xml] [seconds]" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-/tmp/cobaltline-fuzz}/$target"

cxx="${FUZZ_CXX:-}"
if [ -z "$cxx" ]; then
    if command -v clang++-14 > /dev/null; then cxx=clang++-14; else cxx=clang++; fi
fi

mkdir -p "$build/corpus" "$build/artifacts"
sanitize=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"

# Copies every file under the given folders that matches the pattern into the seeds,
# under a name that keeps files from different folders apart.
addSeeds()
{
    local pattern="$1" dir file name
    shift

    for dir in "$@"; do
        [ -d "$dir" ] || continue

        while IFS= read -r -d '' file; do
            name="$(printf '%s' "${file#"$root"/}" | tr '/ ' '__')"
            cp -- "$file" "$seeds/$name"
        done < <(find "$dir" -type f -iname "$pattern" -print0)
    done
}

case "$target" in
pe)
    binary="$build/PeVersionFuzz"
    maxLen="${FUZZ_MAX_LEN:-72000}"
    dict="$root/tests/fuzz/pe-version.dict"

    echo "== building $binary with $cxx"
    nice -n 10 "$cxx" -std=c++17 -g -O1 -fno-omit-frame-pointer "${sanitize[@]}" \
        -I"$root/src" \
        "$root/tests/fuzz/PeVersionFuzz.cpp" \
        "$root/src/pe/PeFileSource.cpp" \
        "$root/src/pe/PeMemorySource.cpp" \
        "$root/src/pe/PeImage.cpp" \
        "$root/src/pe/PeVersionReader.cpp" \
        "$root/src/pe/BestFit1252Table.cpp" \
        -o "$binary"

    addSeeds '*.dll' "$root/tests/fixtures/plugins" "$root/tests/fixtures/malformed"
    ;;
xml)
    binary="$build/XmlReaderFuzz"
    maxLen="${FUZZ_MAX_LEN:-65536}"
    dict="$root/tests/fuzz/xml.dict"
    juce=(-DJUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1 -DJUCE_STANDALONE_APPLICATION=0
          -DJUCE_MODULE_AVAILABLE_juce_core=1 -DJUCE_USE_CURL=0 -I/usr/share/juce/modules)

    # JUCE itself is compiled once and kept: instrumented for coverage and
    # addresses, but without the undefined-behaviour checks, which are
    # meant for the project's own code.
    jucecore="$build/juce_core.o"
    if [ ! -f "$jucecore" ]; then
        echo "== building $jucecore with $cxx (once)"
        nice -n 10 "$cxx" -std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address \
            "${juce[@]}" -c /usr/share/juce/modules/juce_core/juce_core.cpp -o "$jucecore.tmp"
        mv "$jucecore.tmp" "$jucecore"
    fi

    echo "== building $binary with $cxx"
    nice -n 10 "$cxx" -std=c++17 -g -O1 -fno-omit-frame-pointer "${sanitize[@]}" \
        "${juce[@]}" -I"$root/src" \
        "$root/tests/fuzz/XmlReaderFuzz.cpp" \
        "$root/src/core/xml/SafeXml.cpp" \
        "$root/src/xmlrefs/ReferenceFilter.cpp" \
        "$root/src/pe/PeFileSource.cpp" \
        "$jucecore" -lexpat -lz -lpthread -ldl -lrt \
        -o "$binary"

    addSeeds '*' "$root/tests/fuzz/xml-seeds"
    ;;
esac

echo "== $(find "$seeds" -type f | wc -l) seed files; running for ${seconds}s"

cd "$build"
status=0
ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
nice -n 10 "$binary" \
    -max_total_time="$seconds" \
    -max_len="$maxLen" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -dict="$dict" \
    -artifact_prefix="$build/artifacts/" \
    -print_final_stats=1 \
    "$build/corpus" "$seeds" || status=$?

if [ "$status" -ne 0 ]; then
    echo "== fuzzer finding (exit $status); inputs in $build/artifacts/" >&2
    exit "$status"
fi

echo "== no findings"
