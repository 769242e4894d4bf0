#!/usr/bin/env bash
# A forgotten password, through the real program and the real stand-in
# service, as users meet it: a user with an account and a saved profile
# opens the preferences; "Forgot / Change Password?" gets a reset code by
# mail (the service's outbox) and sets a new password, the dialog staying in
# front of the preferences after each alert; "Save Settings" on the Profile
# page keeps the new password; and the next scan logs in with it. (Signing
# up, and the Profile page after it, are first_run.sh's.)
#
# Usage: account_journey.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick and curl. Keeps a
# screenshot of each step (session.sh, `step`).
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

start_service "$service" "$catalog" "ada@example.com" "First Run1!" || fail "no service"
data="$(write_settings "$cipher" "ada@example.com" "First Run1!" "$fixtures/plugins/walk")"
start_program "$app" || fail "no program"

open_preferences || fail "no preferences"
address_shown() { painted "$(content_x "$prefs" 133)" "$(content_y "$prefs" $((page_y + 33)))" 120 14; }
wait_for 10 address_shown || fail "the Profile page does not show the account"

# A new password with a reset code. The dialog opens in front of the
# preferences, which stay in sight (their page buttons, beside the dialog).
page_buttons=("$(content_x "$prefs" 0)" "$(content_y "$prefs" 0)" 120 58)
page_buttons_before="$(region_sum "${page_buttons[@]}")"
forgot_shown() { find_named "Forgotten Password Reset"; }
press_until forgot_shown -- "$(content_x "$prefs" 475)" "$(content_y "$prefs" $((page_y + 70)))" \
    || fail "no forgotten-password dialog"
wait_window "Forgotten Password Reset" || fail "the forgotten-password dialog does not settle"
forgot="$found"
type_into "$forgot" 265 50 "Second Pass2!"
type_into "$forgot" 265 80 "Second Pass2!"
step "forgotten-password dialog"
[ "$(region_sum "${page_buttons[@]}")" = "$page_buttons_before" ] \
    || fail "the preferences are not in sight beneath the forgotten-password dialog"
click_in "$forgot" 425 110   # "Get Reset Code"
wait_window "Reset Code Sent" || fail "no \"Reset Code Sent\""
step "reset code sent"
key_until gone "Reset Code Sent" -- Return || fail "\"Reset Code Sent\" does not close"

wait_for 20 newest_reset_code "$work/outbox" >/dev/null || fail "no reset mail"
code="$(newest_reset_code "$work/outbox")"

# Typed into the dialog, which must be in front after the alert.
type_into "$forgot" 265 110 "$code"
step "reset code from the mail typed in"
click_in "$forgot" 220 150   # "Reset Password"
wait_window "Password Reset" || fail "the reset did not succeed (is the dialog behind the preferences?)"
step "password reset"
new_password="$(/usr/bin/python3 "$cipher" "Second Pass2!" | cut -f2)"
grep -qF "Password=\"$new_password\"" "$data/Profile.xml" || fail "the new password is not stored"
key_until gone "Password Reset" -- Return || fail "\"Password Reset\" does not close"

# The dialog stays open after the reset; Escape closes it.
find_named "Forgotten Password Reset" || fail "the dialog closed after the reset"
click_in "$forgot" 60 140
key_until gone "Forgotten Password Reset" -- Escape || fail "the dialog does not close"

# Saving the Profile page keeps the new password.
press_until gone "Preferences" -- "$(content_x "$prefs" 190)" "$(content_y "$prefs" $((page_y + 131)))" \
    || fail "\"Save Settings\" does not close the preferences"
expected="<CobaltlineProfile MachineName=\"Studio\" Email=\"ada@example.com\" Password=\"$new_password\"/>"
grep -qF "$expected" "$data/Profile.xml" || { cat "$data/Profile.xml"; fail "saving the Profile page undid the new password"; }

# The next scan logs in with it: the service accepts it and sends its list.
scan "$data" || fail "no scan"
grep -q '<UpdateList' "$data/Studio_CobaltlineList.xml" || { cat "$data/Studio_CobaltlineList.xml"; fail "the scan did not log in"; }
step "scan with the new password accepted"

echo "account journey: reset a forgotten password with the mailed code, saved the profile, scanned${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
