#!/usr/bin/env bash
# A new user's first start through the real program and the real stand-in
# service: without a profile the splash greets them, "New User - Sign Up"
# leads to the sign-up dialog, which registers the account and stores the
# profile (password enciphered); the next start shows no splash.
#
# Usage: first_run.sh APP SERVICE SEED_CATALOG CIPHER_SCRIPT SERVICE_URL
# Runs on an X display of its own (with $COBALTLINE_E2E_WM as its window
# manager when set); needs Xvfb, xdotool and curl.
set -euo pipefail

app="$1" service="$2" catalog="$3" cipher="$4" service_url="$5"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

start_service "$service" "$catalog" "someone.else@example.com" "Other Pass1!" || fail "no service"
mkdir -p "$work/home"
data="$work/home/.config/Cobaltline"
start_program "$app" || fail "no program"

sign_up_from_splash "$cipher" "Ada" "Lovelace" "ada@example.com" "First Run1!" "Analytical Engine" "$data"

# The next start: no splash, once the window is shown and painted.
end_session
session_pids=()
start_display || fail "no X display at the second start"
start_program "$app" || fail "no program at the second start"
wait_for 3 find_named "Cobaltline - First Run" && fail "the splash came again"
echo "first run: splash, sign-up against the service, profile stored; no splash at the next start${COBALTLINE_E2E_WM:+ (under $COBALTLINE_E2E_WM)}"
