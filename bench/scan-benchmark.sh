#!/usr/bin/env bash
# Builds and runs the scan benchmark: 5,000 plug-in files in four scan folders
# (some files padded to 120 MB, sparse), the scanner's walk against a plain
# walk that opens each file and reads 4 KiB. Prints files per second, bytes
# read per file, the ratio and peak memory: once with the inventory written
# next to the tree (on disk), once with it on a tmpfs.
#
# Usage: bench/scan-benchmark.sh [NUM_FILES]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
files="${1:-5000}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DCOBALTLINE_BUILD_BENCHMARKS=ON >/dev/null

bench="$(find "$build_dir/bench" -type f -name scan-benchmark -perm -u+x | head -n 1)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "== inventory on the same disk as the tree"
"$bench" "$root/tests/fixtures" "$work/tree" "$files"

if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    echo "== inventory on a tmpfs (/dev/shm)"
    "$bench" "$root/tests/fixtures" "$work/tree" "$files" "$(mktemp -d -p /dev/shm)"
fi
