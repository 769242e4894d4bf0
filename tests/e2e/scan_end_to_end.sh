#!/usr/bin/env bash
# The whole loop through the real program and the real stand-in service: a
# user with an account and a profile types a plug-in folder into row 1 of the
# Paths page, ticks it and saves, then presses "Scan"; the Updates and
# Installed tables then hold the expected rows, which the test finds by
# double-clicking them and reading the pages the program opens (a stand-in
# xdg-open records them). One plug-in of the folder has a control character
# in its name: it is listed like the others, and spoils nothing.
# Then the program is started again: with results younger than an hour the
# tables keep them; once the update list is an hour old (the age of the file
# is what counts) both are cleared at the start, and the empty table says why.
#
# Usage: scan_end_to_end.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick and curl. Keeps a
# screenshot of each step (session.sh, `step`).
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
data="$(write_profile "$cipher" "e2e@example.com" "Scan Pass1!")"
start_program "$app" || fail "no program"

# The folder typed into row 1 of the Paths page, its box ticked, saved.
open_preferences || fail "no preferences"
show_paths_page || fail "no Paths page"
type_into "$prefs" "$paths_field_x" "$(paths_row_y 1)" "$work/plugins"
tick=("$(content_x "$prefs" $((paths_tick_x - 10)))" "$(content_y "$prefs" $((page_y + 30)))" 20 20)
unticked="$(region_sum "${tick[@]}")"
ticked() { [ "$(region_sum "${tick[@]}")" != "$unticked" ]; }
press_until ticked -- "$(content_x "$prefs" "$paths_tick_x")" "$(content_y "$prefs" "$(paths_row_y 1)")" \
    || fail "the scan box of row 1 does not tick"
step "folder typed into the Paths page and ticked"
press_until gone "Preferences" -- "$(content_x "$prefs" "$paths_save_x")" "$(content_y "$prefs" "$paths_save_y")" \
    || fail "\"Save Settings\" does not close the preferences"
grep -qF "path1=\"$work/plugins\" pathFormat1=\"2\" scanToggle1=\"1\"" "$data/Paths.xml" \
    || { cat "$data/Paths.xml"; fail "Paths.xml does not hold the typed folder, ticked, as VST"; }

scan "$data" || fail "no scan"
step "scan: the Updates table"
grep -q '<UpdateList' "$data/Studio_CobaltlineList.xml" || { cat "$data/Studio_CobaltlineList.xml"; fail "the scan was not accepted"; }
grep -q 'Name="Walk&#1;Y"' "$data/Studio_PluginList.xml" || fail "the inventory lacks the plug-in named with a control character"

# The first two rows of each table, sorted by name.
double_click "$row_x" "$(row_y 0)"
double_click "$row_x" "$(row_y 1)"
wait_for 10 test -s "$work/opened.txt" || fail "a double-click on the Updates table opens no page"
show_tab "$installed_tab_x" || fail "the Installed tab shows no rows"
step "the Installed table"
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

kill -0 "$program_pid" || fail "the program ended by itself"

# A start with results 50 minutes old: both tables keep them.
list="$data/Studio_CobaltlineList.xml" inventory="$data/Studio_PluginList.xml"
stop_program || fail "the program does not end"
touch -d "50 minutes ago" "$list"
start_program "$app" || fail "no program at the start with younger results"
wait_for 30 rows_shown || fail "results 50 minutes old are not shown at a start"
show_tab "$installed_tab_x" || fail "the inventory is not shown at a start with younger results"
[ -s "$list" ] && [ -s "$inventory" ] || fail "results 50 minutes old were deleted"
step "a start with results 50 minutes old"

# A start with the update list an hour old (and the inventory just written,
# which does not count): both tables are empty, and say why.
stop_program || fail "the program does not end"
touch -d "61 minutes ago" "$list"
touch "$inventory"
start_program "$app" || fail "no program at the start with old results"
[ ! -e "$list" ] && [ ! -e "$inventory" ] || fail "results an hour old are still there after a start"
grep -q 'UpdateCheck="cleared"' "$data/Studio_ScanDetails.xml" \
    || { cat "$data/Studio_ScanDetails.xml"; fail "the scan details do not say that the results were cleared"; }
# The reason is a line of text below the header, where the second row would be.
reason_shown() { painted "$((cx + 21 + 24))" "$((cy + table_y + 28 + 24))" 800 20; }
wait_for 10 reason_shown || fail "the empty Updates table does not say why"
rows_shown && fail "the Updates table shows rows of results an hour old"
step "a start with results an hour old: the Updates table"
switch_tab "$installed_tab_x" || fail "no Installed tab"
wait_for 10 reason_shown || fail "the empty Installed table does not say why"
rows_shown && fail "the Installed table shows rows of results an hour old"
step "a start with results an hour old: the Installed table"

kill -0 "$program_pid" || fail "the program ended by itself"
echo "scan through the real program: a folder typed into the Paths page, Updates and Installed hold the expected rows; results an hour old are cleared at a start${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
