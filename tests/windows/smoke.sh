#!/usr/bin/env bash
# The Windows program under Wine, in a fresh prefix, against the real
# stand-in service: its main window appears, and "Scan" writes the inventory
# of a plug-in folder and stores the service's update list. Prints how long
# the prefix, the start-up and the scan took.
#
# With SCANNER_EXE, the console scanner then scans the same settings beside
# the open window and prints its JSON.
#
# With --installer, the program comes from the installer as a user gets it:
# signed (here with a throw-away certificate, as scripts/sign-windows.sh
# signs a release) and the signature checked, installed silently (/S) for
# the machine, then run from Program Files; the uninstaller then removes the
# program, its Start-menu entry and its "Apps & features" entry, and keeps
# the user's data folder.
#
# Usage: smoke.sh [--installer SETUP_EXE] COBALTLINE_EXE SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL [SCANNER_EXE]
# Runs on an X display of its own; needs wine, Xvfb, xdotool, ImageMagick,
# curl, and for --installer openssl and osslsigncode.
set -euo pipefail

installer=""
if [ "${1:-}" = "--installer" ]; then
    installer="$2"
    shift 2
fi
app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6" scanner="${7:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"

source "$here/../e2e/session.sh"
begin_test

seconds_since() { echo "$(date +%s.%N) $1" | awk '{ printf "%.1f", $1 - $2 }'; }

export WINEPREFIX="$work/prefix" WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
stop_wine() { wineserver -k 2>/dev/null || true; }
trap '{ end_session; stop_wine; } 2>/dev/null; rm -rf "$work"' EXIT

started="$(date +%s.%N)"
"$here/wine-prefix.sh" "$WINEPREFIX" || fail "no Wine prefix"
echo "fresh Wine prefix: $(seconds_since "$started") s"

if [ -n "$installer" ]; then
    # Signed as a release is, with a certificate made for this test.
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Cobaltline Test Signing" \
        -keyout "$work/sign.key" -out "$work/sign.crt" >/dev/null 2>&1 || fail "no test certificate"
    setup="$work/$(basename "$installer")"
    cp "$installer" "$setup"
    COBALTLINE_SIGN_CERT="$work/sign.crt" COBALTLINE_SIGN_KEY="$work/sign.key" \
        "$root/scripts/sign-windows.sh" "$setup" >/dev/null || fail "the installer could not be signed"
    osslsigncode verify -CAfile "$work/sign.crt" -in "$setup" >"$work/verify.log" 2>&1 \
        || { cat "$work/verify.log"; fail "the installer's signature does not verify"; }
    grep -q "Cobaltline Test Signing" "$work/verify.log" || fail "the signature is not the test certificate's"
    # A byte changed after signing breaks the signature.
    python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[4096] ^= 0xFF; open(sys.argv[2], "wb").write(d)' \
        "$setup" "$work/tampered.exe"
    osslsigncode verify -CAfile "$work/sign.crt" -in "$work/tampered.exe" >/dev/null 2>&1 \
        && fail "a changed installer still verifies"

    started="$(date +%s.%N)"
    wine "$setup" /S >"$work/setup.log" 2>&1 || { cat "$work/setup.log"; fail "the installer failed"; }
    wineserver --wait
    echo "silent install: $(seconds_since "$started") s"

    installed="$WINEPREFIX/drive_c/Program Files/Cobaltline"
    for file in Cobaltline.exe cobaltline-scan.exe LICENSE.txt Uninstall.exe; do
        [ -f "$installed/$file" ] || fail "the installer put no $file into Program Files"
    done
    shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Cobaltline/Cobaltline.lnk"
    [ -f "$shortcut" ] || fail "no Start-menu entry for all users"

    # The entry of "Apps & features".
    uninstall_entry()
    {
        python3 - "$WINEPREFIX/system.reg" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
match = re.search(r'^\[Software\\\\(?:Wow6432Node\\\\)?Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Cobaltline\][^\n]*\n(.*?)(?:\n\n|\Z)',
                  text, re.S | re.M | re.I)
print(match.group(1) if match else "")
PY
    }
    entry="$(uninstall_entry)"
    version="$(basename "$installer" | sed -n 's/^Cobaltline-\(.*\)-win64\.exe$/\1/p')"
    grep -qF "\"DisplayName\"=\"Cobaltline\"" <<<"$entry" || { echo "$entry"; fail "no \"Apps & features\" entry"; }
    grep -qF "\"DisplayVersion\"=\"$version\"" <<<"$entry" || { echo "$entry"; fail "the entry does not carry the version $version"; }
    grep -qF "\"Publisher\"=\"Cobaltline\"" <<<"$entry" || { echo "$entry"; fail "the entry names no publisher"; }
    grep -qi "\"UninstallString\"=.*Program Files.*Cobaltline.*Uninstall.exe" <<<"$entry" \
        || { echo "$entry"; fail "the entry has no uninstaller"; }

    app="$installed/Cobaltline.exe"
    scanner="$installed/cobaltline-scan.exe"
fi

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
grep -q 'Path="Z:\\' <<<"$document" || { head -c 1500 <<<"$document"; fail "the inventory's paths are not Windows paths"; }

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

if [ -n "$installer" ]; then
    # The uninstaller, as "Apps & features" runs it, after the program ends.
    end_session
    session_pids=()
    wineserver --wait
    started="$(date +%s.%N)"
    wine "$installed/Uninstall.exe" /S >"$work/uninstall.log" 2>&1 || { cat "$work/uninstall.log"; fail "the uninstaller failed"; }
    # It runs on from a copy of itself in the temporary folder.
    wineserver --wait
    wait_for 60 test ! -e "$installed/Cobaltline.exe" || fail "the program is still in Program Files"
    wait_for 30 test ! -e "$installed" || { ls -la "$installed"; fail "the uninstaller left files in Program Files"; }
    [ ! -e "$shortcut" ] || fail "the Start-menu entry is still there"
    [ -z "$(uninstall_entry)" ] || fail "the \"Apps & features\" entry is still there"
    [ -s "$data/Profile.xml" ] && [ -s "$data/Paths.xml" ] && [ -s "$inventory" ] \
        || fail "the uninstaller took the user's data folder"
    echo "silent uninstall: $(seconds_since "$started") s; the data folder is kept"
    echo "Cobaltline $version from its signed installer under Wine: installed for the machine, main window, scan of $plugins plug-ins, uninstalled"
else
    echo "Cobaltline.exe under Wine: main window, scan of $plugins plug-ins, update list stored"
fi
