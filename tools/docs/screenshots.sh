#!/usr/bin/env bash
# Takes the README's screenshots of the real program against the stand-in
# service, on a private Xvfb display: the first-run splash and the sign-up
# dialog of a first start; an empty table with its reason; then, after a scan
# of the fixture plug-ins, the three tabs, the filter, a row's menu, the
# comparison with an imported machine profile, both preference pages and the
# two account dialogs of the Profile page. Writes them to docs/.
#
# Usage: tools/docs/screenshots.sh   (after scripts/build.sh)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
docs="$root/docs"

if [ -z "${SCREENSHOTS_ON_XVFB:-}" ]; then
    exec env SCREENSHOTS_ON_XVFB=1 xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$0" "$@"
fi

service_url="http://127.0.0.1:8750"
source "$root/tests/e2e/session.sh"
work="$(mktemp -d)"
trap 'end_session; rm -rf "$work"' EXIT

app="$(find "$build_dir/src/app" -type f -name Cobaltline -perm -u+x | head -n 1)"
service="$build_dir/updateservice/cobaltline-service"

dialog=""
find_dialog() { dialog="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)"; [ -n "$dialog" ]; }
in_dialog()   { eval "$(xdotool getwindowgeometry --shell "$dialog")"; xdotool mousemove "$((X + 1 + $1))" "$((Y + 27 + $2))"; }
shoot()       { xdotool mousemove 0 0; sleep 0.5; import -window "$1" "$docs/$2"; }
close_dialog(){ xdotool key --window "$dialog" Escape; sleep 0.5; }

start_service "$service" "$root/updateservice/catalog/seed-catalog.csv" "studio@example.com" "Studio Pass1!"

# A first start: the splash, then the sign-up dialog with its entries typed.
mkdir -p "$work/home"
start_program "$app"
wait_for 10 find_dialog "Cobaltline - First Run"
shoot "$dialog" first-run-splash.png
in_dialog $((160 + 75)) $((120 + 11)); xdotool click 1
wait_for 10 find_dialog "Cobaltline - Sign Up"
for field in "120 Ada" "150 Lovelace" "180 ada@example.com" "210 Passw0rd!" "240 Passw0rd!" "270 Analytical Engine"; do
    in_dialog 300 "${field%% *}"; xdotool click 1; xdotool type --delay 5 "${field#* }"
done
shoot "$dialog" sign-up.png
close_dialog
end_session
session_pids=()
rm -rf "$work/home"

# A user with an account: a scan, the tabs, the preferences, the account dialogs.
start_service "$service" "$root/updateservice/catalog/seed-catalog.csv" "studio@example.com" "Studio Pass1!" \
    2>/dev/null || true   # the account exists already in the same database
data="$(write_settings "$root/tools/cipher-vectors.py" "studio@example.com" "Studio Pass1!" "$root/tests/fixtures/plugins")"
program_path="$work/bin"   # JUCE's own file chooser, the same on every machine
start_program "$app"
sleep 1
shoot "$window" empty-table.png
scan "$data"

shoot "$window" updates-tab.png

# A row's menu, over the window.
xdotool mousemove "$((cx + row_x))" "$((cy + $(row_y 1)))" click 3
sleep 0.7
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/row-menu.png"
xdotool key Escape
sleep 0.3

click "$installed_tab_x" "$tab_y"
shoot "$window" installed-tab.png

click "$filter_x" "$filter_y"
xdotool type --delay 20 "walk"
sleep 0.5
shoot "$window" filter.png
xdotool key ctrl+a BackSpace

click "$not_recognised_tab_x" "$tab_y"
sleep 0.7
shoot "$window" not-recognised-tab.png
click "$installed_tab_x" "$tab_y"

# Another machine's export, made from this one's inventory with a few changes,
# imported through JUCE's chooser: the comparison window.
python3 - "$data/Studio_PluginList.xml" "$work/Laptop.cobaltline" <<'PY'
import sys, xml.etree.ElementTree as ET
inventory = ET.parse(sys.argv[1]).getroot()
inventory.set("MachineName", "Laptop")
plugins = inventory.findall("Plugin")
for i, plugin in enumerate(plugins):
    if i % 4 == 0:
        inventory.remove(plugin)
    elif i % 4 == 1:
        plugin.set("Version", "9.9")
extra = ET.SubElement(inventory, "Plugin", Name="Only On The Laptop", Version="1.0", Vendor="Acme",
                      Path="C:\\VST\\Laptop.dll", Format="VST3", Error="")
root = ET.Element("CobaltlineExport", FormatVersion="1")
root.append(inventory)
ET.SubElement(root, "UpdateList")
ET.ElementTree(root).write(sys.argv[2], encoding="UTF-8", xml_declaration=True)
PY
click "$import_button_x" "$scan_button_y"
wait_for 10 find_dialog "Import Machine Profile"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT - 46 - 22))" click 1
xdotool key ctrl+a BackSpace
xdotool type --delay 5 "$work/Laptop.cobaltline"
xdotool key Return; sleep 0.5; xdotool key Return
wait_for 10 find_dialog "Compared with Laptop"
shoot "$dialog" comparison.png
close_dialog

click "$prefs_button_x" "$scan_button_y"
wait_for 10 find_dialog "Preferences"
prefs="$dialog"
shoot "$prefs" preferences-profile.png

in_dialog $((400 + 75)) $((63 + 60 + 10)); xdotool click 1   # "Forgot / Change Password?"
wait_for 10 find_dialog "Forgotten Password Reset"
shoot "$dialog" forgotten-password.png
close_dialog

dialog="$prefs"
in_dialog $((270 + 60)) $((63 + 120 + 11)); xdotool click 1   # "Edit Profile..."
wait_for 10 find_dialog "Edit Profile"
shoot "$dialog" edit-profile.png
close_dialog

dialog="$prefs"
in_dialog $((58 + 29)) 29; xdotool click 1   # the Paths page
shoot "$prefs" preferences-paths.png
echo "screenshots written to $docs"
