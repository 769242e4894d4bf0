#!/usr/bin/env bash
# Starts the real application with a private home folder on the current X
# display and checks what a first start must do: the window "Cobaltline"
# appears, and the data folder holds both defaults files and nothing else.
set -euo pipefail

app="$1"
home="$(mktemp -d)"
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$home"' EXIT

HOME="$home" "$app" &
pid=$!

# The window is created (and named) first and shown once it is built, so the
# test waits until it is shown.
folder="$home/.config/Cobaltline"
shown() { xdotool search --onlyvisible --name '^Cobaltline$' >/dev/null 2>&1; }
for _ in $(seq 1 100); do
    shown && break
    sleep 0.1
done

shown || { echo "no window named Cobaltline is shown"; exit 1; }
[ -f "$folder/Defaults_Profile.xml" ] || { echo "Defaults_Profile.xml missing"; exit 1; }
[ -f "$folder/Defaults_Paths.xml" ] || { echo "Defaults_Paths.xml missing"; exit 1; }
[ ! -e "$folder/Profile.xml" ] || { echo "Profile.xml must not be created"; exit 1; }
[ ! -e "$folder/Paths.xml" ] || { echo "Paths.xml must not be created"; exit 1; }

kill -0 "$pid" || { echo "the application ended by itself"; exit 1; }
echo "first start: window shown, defaults written"
