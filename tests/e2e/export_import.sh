#!/usr/bin/env bash
# Export on one machine, import on another, through the real program: a user
# scans the fixture plug-ins and exports the results with "Export"; a second
# run of the program, with a data folder of its own (another machine),
# imports that file with "Import" and shows the comparison window titled with
# the first machine's name; a row of it opens its page. On the way, the
# keyboard opens a row and its menu. The import writes
# nothing into the second machine's data folder. Both files are chosen in
# JUCE's own chooser (the program finds no zenity or kdialog on its path).
#
# Usage: export_import.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

# choose_file TITLE PATH: types the path into JUCE's chooser's file name box
# and presses Return until the chooser is gone (the first Return goes to the
# folder, the next chooses the file).
choose_file()
{
    local box X Y WIDTH HEIGHT SCREEN WINDOW
    wait_window "$1" || fail "no chooser \"$1\""
    box="$found"
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT - 46 - 22))" click 1
    xdotool key ctrl+a BackSpace
    xdotool type --delay 5 "$2"
    key_until gone "$1" -- Return || fail "the chooser \"$1\" does not take $2"
}

export_file="$work/Exports/studio.cobaltline"
mkdir -p "$work/Exports"

# The first machine: a scan, then "Export".
start_service "$service" "$catalog" "e2e@example.com" "Scan Pass1!" || fail "no service"
data="$(write_settings "$cipher" "e2e@example.com" "Scan Pass1!" "$fixtures/plugins/walk")"
program_path="$work/bin"
start_program "$app" || fail "no program"
scan "$data" || fail "no scan"

# The keyboard: Return on a selected row opens it; the menu key opens its
# menu, whose third entry is "Open Website".
opened_lines() { test "$(wc -l <"$work/opened.txt" 2>/dev/null || echo 0)" -ge "$1"; }
click "$row_x" "$(row_y 0)"
key_until opened_lines 1 -- Return || fail "Return on a row opens nothing"
xdotool mousemove 0 0   # the menu is the keyboard's alone: no entry under the mouse
xdotool key Menu
sleep 0.5
xdotool key Down Down Down Return
wait_for 10 opened_lines 2 || fail "the menu key's \"Open Website\" opens nothing"
[ "$(sed -n 1p "$work/opened.txt")" = "$(sed -n 2p "$work/opened.txt")" ] || { cat "$work/opened.txt"; fail "the menu opened another page"; }

press_until find_named "Export Machine Profile" -- "$((cx + export_button_x))" "$((cy + scan_button_y))" \
    || fail "no save chooser"
choose_file "Export Machine Profile" "$export_file"
wait_for 20 test -s "$export_file" || fail "nothing exported"
grep -q '<CobaltlineExport FormatVersion="1"' "$export_file" || { head -c 600 "$export_file"; fail "not an export"; }
grep -q 'e2e@example.com' "$export_file" && fail "the export holds the account's address"
kill "${session_pids[-1]}"
wait "${session_pids[-1]}" 2>/dev/null || true
unset 'session_pids[-1]'

# The second machine: its own data folder and inventory, then "Import".
mkdir -p "$work/home2/.config/Cobaltline"
laptop="$work/home2/.config/Cobaltline"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Laptop" Email="" Password=""/>\n' \
    >"$laptop/Profile.xml"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<MachineProfile MachineName="Laptop">\n  <Plugin Name="Only On The Laptop" Version="1.0" Vendor="Acme" Path="/p/laptop.dll" Format="VST" Error=""/>\n</MachineProfile>\n' \
    >"$laptop/Laptop_PluginList.xml"
mv "$work/home" "$work/home1"
mv "$work/home2" "$work/home"
laptop="$work/home/.config/Cobaltline"
rm -f "$work/opened.txt"
start_program "$app" || fail "no second program"
before="$(cd "$laptop" && find . -type f -exec md5sum {} + | sort)"

press_until find_named "Import Machine Profile" -- "$((cx + import_button_x))" "$((cy + scan_button_y))" \
    || fail "no open chooser"
choose_file "Import Machine Profile" "$export_file"
wait_window "Compared with Studio" || fail "no comparison window"
comparison="$found"
[ "${COBALTLINE_E2E_SCREENSHOT:-}" ] && import -window "$comparison" "$COBALTLINE_E2E_SCREENSHOT"

# Its first row (sorted by name) opens the plug-in's page, as the tabs' rows do.
eval "$(xdotool getwindowgeometry --shell "$comparison")"
xdotool mousemove "$((X + 1 + 10 + 100))" "$((Y + 27 + 40 + 32 + 28 + 11))" click --repeat 2 --delay 80 1
wait_for 10 test -s "$work/opened.txt" || fail "the comparison's row opens nothing"

after="$(cd "$laptop" && find . -type f -exec md5sum {} + | sort)"
[ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after") || true; fail "the import changed the data folder"; }
kill -0 "${session_pids[-1]}" || fail "the program ended by itself"
echo "exported on Studio, imported on Laptop: compared, nothing written${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
