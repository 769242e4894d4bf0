# Shared by the end-to-end test and the screenshot script (sourced, not run):
# the stand-in service with an account, a user's settings, and the real
# program on the current X display, driven with xdotool.
#
# The caller sets `service_url`, and either calls begin_test or sets `work` (a
# scratch folder) and calls end_session on exit itself.

session_pids=()

# For a test: skips it (exit 77) unless the program is built for the stand-in
# service on 127.0.0.1:8750, makes the scratch folder and the folder of its
# screenshots, starts the test's own X display and ends the session on exit.
begin_test()
{
    if [ "$service_url" != "http://127.0.0.1:8750" ]; then
        echo "the program is built for $service_url, not the stand-in service on 127.0.0.1:8750: skipped"
        exit 77
    fi

    start_artefacts
    work="$(mktemp -d)"
    trap 'end_session; rm -rf "$work"' EXIT
    start_display || fail "no X display"
}

# The screenshots of a test's steps go to $COBALTLINE_E2E_ARTEFACTS (the
# registration gives each test a folder of the build tree); run by hand, to a
# folder of the script's name under the temporary folder. Those of an earlier
# run of the test are removed first.
start_artefacts()
{
    artefacts="${COBALTLINE_E2E_ARTEFACTS:-${TMPDIR:-/tmp}/cobaltline-e2e-artefacts/$(basename "$0" .sh)${COBALTLINE_E2E_WM:+-$COBALTLINE_E2E_WM}}"
    mkdir -p "$artefacts"
    rm -f "$artefacts"/[0-9][0-9]-*.png
    step_number=0
}

# screenshot NAME: the whole screen as the next numbered PNG of the artefacts
# (NN-NAME.png), whose path it sets `shot` to ("" when none was taken: no
# folder, no display, or the capture failed).
screenshot()
{
    shot=""
    [ -n "${artefacts:-}" ] && [ -n "${DISPLAY:-}" ] || return 0
    step_number=$((step_number + 1))
    local name="${1//[^A-Za-z0-9-]/-}" file
    file="$artefacts/$(printf '%02d' "$step_number")-${name:0:60}.png"
    if import -window root "$file" 2>/dev/null; then shot="$file"; fi
}

# step NAME: the test has reached a step of the user's journey, which it
# logs and keeps as a screenshot. Call it once the screen shows the step.
step()
{
    screenshot "$1"
    echo "step ${step_number:-0}: $1${shot:+ ($shot)}"
}

# A private X display, so that no other test's windows stand in the way, with
# the window manager $COBALTLINE_E2E_WM on it when that is set ("openbox"):
# users always have one, and it changes how windows stack and take the focus.
start_display()
{
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    session_pids+=($!)
    wait_for 30 test -s "$work/display" || { echo "Xvfb did not start"; return 1; }
    export DISPLAY=":$(head -n 1 "$work/display")"

    case "${COBALTLINE_E2E_WM:-}" in
        "") ;;
        openbox)
            # Started a second time if it is not up after a minute (seen once
            # on a machine busy with Wine).
            wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
            for attempt in 1 2; do
                openbox --sm-disable >"$work/openbox.log" 2>&1 &
                session_pids+=($!)
                wait_for 60 wm_running && break
                echo "openbox did not start (attempt $attempt):"; cat "$work/openbox.log"
                kill "${session_pids[-1]}" 2>/dev/null || true
                [ "$attempt" = 2 ] && return 1
            done
            ;;
        *) echo "unknown window manager: $COBALTLINE_E2E_WM"; return 1 ;;
    esac
}

# For a test: reports the failure with a screenshot of the screen (among the
# artefacts, else /tmp/cobaltline-e2e-failure.png), and ends it.
fail()
{
    echo "FAILED: $*"

    if [ -n "${artefacts:-}" ]; then
        screenshot failure
        [ -z "$shot" ] || echo "screenshot: $shot"
    else
        import -window root /tmp/cobaltline-e2e-failure.png 2>/dev/null && echo "screenshot: /tmp/cobaltline-e2e-failure.png"
    fi
    exit 1
}

