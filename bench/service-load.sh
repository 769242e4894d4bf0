#!/usr/bin/env bash
# Load test of the update service on loopback, in two set-ups side by side:
# one process on SQLite, and two processes on one PostgreSQL database (a
# throw-away cluster, updateservice/tests/postgres_cluster.sh). For each:
# signs up as many accounts as clients, sends every account's first upload
# (a full password hash each), then repeated uploads of the same accounts
# (remembered log-ins), and prints throughput, latency and each process's
# peak memory.
#
#   bench/service-load.sh [service-loadgen options]
#
# Defaults: 50 clients at once, 50 accounts, 300 plug-ins an upload, 1,000
# repeated uploads (service-loadgen --help lists the options).
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
pids=()

stop_services()
{
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    pids=()
}

cleanup()
{
    stop_services
    "$source_dir/tests/postgres_cluster.sh" stop "$work/cluster.state" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# Starts one service process with a name; sets $port.
start_service()
{
    local name="$1" db="$2"
    "$build_dir/cobaltline-service" serve --listen 127.0.0.1:0 --db "$db" --outbox "$work/outbox-$name" \
        --secret-file "$work/service.secret" --argon2 "$argon2" --quiet \
        --max-sign-ups-per-address 0 --max-sign-ups-per-network 0 --max-sign-ups 0 \
        >"$work/$name.out" 2>"$work/$name.err" &
    pids+=($!)
    port=""
    for _ in $(seq 1 200); do
        if line="$(head -n 1 "$work/$name.out" 2>/dev/null)" && [[ "$line" == *"listening on http://127.0.0.1:"* ]]; then
            port="${line##*:}"
            return 0
        fi
        sleep 0.1
    done
    echo "The service $name did not start:" >&2
    cat "$work/$name.err" >&2
    exit 1
}

peak_memory()
{
    for pid in "${pids[@]}"; do
        awk '/VmHWM/ { printf "%d MiB ", int($2 / 1024) }' "/proc/$pid/status"
    done
}

status=0

echo "== 1 process, SQLite (argon2 $argon2) =="
start_service sqlite "$work/load.db"
"$build_dir/service-loadgen" --host 127.0.0.1 --port "$port" "$@" || status=$?
echo "peak memory: $(peak_memory)"
stop_services

echo
echo "== 2 processes, one PostgreSQL database (argon2 $argon2) =="
"$source_dir/tests/postgres_cluster.sh" start "$work/cluster.state"
url="$(sed -n 's/^url=//p' "$work/cluster.state")"
start_service pg1 "$url"
first_port="$port"
start_service pg2 "$url"
"$build_dir/service-loadgen" --host 127.0.0.1 --port "$first_port,$port" "$@" || status=$?
echo "peak memory: $(peak_memory)"
stop_services

exit "$status"
