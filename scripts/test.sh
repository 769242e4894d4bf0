#!/usr/bin/env bash
# Installs what is missing, builds everything (the benchmarks too, so that
# they keep compiling), cross-builds the Windows executables, makes the
# installer and the Debian packages, and runs every
# test, the GUI tests under a private Xvfb display and the Windows ones under
# Wine. Arguments go to ctest, e.g. `-LE slow` for the quick tests
# only or `-R Settings`.
#
# COBALTLINE_WARNINGS_AS_ERRORS=ON makes every compiler warning in the
# project's own code an error (continuous integration sets it).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
export COBALTLINE_WINDOWS_BUILD_DIR="${COBALTLINE_WINDOWS_BUILD_DIR:-$root/build-windows}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DCOBALTLINE_BUILD_TESTS=ON -DCOBALTLINE_BUILD_BENCHMARKS=ON \
    -DCOBALTLINE_WINDOWS_BUILD_DIR="$COBALTLINE_WINDOWS_BUILD_DIR" \
    -DCOBALTLINE_WARNINGS_AS_ERRORS="${COBALTLINE_WARNINGS_AS_ERRORS:-OFF}"
"$root/scripts/build-windows.sh" -DCOBALTLINE_BUILD_TESTS=ON \
    -DCOBALTLINE_WARNINGS_AS_ERRORS="${COBALTLINE_WARNINGS_AS_ERRORS:-OFF}"
# The Debian packages (build-windows.sh made the Windows installer and zip);
# the release tests install them.
"$root/scripts/package-linux.sh" "$build_dir"

cd "$build_dir"
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
    ctest --output-on-failure --timeout 600 --parallel "$(nproc)" "$@"
