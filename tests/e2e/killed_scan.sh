#!/usr/bin/env bash
# A scan killed (SIGKILL, as by a crash or a power cut of the process)
# through the real program and the real stand-in service. The plug-in tree is
# large enough for a scan of several seconds: four scan folders of 50,000
# files each (hard links to a few fixture DLLs; most files are presets the
# scanner passes over), so that the inventory is replaced four times a scan.
# The program is killed while it walks a folder, while it replaces the
# inventory, and while it uploads the inventory for its version check. After
# each kill every XML file of the data folder parses, the settings files are
# as they were, the inventory holds whole folders, and a new start scans to
# the end and shows the update list.
#
# Usage: killed_scan.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL [POINT...]
# POINTs are scan_killer.py's: walking, replacing, uploading. When none are
# given, all three without a window manager, and only "replacing" under
# one ($COBALTLINE_E2E_WM): what a kill leaves on disk does not depend on the
# window manager, and each point costs two scans. Runs on an X display of its
# own; needs Xvfb, xdotool, ImageMagick, curl and python3. Keeps a
# screenshot of each step (session.sh, `step`).
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6"
shift 6
points=("$@")
if [ ${#points[@]} = 0 ]; then
    if [ -n "${COBALTLINE_E2E_WM:-}" ]; then points=(replacing); else points=(walking replacing uploading); fi
fi

here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/session.sh"
begin_test

# The tree, on the scratch folder's file system (hard links cannot cross
# file systems, so the DLLs are copied there first). Per scan folder: 200
# vendor folders of 250 files, 50 of them DLLs, of which one in five has no
# version and is turned away: 8,000 plug-ins kept per folder.
folders=4 kept_per_folder=8000
python3 - "$fixtures/plugins" "$work/tree" "$folders" <<'PY'
import os, shutil, sys
fixtures, root, folders = sys.argv[1], sys.argv[2], int(sys.argv[3])
dlls = ["version/version-1-2-3.dll", "version/arch-x86_64.dll", "version/version-4-10.dll", "walk/X.DLL",
        "version/no-version.dll"]
for folder in range(1, folders + 1):
    # A file takes at most 65,000 links on ext4: each folder links to copies of its own.
    sources = os.path.join(root, "sources%d" % folder)
    os.makedirs(sources)
    copies = [shutil.copy(os.path.join(fixtures, dll), sources) for dll in dlls]
    preset = os.path.join(sources, "preset.fxp")
    open(preset, "w").write("not a plug-in\n")
    for vendor in range(200):
        path = os.path.join(root, "folder%d" % folder, "vendor%03d" % vendor)
        os.makedirs(path)
        for i in range(250):
            if i < 50:
                os.link(copies[i % len(copies)], os.path.join(path, "plugin%03d.dll" % i))
            else:
                os.link(preset, os.path.join(path, "preset%03d.fxp" % i))
PY

start_service "$service" "$catalog" "e2e@example.com" "Scan Pass1!" || fail "no service"
data="$(write_profile "$cipher" "e2e@example.com" "Scan Pass1!")"
{
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths'
    for n in $(seq 1 "$folders"); do printf ' path%d="%s" pathFormat%d="2" scanToggle%d="1"' "$n" "$work/tree/folder$n" "$n" "$n"; done
    printf '/>\n'
} >"$data/Paths.xml"
inventory="$data/Studio_PluginList.xml" list="$data/Studio_CobaltlineList.xml"

# check_data WHEN: every XML file of the data folder parses (temporary files
# left by a kill are listed, not read: the program never reads them), the
# settings files are as before the scans, and the inventory, when there is
# one, holds the plug-ins of whole scan folders.
mkdir -p "$work/settings"
cp "$data/Profile.xml" "$data/Paths.xml" "$work/settings/"
check_data()
{
    local name
    for name in Profile.xml Paths.xml; do
        cmp -s "$work/settings/$name" "$data/$name" || { cat "$data/$name"; fail "$name changed $1"; }
    done
    python3 - "$data" "$kept_per_folder" "$folders" <<'PY' || fail "a file of the data folder is damaged $1"
import os, sys, xml.etree.ElementTree as ET
data, per_folder, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
damaged = False
for name in sorted(os.listdir(data)):
    if not name.endswith(".xml"):
        continue
    if "_temp" in name:
        print("left behind: %s (%d bytes)" % (name, os.path.getsize(os.path.join(data, name))))
        continue
    try:
        root = ET.parse(os.path.join(data, name)).getroot()
    except ET.ParseError as error:
        print("%s does not parse: %s" % (name, error))
        damaged = True
        continue
    if name == "Studio_PluginList.xml":
        plugins = len(root.findall("Plugin"))
        print("inventory: %d plug-ins" % plugins)
        if plugins % per_folder != 0 or plugins > per_folder * folders:
            print("the inventory holds %d plug-ins, not those of whole scan folders" % plugins)
            damaged = True
sys.exit(1 if damaged else 0)
PY
}

# A whole scan first, so that each kill meets the files of an earlier one.
start_program "$app" || fail "no program"
started=$SECONDS
scan "$data" || fail "no scan"
echo "a whole scan took about $((SECONDS - started)) s"
step "a whole scan"
check_data "after a whole scan"
python3 -c 'import sys, xml.etree.ElementTree as ET; sys.exit(len(ET.parse(sys.argv[1]).getroot().findall("Plugin")) != int(sys.argv[2]))' \
    "$inventory" "$((kept_per_folder * folders))" || fail "the inventory does not hold every plug-in of the tree"

for point in "${points[@]}"; do
    list_before="$(stat -c %Y.%i "$list")"

    # The watch begins before Scan is pressed; it kills the program itself.
    python3 "$here/scan_killer.py" "$program_pid" "$data" Studio "$work/tree" "$folders" "$point" \
        >"$work/killer.out" 2>&1 &
    killer=$!
    session_pids+=($killer)
    wait_for 30 grep -q '^watching$' "$work/killer.out" || { cat "$work/killer.out"; fail "the watch does not begin"; }
    scan_shown_or_killed() { find_named "Scanning Plugins..." || ! kill -0 "$program_pid" 2>/dev/null; }
    press_until scan_shown_or_killed -- "$((cx + scan_button_x))" "$((cy + scan_button_y))" || fail "the scan does not start"
    wait "$killer" || { cat "$work/killer.out"; fail "the program was not killed while $point"; }
    forget_pid "$killer"
    grep -v '^watching$' "$work/killer.out"
    stop_program KILL || fail "the program's window stayed after it was killed"

    check_data "by a kill while $point"
    if [ "$point" = uploading ] && [ "$(stat -c %Y.%i "$list" 2>/dev/null)" != "$list_before" ]; then
        echo "note: the update list was replaced before the kill landed"
    fi

    # The next start shows the update list of the last whole scan, and scans to the end.
    start_program "$app" || fail "no program after a kill while $point"
    started=$SECONDS
    wait_for 60 rows_shown || fail "the Updates table shows no rows after a kill while $point"
    echo "the Updates table showed its rows $((SECONDS - started)) s after the window"
    step "started again after a kill while $point"
    scan "$data" || fail "no scan after a kill while $point"
    step "a whole scan after a kill while $point"
    check_data "after a kill while $point and a whole scan"
done

kill -0 "$program_pid" || fail "the program ended by itself"
echo "scans killed while ${points[*]}: the data folder's files whole, and the next scan went through${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
