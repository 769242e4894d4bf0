#!/usr/bin/env bash
# Cross-compiles the Windows program (Cobaltline.exe), the console scanner
# (cobaltline-scan.exe), verinfo.exe and the
# core's test suite into build-windows/ (or $COBALTLINE_WINDOWS_BUILD_DIR)
# with MinGW-w64, after building the static libraries it needs
# (scripts/windows-deps.sh). Arguments are passed to CMake's configure step;
# $COBALTLINE_WINDOWS_BUILD_TARGETS (space-separated) limits the build to
# those targets. A whole build ends with what a Windows user
# downloads (scripts/package-windows.sh): the installer
# packages/Cobaltline-VERSION-win64.exe and the zip
# dist/Cobaltline-VERSION-windows-x64.zip in the build folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${COBALTLINE_JOBS:-$(nproc)}"

"$root/scripts/setup.sh"
deps="$("$root/scripts/windows-deps.sh" | tail -n 1)"

# Libraries found in an earlier set of dependencies must be looked up again.
if [ -f "$build_dir/CMakeCache.txt" ] \
   && ! grep -qxF "COBALTLINE_WINDOWS_DEPS_PREFIX:INTERNAL=$deps" "$build_dir/CMakeCache.txt"; then
    rm -f "$build_dir/CMakeCache.txt"
fi

generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    generator=(-G Ninja)
fi

cmake -S "$root" -B "$build_dir" "${generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$deps" \
    -DCMAKE_FIND_ROOT_PATH="$deps" \
    -DCOBALTLINE_WINDOWS_DEPS_PREFIX:INTERNAL="$deps" \
    -DCOBALTLINE_BUILD_BENCHMARKS=OFF \
    "$@"

targets=()
for target in ${COBALTLINE_WINDOWS_BUILD_TARGETS:-}; do
    targets+=(--target "$target")
done

cmake --build "$build_dir" --parallel "$jobs" "${targets[@]}"

# What a Windows user downloads: the zip and the installer.
if [ ${#targets[@]} -eq 0 ]; then
    "$root/scripts/package-windows.sh" "$build_dir"
fi
