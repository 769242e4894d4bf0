#!/usr/bin/env bash
# Configures and builds the project into build/ (or $COBALTLINE_BUILD_DIR).
# Extra arguments are passed to CMake's configure step.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
jobs="${COBALTLINE_JOBS:-$(nproc)}"

generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi

cmake -S "$root" -B "$build_dir" "${generator[@]}" "$@"
cmake --build "$build_dir" --parallel "$jobs"
