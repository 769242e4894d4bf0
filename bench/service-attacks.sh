#!/usr/bin/env bash
# Attacks on the stand-in update service, on loopback only: oversized chunked
# and length-less bodies, a header flood, 50 slow clients next to legitimate
# requests, and uploads with a huge XML token. Each scenario starts a fresh
# service on a free port with a temporary database, is bounded in bytes and
# time (a few minutes for all), and prints its figures: replies, the
# service's peak RSS, answered requests and latency, CPU time.
#
#   bench/service-attacks.sh [--only SCENARIO ...] [--service-args "..."]
#
# Environment: BUILD_DIR (default /tmp/cobaltline-service-build) holds or
# receives the build.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$here/../updateservice"
build_dir="${BUILD_DIR:-/tmp/cobaltline-service-build}"

if [[ ! -x "$build_dir/cobaltline-service" ]]; then
    echo "Building the service in $build_dir ..."
    cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCOBALTLINE_BUILD_TESTS=OFF >/dev/null
    nice -n 10 cmake --build "$build_dir" -j1 --target cobaltline-service >/dev/null
fi

exec /usr/bin/python3 "$here/service_attacks.py" --binary "$build_dir/cobaltline-service" "$@"
