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

folder="$home/.config/Cobaltline"
for _ in $(seq 1 100); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Cobaltline"'; then
        break
    fi
    sleep 0.1
done

xwininfo -root -tree | grep -q '"Cobaltline"' || { echo "no window named Cobaltline"; exit 1; }
[ -f "$folder/Defaults_Profile.xml" ] || { echo "Defaults_Profile.xml missing"; exit 1; }
[ -f "$folder/Defaults_Paths.xml" ] || { echo "Defaults_Paths.xml missing"; exit 1; }
[ ! -e "$folder/Profile.xml" ] || { echo "Profile.xml must not be created"; exit 1; }
[ ! -e "$folder/Paths.xml" ] || { echo "Paths.xml must not be created"; exit 1; }

kill -0 "$pid" || { echo "the application ended by itself"; exit 1; }
echo "first start: window shown, defaults written"
