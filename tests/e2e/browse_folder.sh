#!/usr/bin/env bash
# "Browse..." on the Paths page through the real program: the folder chooser
# opens over the preferences, a folder is typed into it and chosen, the row
# shows it, and "Save Settings" stores it. The chooser is JUCE's own
# ("juce": the program finds no zenity or kdialog on its path) or zenity
# ("zenity").
#
# Usage: browse_folder.sh APP CHOOSER SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick, and zenity for "zenity".
set -euo pipefail

app="$1" chooser="$2" service_url="$3"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"

case "$chooser" in
    juce) ;;
    zenity) command -v zenity >/dev/null || { echo "no zenity: skipped"; exit 77; } ;;
    *) echo "usage: browse_folder.sh APP juce|zenity SERVICE_URL"; exit 2 ;;
esac

begin_test

folder="$work/Plug-in Folders/Chosen"
mkdir -p "$folder" "$work/home"
data="$work/home/.config/Cobaltline"
mkdir -p "$data"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="a@example.com" Password=""/>\n' \
    >"$data/Profile.xml"

# Without zenity and kdialog on the program's path JUCE opens its own chooser.
[ "$chooser" = juce ] && program_path="$work/bin"
start_program "$app" || fail "no program"
open_preferences || fail "no preferences"

# The Paths page, then "Browse..." of row 1.
show_paths_page || fail "no Paths page"
chooser_shown() { find_named "Select a plugin directory to add..."; }
press_until chooser_shown -- "$(content_x "$prefs" 390)" "$(content_y "$prefs" $((page_y + 41)))" \
    || fail "no folder chooser"
wait_window "Select a plugin directory to add..." || fail "the folder chooser does not settle"
box="$found"

if [ "$chooser" = zenity ]; then
    # GTK's chooser: a "/" typed opens its location field; the folder, Return.
    # Without a window manager nothing gives zenity the keyboard focus (a
    # user clicks its list and its "OK" instead): the test gives it, as a
    # window manager does.
    xdotool windowfocus --sync "$box"
    xdotool type --delay 5 "$folder/"
    key_until gone "Select a plugin directory to add..." -- Return || fail "zenity does not take the folder"
else
    # JUCE's chooser: the folder typed into its file name box and Return
    # open the folder; "Open", at the bottom right, chooses it.
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT - 46 - 22))" click 1
    xdotool key ctrl+a BackSpace
    xdotool type --delay 5 "$folder"
    xdotool key Return
    press_until gone "Select a plugin directory to add..." -- "$((X + WIDTH - 40))" "$((Y + HEIGHT - 27))" \
        || fail "\"Open\" does not choose the folder"
fi

# The program is still there, and the preferences take input again: saving stores the folder.
wait_for 10 find_named "Preferences" || fail "the preferences are gone"
kill -0 "${session_pids[-1]}" 2>/dev/null || fail "the program ended"
press_until gone "Preferences" -- "$(content_x "$prefs" "$paths_save_x")" "$(content_y "$prefs" "$paths_save_y")" \
    || fail "\"Save Settings\" does not close the preferences"
grep -qF "path1=\"$folder\"" "$data/Paths.xml" || { cat "$data/Paths.xml"; fail "Paths.xml does not hold the chosen folder"; }

echo "browse with $chooser's chooser: folder chosen and saved${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
