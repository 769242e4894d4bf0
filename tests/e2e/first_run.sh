#!/usr/bin/env bash
# A new user's first start through the real program and the real stand-in
# service: without a profile the splash greets them, and "New User - Sign Up"
# leads to the sign-up dialog. Passwords that differ are turned away with an
# "Invalid Entry" alert in front of the dialog, which stays in sight; the
# attempt registers nothing and leaves the dialog open;
# corrected, the sign-up registers the account and stores the profile
# (password enciphered), and the Profile page of the preferences shows it.
# The next start shows no splash.
#
# Usage: first_run.sh APP SERVICE SEED_CATALOG CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick and curl. Keeps a
# screenshot of each step (session.sh, `step`).
set -euo pipefail

app="$1" service="$2" catalog="$3" cipher="$4" service_url="$5"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

start_service "$service" "$catalog" "someone.else@example.com" "Other Pass1!" || fail "no service"
mkdir -p "$work/home"
data="$work/home/.config/Cobaltline"
start_program "$app" || fail "no program"

open_sign_up_from_splash

# One attempt with a repeated password that differs.
fill_sign_up "Ada" "Lovelace" "ada@example.com" "First Run1!" "First Run2!" "Analytical Engine"
logo=("$(content_x "$signup" 10)" "$(content_y "$signup" 10)" 300 50)
logo_before="$(region_sum "${logo[@]}")"
click_in "$signup" $((160 + 65)) $((390 + 11))   # "Sign Up"
wait_window "Invalid Entry" || fail "no \"Invalid Entry\" alert for passwords that differ"
step "invalid entry"
# The alert is in front of the dialog, which stays in sight (its logo, beside the alert).
[ "$(region_sum "${logo[@]}")" = "$logo_before" ] || fail "the sign-up dialog is not in sight beneath the alert"
key_until gone "Invalid Entry" -- Return || fail "the \"Invalid Entry\" alert does not close"
find_named "Cobaltline - Sign Up" || fail "the sign-up dialog closed after an invalid entry"
[ ! -e "$data/Profile.xml" ] || { cat "$data/Profile.xml"; fail "an invalid entry stored a profile"; }

# Corrected, the sign-up goes through (the service would refuse an address
# registered by the first attempt).
sign_up "$cipher" "Ada" "Lovelace" "ada@example.com" "First Run1!" "Analytical Engine" "$data"

# The Profile page shows the account: its address and machine name fields
# have text in them.
open_preferences || fail "no preferences"
field_shown() { painted "$(content_x "$prefs" 133)" "$(content_y "$prefs" $((page_y + $1 + 3)))" 120 14; }
wait_for 10 field_shown 30 || fail "the Profile page shows no e-mail address"
wait_for 10 field_shown 90 || fail "the Profile page shows no machine name"
step "preferences show the account"

# The next start: no splash, once the window is shown and painted.
end_session
session_pids=()
start_display || fail "no X display at the second start"
start_program "$app" || fail "no program at the second start"
wait_for 3 find_named "Cobaltline - First Run" && fail "the splash came again"
step "second start without splash"
echo "first run: splash, an invalid entry, sign-up against the service, the account in the preferences; no splash at the next start${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
