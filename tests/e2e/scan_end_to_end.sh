#!/usr/bin/env bash
# The whole loop through the real program and the real stand-in service: a
# user with an account, a profile and one plug-in folder presses "Scan"; the
# Updates and Installed tables then hold the expected rows, which the test
# finds by double-clicking them and reading the pages the program opens
# (a stand-in xdg-open records them).
#
# Usage: scan_end_to_end.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on the current X display; needs xdotool and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6"

if [ "$service_url" != "http://127.0.0.1:8750" ]; then
    echo "the program is built for $service_url, not the stand-in service on 127.0.0.1:8750: skipped"
    exit 77
fi

if curl -fsS -o /dev/null "$service_url/checkconnect/index.html" 2>/dev/null; then
    echo "something already answers on $service_url; stop it (scripts/run.sh?) and run the test again"
    exit 1
fi

work="$(mktemp -d)"
pids=()
cleanup()
{
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail()
{
    echo "FAILED: $*"
    import -window root "$work/failure.png" 2>/dev/null && cp "$work/failure.png" /tmp/cobaltline-e2e-failure.png \
        && echo "screenshot: /tmp/cobaltline-e2e-failure.png"
    exit 1
}

wait_for()   # seconds, command...
{
    local tries=$(($1 * 10)); shift
    for _ in $(seq 1 "$tries"); do "$@" && return 0; sleep 0.1; done
    return 1
}

# The service, with the seed catalog, and an account.
"$service" import-catalog --db "$work/service.db" "$catalog" >/dev/null
"$service" serve --listen 127.0.0.1:8750 --db "$work/service.db" --outbox "$work/outbox" --argon2 fast --quiet \
    >"$work/service.log" 2>&1 &
pids+=($!)
wait_for 10 curl -fsS -o /dev/null "$service_url/checkconnect/index.html" || fail "the service did not start"
curl -fsS -o /dev/null --data 'registerpost=true&email=e2e%40example.com&password=Scan%20Pass1!&firstname=E&lastname=Two&isdeveloper=0' \
    "$service_url/authentication/index.php"

# The user's settings: the profile with the enciphered password, one folder.
data="$work/home/.config/Cobaltline"
mkdir -p "$data"
password="$(/usr/bin/python3 "$cipher" 'Scan Pass1!' | cut -f2)"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="e2e@example.com" Password="%s"/>\n' \
    "$password" >"$data/Profile.xml"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths path1="%s" pathFormat1="2" scanToggle1="1"/>\n' \
    "$fixtures/plugins/walk" >"$data/Paths.xml"

# Pages the program opens are written down instead of shown.
mkdir -p "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' "$work/opened.txt" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

HOME="$work/home" PATH="$work/bin:$PATH" "$app" &
pids+=($!)

window=""
find_window() { window="$(xdotool search --onlyvisible --name '^Cobaltline$' 2>/dev/null | head -n 1)"; [ -n "$window" ]; }
wait_for 20 find_window || fail "no window named Cobaltline"
sleep 1

# The content starts below the window's own title bar (26) inside its border (4).
eval "$(xdotool getwindowgeometry --shell "$window")"
cx=$((X + 4)) cy=$((Y + 30))
click()        { xdotool mousemove "$((cx + $1))" "$((cy + $2))" click 1; }
double_click() { xdotool mousemove "$((cx + $1))" "$((cy + $2))" click --repeat 2 --delay 80 1; }

# "Scan" on the Updates tab's bar: tab content at (1, 91 + 36), bar at (20, 20), button at (15, 7).
click $((1 + 20 + 15 + 22)) $((127 + 20 + 7 + 23))
wait_for 60 test -s "$data/Studio_CobaltlineList.xml" || fail "no update list after the scan"
no_progress_window() { ! xdotool search --onlyvisible --name '^Scanning Plugins' >/dev/null 2>&1; }
wait_for 30 no_progress_window || fail "the progress window stayed"
sleep 1.5   # a reload of the tables

# Rows are 22 high below a 28-pixel header; the tables start at (1 + 20 + 1, 127 + 98).
row_y() { echo $((127 + 98 + 28 + 22 * $1 + 11)); }

double_click 120 "$(row_y 0)"
double_click 120 "$(row_y 1)"
click 110 $((91 + 17))   # the "Installed" tab
sleep 0.7
double_click 120 "$(row_y 0)"
double_click 120 "$(row_y 1)"

expected="https://example.com/walk-vendor/deep
https://example.com/walk-vendor/x
https://www.google.com/search?q=Walk%20Vendor%20Walk%20Deep
https://www.google.com/search?q=Walk%20Vendor%20Walk%20Hidden"

wait_for 5 test "$(wc -l <"$work/opened.txt" 2>/dev/null || echo 0)" -ge 4 || true
opened="$(cat "$work/opened.txt" 2>/dev/null || true)"

if [ "$opened" != "$expected" ]; then
    echo "expected these pages:"; echo "$expected"
    echo "the program opened:"; echo "${opened:-(nothing)}"
    fail "the tables do not hold the expected rows"
fi

kill -0 "${pids[1]}" || fail "the program ended by itself"
echo "scan through the real program: Updates and Installed hold the expected rows"
