#!/usr/bin/env bash
# Takes the README's screenshots: the real program against the stand-in
# service, after a scan of the fixture plug-ins, on a private Xvfb display.
# Writes docs/updates-tab.png, docs/installed-tab.png, docs/preferences-profile.png
# and docs/preferences-paths.png.
#
# Usage: tools/docs/screenshots.sh   (after scripts/build.sh)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="${COBALTLINE_BUILD_DIR:-$root/build}"

if [ -z "${SCREENSHOTS_ON_XVFB:-}" ]; then
    exec env SCREENSHOTS_ON_XVFB=1 xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$0" "$@"
fi

service_url="http://127.0.0.1:8750"
source "$root/tests/e2e/session.sh"
work="$(mktemp -d)"
trap 'end_session; rm -rf "$work"' EXIT

app="$(find "$build_dir/src/app" -type f -name Cobaltline -perm -u+x | head -n 1)"
service="$build_dir/updateservice/cobaltline-service"

start_service "$service" "$root/updateservice/catalog/seed-catalog.csv" "studio@example.com" "Studio Pass1!"
data="$(write_settings "$root/tools/cipher-vectors.py" "studio@example.com" "Studio Pass1!" "$root/tests/fixtures/plugins")"
start_program "$app"
scan "$data"

xdotool mousemove "$((cx + 400))" "$((cy + 40))"   # the pointer out of the way
sleep 0.5
import -window "$window" "$root/docs/updates-tab.png"
click "$installed_tab_x" "$tab_y"
xdotool mousemove "$((cx + 400))" "$((cy + 40))"
sleep 0.7
import -window "$window" "$root/docs/installed-tab.png"

# The preferences window of the Installed tab's bar: first the Profile page,
# then the Paths page (the second page button; the window's content starts
# below its 26-pixel title bar inside a 1-pixel border).
click "$prefs_button_x" "$scan_button_y"
prefs=""
find_prefs() { prefs="$(xdotool search --onlyvisible --name '^Preferences$' 2>/dev/null | head -n 1)"; [ -n "$prefs" ]; }
wait_for 10 find_prefs
sleep 0.5
import -window "$prefs" "$root/docs/preferences-profile.png"
eval "$(xdotool getwindowgeometry --shell "$prefs")"
xdotool mousemove "$((X + 1 + 58 + 29))" "$((Y + 27 + 29))" click 1
xdotool mousemove "$((X + 600))" "$((Y + 27 + 20))"
sleep 0.5
import -window "$prefs" "$root/docs/preferences-paths.png"
echo "docs/updates-tab.png, installed-tab.png, preferences-profile.png and preferences-paths.png written"
