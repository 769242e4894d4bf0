#!/usr/bin/env bash
# A scan while the update service is down, through the real program: the
# folders are still walked, the user is told that updates were not checked,
# the Installed table fills, and the update list of an earlier scan is gone.
#
# Usage: offline_scan.sh APP FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool and ImageMagick.
set -euo pipefail

app="$1" fixtures="$2" cipher="$3" service_url="$4"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

if curl -fsS -o /dev/null "$service_url/checkconnect/index.html" 2>/dev/null; then
    fail "something answers on $service_url, where the service must be down"
fi

data="$(write_settings "$cipher" "e2e@example.com" "Scan Pass1!" "$fixtures/plugins/walk")"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<UpdateList/>\n' >"$data/Studio_CobaltlineList.xml"
start_program "$app" || fail "no program"

inventory_written() { grep -q '<Plugin' "$data/Studio_PluginList.xml" 2>/dev/null; }
press_until inventory_written -- "$((cx + scan_button_x))" "$((cy + scan_button_y))" || fail "no inventory after the scan"

wait_window "Updates Not Checked" 60 || fail "no alert that updates were not checked"
key_until gone "Updates Not Checked" -- Return || fail "the alert does not close"

wait_for 30 gone "Scanning Plugins..." || fail "the progress window stayed"
[ ! -e "$data/Studio_CobaltlineList.xml" ] || fail "the earlier update list is still there"
show_tab "$installed_tab_x" || fail "the Installed tab shows no rows"

kill -0 "${session_pids[-1]}" || fail "the program ended by itself"
echo "scan without the service: the Installed table fills, updates not checked${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
