#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (GUI tests
# under a private Xvfb display).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DCOBALTLINE_BUILD_TESTS=ON -DCOBALTLINE_BUILD_BENCHMARKS=ON

cd "$build_dir"
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
    ctest --output-on-failure --timeout 600 --parallel "$(nproc)" "$@"
