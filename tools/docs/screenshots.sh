#!/usr/bin/env bash
# Takes the screenshots in docs/: the Windows program (Cobaltline.exe under
# Wine, in a fresh prefix) against the stand-in service, on a private Xvfb
# display with a compositing manager, so that every folder they show is one
# a musician has. The fixture plug-ins go into the prefix's standard folders:
#
#   C:\Program Files\VSTPlugins              tests/fixtures/plugins/version/*.dll
#   C:\Program Files\Steinberg\VSTPlugins    the tree tests/fixtures/plugins/walk
#   C:\Program Files\Common Files\VST3       arch-x86_64.dll as the file "Arch.vst3", and
#                                            table-040904e4.dll as the bundle "Table E4.vst3"
#   C:\Program Files\Common Files\CLAP       lang-0009-0409.dll as "Language.clap"
#
# First the splash and the sign-up dialog of a first start; then, with an
# account and those four folders on the Paths page (in the order "Find
# Folders" lists them), an empty table with its reason; after a scan, the
# three tabs, the filter, a row's menu, the comparison with an imported
# machine profile, both preference pages and the two account dialogs of the
# Profile page.
#
# Usage: tools/docs/screenshots.sh
#   after scripts/build.sh (for the service) and scripts/build-windows.sh
#   (for the program); COBALTLINE_BUILD_DIR and COBALTLINE_WINDOWS_BUILD_DIR
#   name other build folders. Needs what scripts/setup.sh installs: wine,
#   Xvfb, xcompmgr, xdotool and ImageMagick. Takes a few minutes.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"
windows_dir="${COBALTLINE_WINDOWS_BUILD_DIR:-$root/build-windows}"
docs="$root/docs"

if [ -z "${SCREENSHOTS_ON_XVFB:-}" ]; then
    exec env SCREENSHOTS_ON_XVFB=1 xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$0" "$@"
fi

service_url="http://127.0.0.1:8750"
source "$root/tests/e2e/session.sh"
work="$(mktemp -d)"

app="$windows_dir/dist/Cobaltline/Cobaltline.exe"
service="$(find "$build_dir/updateservice" -type f -name cobaltline-service -perm -u+x -not -path '*/CMakeFiles/*' | head -n 1)"
fixtures="$root/tests/fixtures/plugins"
[ -f "$app" ] || { echo "no $app: run scripts/build-windows.sh first"; exit 1; }
[ -n "$service" ] || { echo "no cobaltline-service in $build_dir: run scripts/build.sh first"; exit 1; }

export WINEPREFIX="$work/prefix" WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
stop_program() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
trap '{ end_session; stop_program; } 2>/dev/null; rm -rf "$work"' EXIT

"$root/tests/windows/wine-prefix.sh" "$WINEPREFIX" || { echo "no Wine prefix"; exit 1; }
drive_c="$WINEPREFIX/drive_c"
user_folder="$drive_c/users/$(id -un)"
data="$user_folder/AppData/Roaming/Cobaltline"

