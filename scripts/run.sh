#!/usr/bin/env bash
# Installs what is missing, builds, starts the local stand-in update service
# (with its seed catalog) and runs Cobaltline against it. The application is
# shown on your display, or under a private Xvfb display when there is none.
# The service stops when the application ends.
#
# The service keeps its accounts in ${COBALTLINE_SERVICE_DATA:-~/.local/share/cobaltline-service}
# and "mails" reset codes into the outbox folder there.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
data="${COBALTLINE_SERVICE_DATA:-$HOME/.local/share/cobaltline-service}"
listen="127.0.0.1:8750"

"$root/scripts/setup.sh"
COBALTLINE_BUILD_TARGETS="Cobaltline cobaltline-service" "$root/scripts/build.sh"

# Below the folder of the target that builds it, so that a binary left by an
# older layout of the build folder is never picked.
find_binary()
{
    find "$build_dir/$1" -type f -name "$2" -perm -u+x -not -path '*/CMakeFiles/*' | head -n 1
}

app="$(find_binary src/app Cobaltline)"
service="$(find_binary updateservice cobaltline-service)"

service_pid=""
cleanup()
{
    if [ -n "$service_pid" ] && kill -0 "$service_pid" 2>/dev/null; then
        kill -TERM "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

if curl -fsS -o /dev/null "http://$listen/checkconnect/index.html" 2>/dev/null; then
    echo "An update service already answers on $listen; using it."
else
    mkdir -p "$data"
    "$service" import-catalog --db "$data/service.db" "$root/updateservice/catalog/seed-catalog.csv"
    "$service" serve --listen "$listen" --db "$data/service.db" --outbox "$data/outbox" \
        >>"$data/service.log" 2>&1 &
    service_pid=$!

    for _ in $(seq 1 100); do
        curl -fsS -o /dev/null "http://$listen/checkconnect/index.html" 2>/dev/null && break
        kill -0 "$service_pid" 2>/dev/null || { echo "The update service did not start; see $data/service.log"; exit 1; }
        sleep 0.1
    done

    echo "Stand-in update service on http://$listen (data and log in $data)"
fi

if [ -n "${DISPLAY:-}" ]; then
    "$app"
else
    echo "No display: running Cobaltline under a private Xvfb display."
    xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$app"
fi