# Ends the program and the service; the display goes last.
end_session()
{
    local i
    for ((i = ${#session_pids[@]} - 1; i >= 0; --i)); do kill "${session_pids[$i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
}

wait_for()   # seconds, command...
{
    local tries=$(($1 * 10)); shift
    for _ in $(seq 1 "$tries"); do "$@" && return 0; sleep 0.1; done
    return 1
}

# find_named TITLE: sets `found` to a shown window with exactly this title.
find_named()
{
    found="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)"
    [ -n "$found" ]
}

# wait_window TITLE [SECONDS]: waits until a window with this title is shown
# and keeps its place (a window is placed, and may be moved by a window
# manager, after it is mapped), and sets `found` to it.
wait_window()
{
    local title="$1" seconds="${2:-30}" last="" now=""
    settled()
    {
        find_named "$title" || return 1
        now="$(xdotool getwindowgeometry "$found" 2>/dev/null)"
        [ -n "$now" ] && [ "$now" = "$last" ] && return 0
        last="$now"
        return 1
    }
    wait_for "$seconds" settled
}

# press_until CONDITION... -- X Y: clicks at the screen point until the
# condition holds (a click that arrives before a window takes input is
# repeated), for up to 30 s.
press_until()
{
    local condition=() x y
    while [ "$1" != "--" ]; do condition+=("$1"); shift; done
    shift; x="$1" y="$2"
    for _ in $(seq 1 15); do
        xdotool mousemove "$x" "$y" click 1
        wait_for 2 "${condition[@]}" && return 0
    done
    return 1
}

# key_until CONDITION... -- KEY: presses the key until the condition holds.
key_until()
{
    local condition=()
    while [ "$1" != "--" ]; do condition+=("$1"); shift; done
    shift
    for _ in $(seq 1 15); do
        xdotool key "$1"
        wait_for 2 "${condition[@]}" && return 0
    done
    return 1
}

# Where a point of a dialog's content is on the screen: inside its 1-pixel
# border, below its 26-pixel title bar.
content_x() { local X Y WIDTH HEIGHT SCREEN WINDOW; eval "$(xdotool getwindowgeometry --shell "$1")"; echo $((X + 1 + $2)); }
content_y() { local X Y WIDTH HEIGHT SCREEN WINDOW; eval "$(xdotool getwindowgeometry --shell "$1")"; echo $((Y + 27 + $2)); }
click_in()   { xdotool mousemove "$(content_x "$1" "$2")" "$(content_y "$1" "$3")" click 1; }

# type_into WINDOW X Y TEXT: clicks a field of a dialog, empties it and types.
type_into()
{
    click_in "$1" "$2" "$3"
    xdotool key ctrl+a BackSpace
    xdotool type --delay 5 "$4"
}

gone() { ! find_named "$1"; }

# The region's pixels are not all alike: something is painted there.
painted()   # x y width height (screen)
{
    local deviation
    deviation="$(import -window root -crop "$3x$4+$1+$2" +repage -colorspace gray -format '%[fx:standard_deviation]' info: 2>/dev/null)"
    awk -v d="${deviation:-0}" 'BEGIN { exit !(d > 0.01) }'
}

# start_service SERVICE CATALOG EMAIL PASSWORD: the service on 127.0.0.1:8750
# with the catalog and one account.
start_service()
{
    local service="$1" catalog="$2" email="$3" password="$4"

    if curl -fsS -o /dev/null "$service_url/checkconnect/index.html" 2>/dev/null; then
        echo "something already answers on $service_url; stop it (scripts/run.sh?) and try again"
        return 1
    fi

    "$service" import-catalog --db "$work/service.db" "$catalog" >/dev/null
    "$service" serve --listen 127.0.0.1:8750 --db "$work/service.db" --outbox "$work/outbox" --argon2 fast --quiet \
        >"$work/service.log" 2>&1 &
    session_pids+=($!)
    wait_for 10 curl -fsS -o /dev/null "$service_url/checkconnect/index.html" || { echo "the service did not start"; return 1; }

    curl -fsS -o /dev/null --data-urlencode "registerpost=true" --data-urlencode "email=$email" \
        --data-urlencode "password=$password" --data-urlencode "firstname=Test" --data-urlencode "lastname=User" \
        --data-urlencode "isdeveloper=0" "$service_url/authentication/index.php"
}

# write_profile CIPHER_SCRIPT EMAIL PASSWORD: Profile.xml (machine "Studio",
# the password enciphered) in $work/home's data folder, which is echoed.
write_profile()
{
    local cipher="$1" email="$2" password="$3"
    local data="$work/home/.config/Cobaltline"
    mkdir -p "$data"

    printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="%s" Password="%s"/>\n' \
        "$email" "$(/usr/bin/python3 "$cipher" "$password" | cut -f2)" >"$data/Profile.xml"
    echo "$data"
}

# write_settings CIPHER_SCRIPT EMAIL PASSWORD FOLDER: write_profile, and
# Paths.xml with one VST folder; echoes the data folder.
write_settings()
{
    local data
    data="$(write_profile "$1" "$2" "$3")"
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths path1="%s" pathFormat1="2" scanToggle1="1"/>\n' \
        "$4" >"$data/Paths.xml"
    echo "$data"
}

# start_program PROGRAM: runs it with $work/home as its home and a stand-in
# xdg-open that writes the pages it is asked to open to $work/opened.txt;
# sets `window` and the content's screen origin `cx` `cy`.
start_program()
{
    mkdir -p "$work/bin"
    printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' "$work/opened.txt" >"$work/bin/xdg-open"
    chmod +x "$work/bin/xdg-open"

    # $program_path, when set, is the whole search path the program gets.
    HOME="$work/home" PATH="${program_path:-$work/bin:$PATH}" "$1" &
    program_pid=$!
    session_pids+=($!)

    wait_window "Cobaltline" 60 || { echo "no window named Cobaltline"; return 1; }
    window="$found"

    # The content starts below the window's own title bar (26) inside its border (4).
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$window")"
    cx=$((X + 4)) cy=$((Y + 30))

    # The tables are built and painted (their headers) before anything is clicked.
    wait_for 30 painted "$((cx + 21))" "$((cy + table_y))" 200 28 || { echo "the tables are not painted"; return 1; }
}

# stop_program [SIGNAL]: sends the program of start_program the signal (TERM)
# and waits until it has ended; the service and the display stay.
stop_program()
{
    kill -s "${1:-TERM}" "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    forget_pid "$program_pid"
    wait_for 10 gone "Cobaltline" || { echo "the program's window stayed"; return 1; }
}

# forget_pid PID: a process of the session that has ended is no longer ended
# with it (its number may be taken by another process by then).
forget_pid()
{
    local pid kept=()
    for pid in "${session_pids[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
    session_pids=("${kept[@]}")
}

click()        { xdotool mousemove "$((cx + $1))" "$((cy + $2))" click 1; }
double_click() { xdotool mousemove "$((cx + $1))" "$((cy + $2))" click --repeat 2 --delay 80 1; }

# Where things are in the main window's content: the tab content starts at
# (1, 91 + 36); a bar at (20, 20) in it, its Scan button at (15, 7), Export
# at (80, 7), Import at (145, 7); the table's panel at (20, 98) with the
# filter field at (8, 4) in it, the table 32 pixels down with a 28-pixel
# header and rows 22 high.
scan_button_x=$((1 + 20 + 15 + 22)) scan_button_y=$((127 + 20 + 7 + 23)) prefs_button_x=$((1 + 20 + 215 + 22))
export_button_x=$((1 + 20 + 80 + 22)) import_button_x=$((1 + 20 + 145 + 22))
installed_tab_x=110 not_recognised_tab_x=200 tab_y=$((91 + 17))
filter_x=$((1 + 20 + 8 + 100)) filter_y=$((127 + 98 + 4 + 12))
table_y=$((127 + 98 + 32))
row_x=120
row_y() { echo $((table_y + 28 + 22 * $1 + 11)); }

# start_scan DATA_FOLDER [MACHINE]: presses Scan until the progress window
# shows (or a quick scan has already stored its update list, which it
# deletes first).
start_scan()
{
    local list="$1/${2:-Studio}_CobaltlineList.xml"
    rm -f "$list"
    scan_started() { find_named "Scanning Plugins..." || test -s "$list"; }
    press_until scan_started -- "$((cx + scan_button_x))" "$((cy + scan_button_y))" \
        || { echo "the scan does not start"; return 1; }
}

# scan DATA_FOLDER [MACHINE]: presses Scan and waits until the update list is
# stored, the progress window is gone and both tables show rows.
scan()
{
    local list="$1/${2:-Studio}_CobaltlineList.xml"
    start_scan "$@" || return 1
    wait_for 120 test -s "$list" || { echo "no update list after the scan"; return 1; }
    wait_for 60 gone "Scanning Plugins..." || { echo "the progress window stayed"; return 1; }
    wait_for 30 rows_shown || { echo "the Updates table shows no rows"; return 1; }
}

# The table of the tab shown has a first row with text in it.
rows_shown() { painted "$((cx + 21 + 4))" "$((cy + $(row_y 0) - 9))" 200 18; }

# A checksum of what the screen shows in a region.
region_sum() { import -window root -crop "$3x$4+$1+$2" +repage rgb:- 2>/dev/null | md5sum; }

# switch_tab X: clicks a tab until the table header shows another table's
# columns.
switch_tab()
{
    local header=("$((cx + 21))" "$((cy + table_y))" 800 28) before
    before="$(region_sum "${header[@]}")"
    header_changed() { [ "$(region_sum "${header[@]}")" != "$before" ]; }
    press_until header_changed -- "$((cx + $1))" "$((cy + tab_y))"
}

# show_tab X: switch_tab, then waits until the table shows rows.
show_tab() { switch_tab "$1" && wait_for 30 rows_shown; }

# open_sign_up_from_splash: a first start's splash, then "New User - Sign
# Up", which opens the sign-up dialog in its place.
open_sign_up_from_splash()
{
    local splash
    wait_window "Cobaltline - First Run" || fail "no first-run splash"
    splash="$found"
    step "first-run splash"
    signup_shown() { find_named "Cobaltline - Sign Up"; }
    press_until signup_shown -- "$(content_x "$splash" $((160 + 75)))" "$(content_y "$splash" $((120 + 11)))" \
        || fail "no sign-up dialog"
    find_named "Cobaltline - First Run" && fail "the splash is still there"
    wait_window "Cobaltline - Sign Up" || fail "the sign-up dialog does not settle"
    step "sign-up dialog"
}

# fill_sign_up FIRST LAST EMAIL PASSWORD REPEAT MACHINE: types the entries
# into the open sign-up dialog, which it sets `signup` to.
fill_sign_up()
{
    wait_window "Cobaltline - Sign Up" || fail "no sign-up dialog"
    signup="$found"
    type_into "$signup" 300 120 "$1"
    type_into "$signup" 300 150 "$2"
    type_into "$signup" 300 180 "$3"
    type_into "$signup" 300 210 "$4"
    type_into "$signup" 300 240 "$5"
    type_into "$signup" 300 270 "$6"
}

# sign_up CIPHER_SCRIPT FIRST LAST EMAIL PASSWORD MACHINE DATA_FOLDER: fills in
# the open sign-up dialog, signs up, and waits until Profile.xml holds the
# account and the service's welcome has been read (Return).
sign_up()
{
    local cipher="$1" first="$2" last="$3" email="$4" password="$5" machine="$6" data="$7" expected
    fill_sign_up "$first" "$last" "$email" "$password" "$password" "$machine"
    step "sign-up filled in"
    click_in "$signup" $((160 + 65)) $((390 + 11))   # "Sign Up"

    wait_for 30 test -s "$data/Profile.xml" || fail "no Profile.xml after signing up"
    expected="<CobaltlineProfile MachineName=\"$machine\" Email=\"$email\" Password=\"$(/usr/bin/python3 "$cipher" "$password" | cut -f2)\"/>"
    grep -qF "$expected" "$data/Profile.xml" || { cat "$data/Profile.xml"; fail "Profile.xml does not hold the account"; }

    wait_window "Welcome to Cobaltline" || fail "no welcome after signing up"
    step "welcome after signing up"
    find_named "Cobaltline - Sign Up" && fail "the sign-up dialog is still there"
    key_until gone "Welcome to Cobaltline" -- Return || fail "the welcome does not close"
}

# Where things are in the preferences window's content: the page buttons
# (58 x 58) along the top, the page from y 63.
profile_page_x=29 paths_page_x=87 page_button_y=29 page_y=63

# open_preferences: presses "Preferences" on the main window's bar and sets
# `prefs` to the window.
open_preferences()
{
    press_until find_named "Preferences" -- "$((cx + prefs_button_x))" "$((cy + scan_button_y))" \
        || { echo "no preferences window"; return 1; }
    wait_window "Preferences" || return 1
    prefs="$found"
}

# show_paths_page: shows the Paths page of the open preferences (`prefs`).
show_paths_page()
{
    paths_shown() { painted "$(content_x "$prefs" 30)" "$(content_y "$prefs" $((page_y + 300)))" 59 20; }
    press_until paths_shown -- "$(content_x "$prefs" "$paths_page_x")" "$(content_y "$prefs" "$page_button_y")"
}

# Where a row of the Paths page is in the preferences' content: row N's path
# field at (90, 30 N) of the page, its scan tick box at (620, 30 N), both 20
# high; "Save Settings" at (310, 350).
paths_field_x=220 paths_tick_x=630 paths_save_x=375 paths_save_y=$((page_y + 361))
paths_row_y() { echo $((page_y + 30 * $1 + 10)); }

# newest_reset_code OUTBOX: the code of the newest reset mail.
newest_reset_code()
{
    local message
    message="$(grep -l "^Subject: Your Cobaltline password reset code" "$1"/*.eml 2>/dev/null | sort | tail -n 1)"
    [ -n "$message" ] && tr -d '\r' <"$message" | grep -E '^[A-Z0-9]{12}$' | head -n 1
}

