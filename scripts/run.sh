#!/usr/bin/env bash
# Installs what is missing, builds, and runs Cobaltline (under a private Xvfb
# display when there is no display).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

app="$build_dir/Cobaltline_artefacts/$(grep -m1 '^CMAKE_BUILD_TYPE' "$build_dir/CMakeCache.txt" | cut -d= -f2)/Cobaltline"
[ -x "$app" ] || app="$(find "$build_dir/Cobaltline_artefacts" -type f -name Cobaltline -perm -u+x | head -n 1)"

if [ -n "${DISPLAY:-}" ]; then
    exec "$app"
else
    echo "No display: running Cobaltline under Xvfb (screenshot with: DISPLAY=\$(cat $build_dir/xvfb-display) import -window root shot.png)"
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$app"
fi
