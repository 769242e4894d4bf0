#!/usr/bin/env bash
# The whole loop through the real program and the real stand-in service: a
# user with an account, a profile and one plug-in folder presses "Scan"; the
# Updates and Installed tables then hold the expected rows, which the test
# finds by double-clicking them and reading the pages the program opens
# (a stand-in xdg-open records them). One plug-in of the folder has a control
# character in its name: it is listed like the others, and spoils nothing.
#
# Usage: scan_end_to_end.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

# The walk fixtures, and "Walk Y" once more as "Walk", U+0001, "Y".
cp -r "$fixtures/plugins/walk" "$work/plugins"
python3 - "$fixtures/plugins/walk/level1/y.Dll" "$work/plugins/control.dll" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
old, new = "Walk Y".encode("utf-16-le"), "Walk\x01Y".encode("utf-16-le")
assert data.count(old) == 1
open(sys.argv[2], "wb").write(data.replace(old, new))
PY

start_service "$service" "$catalog" "e2e@example.com" "Scan Pass1!" || fail "no service"
data="$(write_settings "$cipher" "e2e@example.com" "Scan Pass1!" "$work/plugins")"
start_program "$app" || fail "no program"
scan "$data" || fail "no scan"

grep -q '<UpdateList' "$data/Studio_CobaltlineList.xml" || { cat "$data/Studio_CobaltlineList.xml"; fail "the scan was not accepted"; }
grep -q 'Name="Walk&#1;Y"' "$data/Studio_PluginList.xml" || fail "the inventory lacks the plug-in named with a control character"

# The first two rows of each table, sorted by name.
double_click "$row_x" "$(row_y 0)"
double_click "$row_x" "$(row_y 1)"
wait_for 10 test -s "$work/opened.txt" || true
show_tab "$installed_tab_x" || fail "the Installed tab shows no rows"
double_click "$row_x" "$(row_y 0)"
double_click "$row_x" "$(row_y 1)"

expected="https://example.com/walk-vendor/deep
https://example.com/walk-vendor/x
https://www.google.com/search?q=Walk%20Vendor%20Walk%01Y
https://www.google.com/search?q=Walk%20Vendor%20Walk%20Deep"

opened_pages() { test "$(wc -l <"$work/opened.txt" 2>/dev/null || echo 0)" -ge 4; }
wait_for 20 opened_pages || true
opened="$(cat "$work/opened.txt" 2>/dev/null || true)"

if [ "$opened" != "$expected" ]; then
    echo "expected these pages:"; echo "$expected"
    echo "the program opened:"; echo "${opened:-(nothing)}"
    fail "the tables do not hold the expected rows"
fi

kill -0 "${session_pids[-1]}" || fail "the program ended by itself"
echo "scan through the real program: Updates and Installed hold the expected rows${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
