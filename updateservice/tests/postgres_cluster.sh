#!/usr/bin/env bash
# Starts or stops a throw-away PostgreSQL cluster for the tests.
#
#   postgres_cluster.sh start STATE_FILE   a cluster in a new temporary folder,
#                                          listening on its own Unix socket
#                                          only; STATE_FILE gets the folder and
#                                          the connection string
#   postgres_cluster.sh stop STATE_FILE    stops it and removes the folder
#
# initdb and pg_ctl refuse to run as root: as root they run as "nobody".
set -euo pipefail

command="${1:?start or stop}"
state="${2:?state file}"

bin_dir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
if [[ -z "$bin_dir" || ! -x "$bin_dir/initdb" ]]; then
    echo "PostgreSQL's server programs are not installed (scripts/setup.sh installs them)" >&2
    exit 1
fi

as_owner() {
    if [[ "$(id -u)" == 0 ]]; then
        runuser -u nobody -- "$@"
    else
        "$@"
    fi
}

case "$command" in
start)
    # A cluster an interrupted run left behind goes first.
    [[ -f "$state" ]] && "$0" stop "$state"

    # /tmp, not $TMPDIR: "nobody" must reach the folder, and the socket's
    # path must stay short.
    folder="$(mktemp -d /tmp/cobaltline-pg.XXXXXX)"
    printf 'folder=%s\n' "$folder" > "$state"

    # Whatever fails from here, nothing is left running or lying about.
    trap '"$0" stop "$state"' ERR

    [[ "$(id -u)" == 0 ]] && chown nobody: "$folder"
    chmod 700 "$folder"
    as_owner "$bin_dir/initdb" -D "$folder/data" -U cobaltline --auth=trust -E UTF8 --locale=C.UTF-8 \
        > "$folder/initdb.log" 2>&1 || { cat "$folder/initdb.log" >&2; false; }
    # No TCP at all: the socket in the folder is the only way in, so a
    # port taken by another server does not matter.
    as_owner "$bin_dir/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
        -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c port=5432 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
        start > /dev/null || { cat "$folder/server.log" >&2; false; }
    "$bin_dir/createdb" -h "$folder" -p 5432 -U cobaltline cobaltline_test
    printf 'folder=%s\nurl=postgresql://cobaltline@/cobaltline_test?host=%s&port=5432\n' "$folder" "$folder" > "$state"
    trap - ERR
    ;;
stop)
    [[ -f "$state" ]] || exit 0
    folder="$(sed -n 's/^folder=//p' "$state")"
    if [[ -n "$folder" && -d "$folder" ]]; then
        as_owner "$bin_dir/pg_ctl" -D "$folder/data" -m immediate -w stop > /dev/null 2>&1 || true
        rm -rf "$folder"
    fi
    rm -f "$state"
    ;;
*)
    echo "usage: $0 start|stop STATE_FILE" >&2
    exit 2
    ;;
esac
