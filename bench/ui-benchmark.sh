#!/usr/bin/env bash
# Builds and runs the window benchmarks on a private Xvfb display: the message
# thread's share of the table's 500 ms reload over an inventory of 5,000
# plug-ins (idle, after a scan replaced the file, and a header click), and the
# time from process start to the first painted main window.
#
# Usage: bench/ui-benchmark.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
COBALTLINE_BUILD_TARGETS="Cobaltline table-benchmark startup-benchmark" \
    "$root/scripts/build.sh" -DCOBALTLINE_BUILD_BENCHMARKS=ON >/dev/null

table="$(find "$build_dir/bench" -type f -name table-benchmark -perm -u+x | head -n 1)"
app="$(find "$build_dir/src/app" -type f -name Cobaltline -perm -u+x | head -n 1)"

echo "== table reload"
"$table" --benchmark_repetitions=11 --benchmark_report_aggregates_only=true

echo "== start-up"
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$build_dir/bench/startup-benchmark" "$app" 11
