#!/usr/bin/env bash
# Load test of the stand-in update service on loopback: starts the service
# on a free port with a temporary database, registers accounts, sends
# concurrent scan uploads (default: 200 at once, 2,000 plug-ins each), prints
# throughput and latency, and stops the service.
#
#   bench/service-load.sh [service-loadgen options]
#
# Environment: BUILD_DIR (default /tmp/cobaltline-service-build) holds or
# receives the build; ARGON2 (default interactive, the production cost)
# sets the service's password hashing cost.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$here/../updateservice"
build_dir="${BUILD_DIR:-/tmp/cobaltline-service-build}"
argon2="${ARGON2:-interactive}"

if [[ ! -x "$build_dir/cobaltline-service" || ! -x "$build_dir/service-loadgen" ]]; then
    echo "Building the service and the load generator in $build_dir ..."
    cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCOBALTLINE_BUILD_TESTS=OFF >/dev/null
    nice -n 10 cmake --build "$build_dir" -j1 --target cobaltline-service service-loadgen >/dev/null
fi

work="$(mktemp -d /tmp/cobaltline-service-load.XXXXXX)"
service_pid=""

cleanup()
{
    if [[ -n "$service_pid" ]] && kill -0 "$service_pid" 2>/dev/null; then
        kill -TERM "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

"$build_dir/cobaltline-service" import-catalog --db "$work/load.db" "$source_dir/catalog/seed-catalog.csv" >/dev/null

"$build_dir/cobaltline-service" serve --listen 127.0.0.1:0 --db "$work/load.db" --outbox "$work/outbox" \
    --argon2 "$argon2" --quiet >"$work/stdout" 2>"$work/stderr" &
service_pid=$!

port=""
for _ in $(seq 1 100); do
    if line="$(head -n 1 "$work/stdout" 2>/dev/null)" && [[ "$line" == *"listening on http://127.0.0.1:"* ]]; then
        port="${line##*:}"
        break
    fi
    if ! kill -0 "$service_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done

if [[ -z "$port" ]]; then
    echo "The service did not start:" >&2
    cat "$work/stderr" >&2
    exit 1
fi

echo "Service on 127.0.0.1:$port (argon2 $argon2)"
status=0
"$build_dir/service-loadgen" --host 127.0.0.1 --port "$port" "$@" || status=$?

echo "Service peak RSS: $(awk '/VmHWM/ { print int($2 / 1024) " MiB" }' "/proc/$service_pid/status")"
kill -TERM "$service_pid"
if wait "$service_pid"; then
    echo "Service stopped cleanly."
else
    echo "Service exit status: $?" >&2
    status=1
fi
service_pid=""

echo "Database after the run: $(du -h "$work/load.db" | cut -f1)"
exit "$status"