# The plug-in folders.
vst="$drive_c/Program Files/VSTPlugins"
steinberg="$drive_c/Program Files/Steinberg/VSTPlugins"
vst3="$drive_c/Program Files/Common Files/VST3"
clap="$drive_c/Program Files/Common Files/CLAP"
mkdir -p "$vst" "$steinberg" "$vst3/Table E4.vst3/Contents/x86_64-win" "$clap"
cp "$fixtures"/version/*.dll "$vst/"
cp -r "$fixtures"/walk/. "$steinberg/"
cp "$fixtures/version/arch-x86_64.dll" "$vst3/Arch.vst3"
cp "$fixtures/version/table-040904e4.dll" "$vst3/Table E4.vst3/Contents/x86_64-win/Table E4.vst3"
cp "$fixtures/version/lang-0009-0409.dll" "$clap/Language.clap"

dialog=""
find_dialog() { dialog="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)"; [ -n "$dialog" ]; }
in_dialog()   { eval "$(xdotool getwindowgeometry --shell "$dialog")"; xdotool mousemove "$((X + 1 + $1))" "$((Y + 27 + $2))"; }
shoot()       { xdotool mousemove 0 0; sleep 1.5; import -window "$1" "$docs/$2"; echo "$2"; }
close_dialog(){ xdotool key --window "$dialog" Escape; sleep 0.7; }

# Starts Cobaltline.exe and sets `window` and the content's screen origin
# `cx` `cy`. Wine draws no frame of its own here: the window's client area
# starts at its origin, below JUCE's title bar.
start_windows_program()
{
    xdotool mousemove 0 0
    wine "$app" >>"$work/app.log" 2>&1 &
    session_pids+=($!)
    wait_window "Cobaltline" 120 || fail "no window named Cobaltline"
    window="$found"
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$window")"
    cx=$((X + 4)) cy=$((Y + 30))
    wait_for 60 painted "$((cx + 21))" "$((cy + table_y))" 200 28 || fail "the tables are not painted"
}

# A compositing manager, as every Windows desktop has: without one, the
# shadows of menus and tooltips show black.
xcompmgr >/dev/null 2>&1 &
session_pids+=($!)

start_service "$service" "$root/updateservice/catalog/seed-catalog.csv" "studio@example.com" "Studio Pass1!" \
    || fail "no service"

# A first start: the splash, then the sign-up dialog with its entries typed.
start_windows_program
wait_for 30 find_dialog "Cobaltline - First Run" || fail "no first-run splash"
sleep 1
shoot "$dialog" first-run-splash.png
in_dialog $((160 + 75)) $((120 + 11)); xdotool click 1
wait_for 30 find_dialog "Cobaltline - Sign Up" || fail "no sign-up dialog"
sleep 1
for field in "120 Ada" "150 Lovelace" "180 ada@example.com" "210 Passw0rd!" "240 Passw0rd!" "270 Studio PC"; do
    in_dialog 300 "${field%% *}"; xdotool click 1; xdotool type --delay 5 "${field#* }"
done
shoot "$dialog" sign-up.png
close_dialog
stop_program
rm -rf "$data"

# A user with an account and the four folders: an empty table saying why,
# then a scan.
mkdir -p "$data"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="%s" Password="%s"/>\n' \
    "studio@example.com" "$(/usr/bin/python3 "$root/tools/cipher-vectors.py" "Studio Pass1!" | cut -f2)" >"$data/Profile.xml"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths %s/>\n' \
    'path1="C:\Program Files\VSTPlugins" pathFormat1="2" scanToggle1="1" path2="C:\Program Files\Steinberg\VSTPlugins" pathFormat2="2" scanToggle2="1" path3="C:\Program Files\Common Files\VST3" pathFormat3="5" scanToggle3="1" path4="C:\Program Files\Common Files\CLAP" pathFormat4="6" scanToggle4="1"' \
    >"$data/Paths.xml"

start_windows_program
sleep 1
shoot "$window" empty-table.png
scan "$data" || fail "no scan"
sleep 1
shoot "$window" updates-tab.png

# A row's menu, over the window.
xdotool mousemove "$((cx + row_x))" "$((cy + $(row_y 1)))" click 3
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/row-menu.png"; echo row-menu.png
xdotool key Escape
sleep 0.5

click "$installed_tab_x" "$tab_y"
sleep 1
shoot "$window" installed-tab.png

click "$filter_x" "$filter_y"
xdotool type --delay 20 "walk"
sleep 1
shoot "$window" filter.png
click "$filter_x" "$filter_y"
xdotool key ctrl+a BackSpace

click "$not_recognised_tab_x" "$tab_y"
sleep 1
shoot "$window" not-recognised-tab.png
click "$installed_tab_x" "$tab_y"
sleep 1

# Another machine's export, made from this one's inventory with a few changes,
# imported through the Windows file dialog: the comparison window.
mkdir -p "$user_folder/Documents"
python3 - "$data/Studio_PluginList.xml" "$user_folder/Documents/Laptop.cobaltline" <<'PY'
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
                      Path="C:\\Program Files\\Common Files\\VST3\\Laptop.vst3", Format="VST3", Error="")
root = ET.Element("CobaltlineExport", FormatVersion="1")
root.append(inventory)
ET.SubElement(root, "UpdateList")
ET.ElementTree(root).write(sys.argv[2], encoding="UTF-8", xml_declaration=True)
PY
click "$import_button_x" "$scan_button_y"
wait_for 30 find_dialog "Import Machine Profile" || fail "no file dialog"
sleep 1
xdotool type --delay 5 "C:\\users\\$(id -un)\\Documents\\Laptop.cobaltline"
xdotool key Return
wait_for 30 find_dialog "Compared with Laptop" || fail "no comparison"
sleep 1
shoot "$dialog" comparison.png
close_dialog

click "$prefs_button_x" "$scan_button_y"
wait_for 30 find_dialog "Preferences" || fail "no preferences"
prefs="$dialog"
sleep 1
shoot "$prefs" preferences-profile.png

in_dialog $((400 + 75)) $((63 + 60 + 10)); xdotool click 1   # "Forgot / Change Password?"
wait_for 30 find_dialog "Forgotten Password Reset" || fail "no forgotten-password dialog"
sleep 1
shoot "$dialog" forgotten-password.png
close_dialog

dialog="$prefs"
in_dialog $((270 + 60)) $((63 + 120 + 11)); xdotool click 1   # "Edit Profile..."
wait_for 30 find_dialog "Edit Profile" || fail "no edit-profile dialog"
sleep 1
shoot "$dialog" edit-profile.png
close_dialog

dialog="$prefs"
in_dialog $((58 + 29)) 29; xdotool click 1   # the Paths page
sleep 1
shoot "$prefs" preferences-paths.png
echo "screenshots written to $docs"
