#!/usr/bin/env bash
# The Windows program under Wine, in a fresh prefix, against the real
# stand-in service: its main window appears, and "Scan" writes the inventory
# of a plug-in folder and stores the service's update list. Prints how long
# the prefix, the start-up and the scan took.
#
# With SCANNER_EXE, the console scanner then scans the same settings beside
# the open window and prints its JSON.
#
# Usage: smoke.sh COBALTLINE_EXE SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL [SCANNER_EXE]
# Runs on an X display of its own; needs wine, Xvfb, xdotool, ImageMagick and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6" scanner="${7:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

source "$here/../e2e/session.sh"
begin_test

seconds_since() { echo "$(date +%s.%N) $1" | awk '{ printf "%.1f", $1 - $2 }'; }

export WINEPREFIX="$work/prefix" WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
stop_wine() { wineserver -k 2>/dev/null || true; }
trap '{ end_session; stop_wine; } 2>/dev/null; rm -rf "$work"' EXIT

started="$(date +%s.%N)"
"$here/wine-prefix.sh" "$WINEPREFIX" || fail "no Wine prefix"
echo "fresh Wine prefix: $(seconds_since "$started") s"

start_service "$service" "$catalog" "win@example.com" "Scan Pass1!" || fail "no service"

# The user's settings in the prefix's application data folder, with one
# plug-in folder given as Windows sees it (the build machine's root is Z:).
data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Cobaltline"
mkdir -p "$data"
folder="Z:$(echo "$fixtures/plugins/walk" | tr '/' '\\')"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="%s" Password="%s"/>\n' \
    "win@example.com" "$(/usr/bin/python3 "$cipher" "Scan Pass1!" | cut -f2)" >"$data/Profile.xml"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths path1="%s" pathFormat1="2" scanToggle1="1"/>\n' \
    "$folder" >"$data/Paths.xml"

started="$(date +%s.%N)"
wine "$app" >"$work/app.log" 2>&1 &
session_pids+=($!)

wait_window "Cobaltline" 120 || fail "no window named Cobaltline"
window="$found"
echo "start-up to the main window: $(seconds_since "$started") s"

# Wine draws no frame of its own here: the window's client area starts at
# its origin, below JUCE's title bar.
eval "$(xdotool getwindowgeometry --shell "$window")"
cx=$((X + 4)) cy=$((Y + 30))
wait_for 60 painted "$((cx + 21))" "$((cy + table_y))" 200 28 || fail "the tables are not painted"

started="$(date +%s.%N)"
scan "$data" || fail "no scan"
echo "scan and upload: $(seconds_since "$started") s"

inventory="$data/Studio_PluginList.xml"
test -s "$inventory" || fail "no inventory written"
document="$(tr -s '\r\n' '  ' <"$inventory")"
grep -q '<MachineProfile [^>]*Platform="Win"' <<<"$document" || fail "the inventory has no machine profile"
plugins="$(grep -o '<Plugin ' <<<"$document" | wc -l)"
[ "$plugins" -ge 3 ] || fail "the inventory lists $plugins plug-ins"
grep -q 'Path="Z:\\' <<<"$document" || fail "the inventory's paths are not Windows paths"

kill -0 "${session_pids[-1]}" || fail "the program ended by itself"

if [ -n "$scanner" ]; then
    started="$(date +%s.%N)"
    status=0
    wine "$scanner" --json >"$work/scan.json" 2>"$work/scan.err" || status=$?
    [ "$status" = 0 ] || { cat "$work/scan.err"; fail "cobaltline-scan.exe ended with $status"; }
    python3 - "$work/scan.json" "$plugins" <<'PY' || fail "cobaltline-scan.exe printed no JSON of the scan"
import json, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
assert document["machine"]["Platform"] == "Win", document["machine"]
assert len(document["plugins"]) == int(sys.argv[2]), document["plugins"]
assert all(p["path"].startswith("Z:\\") for p in document["plugins"]), document["plugins"]
PY
    echo "cobaltline-scan.exe beside the window: $(seconds_since "$started") s"
fi

echo "Cobaltline.exe under Wine: main window, scan of $plugins plug-ins, update list stored"
