#!/usr/bin/env bash
# Configures and builds the project into build/ (or $COBALTLINE_BUILD_DIR).
# Arguments are passed to CMake's configure step; $COBALTLINE_BUILD_TARGETS
# (space-separated) limits the build to those targets.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
jobs="${COBALTLINE_JOBS:-$(nproc)}"

generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi

cmake -S "$root" -B "$build_dir" "${generator[@]}" "$@"

targets=()
for target in ${COBALTLINE_BUILD_TARGETS:-}; do
    targets+=(--target "$target")
done

cmake --build "$build_dir" --parallel "$jobs" "${targets[@]}"
