# Shared by the end-to-end test and the screenshot script (sourced, not run):
# the stand-in service with an account, a user's settings, and the real
# program on the current X display, driven with xdotool.
#
# The caller sets `service_url`, and either calls begin_test or sets `work` (a
# scratch folder) and calls end_session on exit itself.

session_pids=()

# For a test: skips it (exit 77) unless the program is built for the stand-in
# service on 127.0.0.1:8750, makes the scratch folder and ends the session on exit.
begin_test()
{
    if [ "$service_url" != "http://127.0.0.1:8750" ]; then
        echo "the program is built for $service_url, not the stand-in service on 127.0.0.1:8750: skipped"
        exit 77
    fi

    work="$(mktemp -d)"
    trap 'end_session; rm -rf "$work"' EXIT
}

# For a test: reports the failure with a screenshot of the screen, and ends it.
fail()
{
    echo "FAILED: $*"
    import -window root /tmp/cobaltline-e2e-failure.png 2>/dev/null && echo "screenshot: /tmp/cobaltline-e2e-failure.png"
    exit 1
}

end_session()
{
    for pid in "${session_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}

wait_for()   # seconds, command...
{
    local tries=$(($1 * 10)); shift
    for _ in $(seq 1 "$tries"); do "$@" && return 0; sleep 0.1; done
    return 1
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

# write_settings CIPHER_SCRIPT EMAIL PASSWORD FOLDER: Profile.xml (machine
# "Studio", the password enciphered) and Paths.xml with one VST folder, in
# $work/home's data folder, which is echoed.
write_settings()
{
    local cipher="$1" email="$2" password="$3" folder="$4"
    local data="$work/home/.config/Cobaltline"
    mkdir -p "$data"

    printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="%s" Password="%s"/>\n' \
        "$email" "$(/usr/bin/python3 "$cipher" "$password" | cut -f2)" >"$data/Profile.xml"
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths path1="%s" pathFormat1="2" scanToggle1="1"/>\n' \
        "$folder" >"$data/Paths.xml"
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

    HOME="$work/home" PATH="$work/bin:$PATH" "$1" &
    session_pids+=($!)

    window=""
    find_window() { window="$(xdotool search --onlyvisible --name '^Cobaltline$' 2>/dev/null | head -n 1)"; [ -n "$window" ]; }
    wait_for 20 find_window || { echo "no window named Cobaltline"; return 1; }
    sleep 1

    # The content starts below the window's own title bar (26) inside its border (4).
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$window")"
    cx=$((X + 4)) cy=$((Y + 30))
}

click()        { xdotool mousemove "$((cx + $1))" "$((cy + $2))" click 1; }
double_click() { xdotool mousemove "$((cx + $1))" "$((cy + $2))" click --repeat 2 --delay 80 1; }

# Where things are in the main window's content: the tab content starts at
# (1, 91 + 36); a bar at (20, 20) in it, its Scan button at (15, 7); a table at
# (20, 98) with a 28-pixel header and rows 22 high.
scan_button_x=$((1 + 20 + 15 + 22)) scan_button_y=$((127 + 20 + 7 + 23)) prefs_button_x=$((1 + 20 + 215 + 22))
installed_tab_x=110 tab_y=$((91 + 17))
row_x=120
row_y() { echo $((127 + 98 + 28 + 22 * $1 + 11)); }

# scan DATA_FOLDER: presses Scan and waits until the update list is stored,
# the progress window is gone and the tables have reloaded.
scan()
{
    click "$scan_button_x" "$scan_button_y"
    wait_for 60 test -s "$1/Studio_CobaltlineList.xml" || { echo "no update list after the scan"; return 1; }
    no_progress_window() { ! xdotool search --onlyvisible --name '^Scanning Plugins' >/dev/null 2>&1; }
    wait_for 30 no_progress_window || { echo "the progress window stayed"; return 1; }
    sleep 1.5
}
