#!/usr/bin/env bash
# How fast `cobaltline-service migrate` moves a SQLite store into
# PostgreSQL: fills a SQLite database with ACCOUNTS accounts (default
# 10,000), each with 2 machines of 150 plug-ins (a 5,550-byte list and 150
# reports per machine, as docs/deploying.md assumes), starts a throw-away
# PostgreSQL cluster (updateservice/tests/postgres_cluster.sh), times the
# copy and prints rows a second.
#
#   ACCOUNTS=10000 bench/service-migrate.sh
#
# BUILD_DIR (default /tmp/cobaltline-service-build) holds or receives the build.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$here/../updateservice"
build_dir="${BUILD_DIR:-/tmp/cobaltline-service-build}"
accounts="${ACCOUNTS:-10000}"

if [[ ! -x "$build_dir/cobaltline-service" ]]; then
    echo "Building the service in $build_dir ..."
    cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCOBALTLINE_BUILD_TESTS=OFF >/dev/null
    nice -n 10 cmake --build "$build_dir" -j1 --target cobaltline-service >/dev/null
fi

work="$(mktemp -d /tmp/cobaltline-service-migrate.XXXXXX)"
state="$work/cluster.state"

cleanup()
{
    "$source_dir/tests/postgres_cluster.sh" stop "$state" || true
    rm -rf "$work"
}
trap cleanup EXIT

# The layout, then rows written straight into it.
"$build_dir/cobaltline-service" import-catalog --db "$work/store.db" "$source_dir/catalog/seed-catalog.csv" >/dev/null

python3 - "$work/store.db" "$accounts" <<'PY'
import os, random, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
accounts = int(sys.argv[2])
random.seed(7)
packed = os.urandom(5550)   # a compressed list does not compress again
with db:
    for a in range(1, accounts + 1):
        db.execute("INSERT INTO account (id, email, email_key, password_hash, first_name, last_name, is_developer, "
                   "created_at, confirmed_at) VALUES (?, ?, ?, ?, 'Firstname', 'Lastname12', 0, 1800000000, 1800000000)",
                   (a, f"user{a}@example.com", f"user{a}@example.com", "$argon2id$v=19$m=65536,t=2,p=1$" + "x" * 66))
        for m in range(2):
            machine = a * 2 + m
            db.execute("INSERT INTO machine (id, account_id, machine_name, platform, platform_string, cpu_vendor, "
                       "cpu_speed, supports_64bit, ram, has_sse1, has_sse2, has_mmx, has_3dnow, display_language, "
                       "user_language, region, profile_time, uploaded_at, network) VALUES (?, ?, ?, 'Windows', "
                       "'Windows 10', 'GenuineIntel', '3600', '1', '16384', '1', '1', '1', '0', 'en', 'en', 'GB', "
                       "'8 Dec 2026 2:05:01pm', 1800000000, '203.0.113.0/24')", (machine, a, f"PC-{m}"))
            db.execute("INSERT INTO plugin_list (machine_id, plugins, packed_bytes, packed, before_formats) "
                       "VALUES (?, 150, 16650, ?, 0)", (machine, packed))
            db.executemany("INSERT INTO plugin (key_hash, learned, machine_id) VALUES (?, ?, ?)",
                           [(random.getrandbits(63), f"011.{random.randint(0, 99):02d} 1.{p}", machine) for p in range(150)])
PY

rows="$(python3 -c "import sqlite3,sys; db=sqlite3.connect(sys.argv[1]); print(sum(db.execute('SELECT COUNT(*) FROM ' + t).fetchone()[0] for t in ('account','machine','plugin_list','plugin','catalog')))" "$work/store.db")"
bytes="$(stat -c %s "$work/store.db")"

"$source_dir/tests/postgres_cluster.sh" start "$state"
url="$(sed -n 's/^url=//p' "$state")"

start=$(date +%s.%N)
"$build_dir/cobaltline-service" migrate --db "$work/store.db" --to "$url" >/dev/null
end=$(date +%s.%N)

python3 - "$start" "$end" "$rows" "$bytes" "$accounts" <<'PY'
import sys
start, end, rows, size, accounts = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
seconds = end - start
print(f"accounts {accounts:,}  rows {rows:,}  SQLite file {size / 1e6:,.0f} MB")
print(f"migrate: {seconds:.1f} s, {rows / seconds:,.0f} rows/s, {size / 1e6 / seconds:,.1f} MB/s")
PY
