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

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

start_service "$service" "$catalog" "e2e@example.com" "Scan Pass1!" || fail "no service"
data="$(write_settings "$cipher" "e2e@example.com" "Scan Pass1!" "$fixtures/plugins/walk")"
start_program "$app" || fail "no program"
scan "$data" || fail "no scan"

# The first two rows of each table, sorted by name.
double_click "$row_x" "$(row_y 0)"
double_click "$row_x" "$(row_y 1)"
click "$installed_tab_x" "$tab_y"
sleep 0.7
double_click "$row_x" "$(row_y 0)"
double_click "$row_x" "$(row_y 1)"

expected="https://example.com/walk-vendor/deep
https://example.com/walk-vendor/x
https://www.google.com/search?q=Walk%20Vendor%20Walk%20Deep
https://www.google.com/search?q=Walk%20Vendor%20Walk%20Hidden"

opened_pages() { test "$(wc -l <"$work/opened.txt" 2>/dev/null || echo 0)" -ge 4; }
wait_for 5 opened_pages || true
opened="$(cat "$work/opened.txt" 2>/dev/null || true)"

if [ "$opened" != "$expected" ]; then
    echo "expected these pages:"; echo "$expected"
    echo "the program opened:"; echo "${opened:-(nothing)}"
    fail "the tables do not hold the expected rows"
fi

kill -0 "${session_pids[1]}" || fail "the program ended by itself"
echo "scan through the real program: Updates and Installed hold the expected rows"
