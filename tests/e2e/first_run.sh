#!/usr/bin/env bash
# A new user's first start through the real program and the real stand-in
# service: without a profile the splash greets them, "New User - Sign Up"
# leads to the sign-up dialog, which registers the account and stores the
# profile (password enciphered); the next start shows no splash.
#
# Usage: first_run.sh APP SERVICE SEED_CATALOG CIPHER_SCRIPT SERVICE_URL
# Runs on the current X display; needs xdotool and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" cipher="$4" service_url="$5"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

find_named()   # title; sets `found`
{
    found="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)"
    [ -n "$found" ]
}

# The content of a dialog window starts below its title bar inside a 1-pixel border.
click_in()        { eval "$(xdotool getwindowgeometry --shell "$1")"; xdotool mousemove "$((X + 1 + $2))" "$((Y + 27 + $3))" click 1; }
type_into()       { click_in "$1" "$2" "$3"; sleep 0.1; xdotool type --delay 5 "$4"; }

start_service "$service" "$catalog" "someone.else@example.com" "Other Pass1!" || fail "no service"
mkdir -p "$work/home"
data="$work/home/.config/Cobaltline"
start_program "$app" || fail "no program"

wait_for 10 find_named "Cobaltline - First Run" || fail "no first-run splash"
click_in "$found" $((160 + 75)) $((120 + 11))   # "New User - Sign Up"

wait_for 10 find_named "Cobaltline - Sign Up" || fail "no sign-up dialog"
signup="$found"
find_named "Cobaltline - First Run" && fail "the splash is still there"
type_into "$signup" 300 120 "Ada"
type_into "$signup" 300 150 "Lovelace"
type_into "$signup" 300 180 "ada@example.com"
type_into "$signup" 300 210 "First Run1!"
type_into "$signup" 300 240 "First Run1!"
type_into "$signup" 300 270 "Analytical Engine"
click_in "$signup" $((160 + 65)) $((390 + 11))   # "Sign Up"

wait_for 20 test -s "$data/Profile.xml" || fail "no Profile.xml after signing up"
expected="<CobaltlineProfile MachineName=\"Analytical Engine\" Email=\"ada@example.com\" Password=\"$(/usr/bin/python3 "$cipher" 'First Run1!' | cut -f2)\"/>"
grep -qF "$expected" "$data/Profile.xml" || { cat "$data/Profile.xml"; fail "Profile.xml does not hold the account"; }

wait_for 10 find_named "Welcome to Cobaltline" || fail "no welcome after signing up"
find_named "Cobaltline - Sign Up" && fail "the sign-up dialog is still there"

# The next start: no splash.
end_session
session_pids=()
start_program "$app" || fail "no program at the second start"
sleep 2
find_named "Cobaltline - First Run" && fail "the splash came again"
echo "first run: splash, sign-up against the service, profile stored; no splash at the next start"
