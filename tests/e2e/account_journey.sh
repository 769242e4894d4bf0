#!/usr/bin/env bash
# A new user's account, through the real program and the real stand-in
# service, as users meet it: sign up from the first-run splash; the
# preferences show the new account; "Forgot / Change Password?" gets a reset
# code and sets a new password, the dialog staying in front of the
# preferences after each alert; "Save Settings" on the Profile page keeps the
# new password; and the next scan logs in with it.
#
# Usage: account_journey.sh APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool, ImageMagick and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" fixtures="$4" cipher="$5" service_url="$6"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

start_service "$service" "$catalog" "someone.else@example.com" "Other Pass1!" || fail "no service"
mkdir -p "$work/home"
data="$work/home/.config/Cobaltline"
start_program "$app" || fail "no program"

# Sign up from the splash.
sign_up_from_splash "$cipher" "Ada" "Lovelace" "ada@example.com" "First Run1!" "Engine" "$data"

# The Profile page shows the account (the address field has text in it).
open_preferences || fail "no preferences"
address_shown() { painted "$(content_x "$prefs" 133)" "$(content_y "$prefs" $((page_y + 33)))" 120 14; }
wait_for 10 address_shown || fail "the Profile page does not show the new account"

# A new password with a reset code.
forgot_shown() { find_named "Forgotten Password Reset"; }
press_until forgot_shown -- "$(content_x "$prefs" 475)" "$(content_y "$prefs" $((page_y + 70)))" \
    || fail "no forgotten-password dialog"
wait_window "Forgotten Password Reset" || fail "the forgotten-password dialog does not settle"
forgot="$found"
type_into "$forgot" 265 50 "Second Pass2!"
type_into "$forgot" 265 80 "Second Pass2!"
click_in "$forgot" 425 110   # "Get Reset Code"
wait_window "Reset Code Sent" || fail "no \"Reset Code Sent\""
key_until gone "Reset Code Sent" -- Return || fail "\"Reset Code Sent\" does not close"

wait_for 20 newest_reset_code "$work/outbox" >/dev/null || fail "no reset mail"
code="$(newest_reset_code "$work/outbox")"

# Typed into the dialog, which must be in front after the alert.
type_into "$forgot" 265 110 "$code"
click_in "$forgot" 220 150   # "Reset Password"
wait_window "Password Reset" || fail "the reset did not succeed (is the dialog behind the preferences?)"
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
expected="<CobaltlineProfile MachineName=\"Engine\" Email=\"ada@example.com\" Password=\"$new_password\"/>"
grep -qF "$expected" "$data/Profile.xml" || { cat "$data/Profile.xml"; fail "saving the Profile page undid the new password"; }

# The next scan logs in with it.
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths path1="%s" pathFormat1="2" scanToggle1="1"/>\n' \
    "$fixtures/plugins/walk" >"$data/Paths.xml"
scan "$data" "Engine" || fail "no scan"
grep -q '<UpdateList' "$data/Engine_CobaltlineList.xml" || { cat "$data/Engine_CobaltlineList.xml"; fail "the scan did not log in"; }

echo "account journey: signed up, reset the password, saved the profile, scanned${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
