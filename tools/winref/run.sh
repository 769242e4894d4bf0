#!/bin/sh
# Runs verquery (the scanner's procedure over the real version API) under Wine
# on every fixture DLL and malformed file, writes
# tests/fixtures/plugins/expected-wine.tsv, and then checks it against the
# expectations in tools/fixtures/ and writes expected-overrides.tsv
# (tools/winref/compare.py).
#
# Needs: gcc-mingw-w64-x86-64 and 64-bit Wine (wine64), python3. Not run by
# the test suite; the output is committed. The Wine prefix lives under /tmp
# unless WINEPREFIX is set.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
plugins="$root/tests/fixtures/plugins"

if command -v wine64 >/dev/null 2>&1; then
    wine=wine64
elif [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
else
    wine=wine
fi

export WINEPREFIX="${WINEPREFIX:-/tmp/cobaltline-wineprefix}"
export WINEDEBUG=-all
# An English locale: Wine then uses the ANSI code page 1252 (verquery checks).
export LANG=C.UTF-8
unset LC_ALL || true

work=$(mktemp -d /tmp/winref.XXXXXX)
trap 'rm -rf "$work"' EXIT

x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -o "$work/verquery.exe" "$here/verquery.c" -lversion

# Make sure the prefix exists before timing anything.
"$wine" "$work/verquery.exe" "$plugins/version/table-040904e4.dll" >/dev/null

{
    python3 "$root/tools/fixtures/fixtures.py" expected | cut -f1
    python3 "$root/tools/fixtures/make-malformed.py" --expected | cut -f1
} > "$work/paths"

# One Wine process per file, so that a file that crashes or hangs Wine's
# version.dll costs only its own row (it is then missing from the output and
# compare.py says so).
: > "$work/expected-wine.tsv"
cd "$plugins"
# Wine itself now and then fails to start a process on a busy machine, so a
# failure is retried; a file that fails three times gets no row.
while IFS= read -r path; do
    attempt=1
    while :; do
        set +e
        timeout 60 "$wine" "$work/verquery.exe" "$path" > "$work/row" 2> "$work/err" < /dev/null
        status=$?
        set -e
        # A good row is one line of five tab-separated fields.
        if [ "$status" -eq 0 ] && awk -F '\t' 'END { exit !(NR == 1 && NF == 5) }' "$work/row"; then
            cat "$work/row" >> "$work/expected-wine.tsv"
            break
        fi
        echo "run.sh: Wine failed on $path, attempt $attempt (status $status): $(head -c 300 "$work/err" | tr '\n' ' ')" >&2
        # Status 4: verquery caught a crash inside the API; that will not change.
        [ "$status" -ne 4 ] && [ "$attempt" -lt 3 ] || break
        attempt=$((attempt + 1))
    done
done < "$work/paths"

mv "$work/expected-wine.tsv" "$plugins/expected-wine.tsv"
echo "run.sh: wrote $plugins/expected-wine.tsv ($(wc -l < "$plugins/expected-wine.tsv") rows)"

python3 "$here/compare.py"
