#!/usr/bin/env bash
# Starts the real application where no window can be opened, without DISPLAY,
# with an empty one and with one that names no server: each time it must say
# so on standard error and end by itself with a failure, not a crash.
set -euo pipefail

app="$1"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT

# A display number no server listens on (well above the ones test runs take).
unused=4242
while [ -e "/tmp/.X11-unix/X$unused" ] || [ -e "/tmp/.X$unused-lock" ]; do
    unused=$((unused + 1))
done

for display in unset "" ":$unused"; do
    status=0
    if [ "$display" = unset ]; then
        env -u DISPLAY HOME="$home" timeout 30 "$app" 2> "$home/stderr" || status=$?
    else
        env DISPLAY="$display" HOME="$home" timeout 30 "$app" 2> "$home/stderr" || status=$?
    fi

    if [ "$status" -eq 0 ] || [ "$status" -ge 124 ]; then
        echo "DISPLAY='$display': exit status $status (expected a plain failure)"
        cat "$home/stderr"
        exit 1
    fi

    grep -q "needs a graphical display" "$home/stderr" || {
        echo "DISPLAY='$display': no word of the display on standard error:"
        cat "$home/stderr"
        exit 1
    }
done

echo "without a display: told on standard error, exit status $status"
