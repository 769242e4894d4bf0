#!/bin/sh
# Rebuilds src/pe/BestFit1252Table.cpp from what WideCharToMultiByte
# (1252, 0, ...) gives under Wine for each of the 65536 UTF-16 code units.
#
# Needs the MinGW-w64 cross compiler (gcc-mingw-w64-x86-64) and 64-bit Wine
# (wine64). Not part of the build or the test suite: the generated file is
# committed. The Wine prefix lives under /tmp unless WINEPREFIX is set.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
target="$root/src/pe/BestFit1252Table.cpp"

if command -v wine64 >/dev/null 2>&1; then
    wine=wine64
elif [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
else
    wine=wine
fi

export WINEPREFIX="${WINEPREFIX:-/tmp/cobaltline-wineprefix}"
export WINEDEBUG=-all
# An English locale, so that Wine's ANSI code page is 1252 as on the systems
# the plug-ins come from (the table asks for 1252 explicitly anyway).
export LANG=C.UTF-8
unset LC_ALL || true

work=$(mktemp -d /tmp/bestfit.XXXXXX)
trap 'rm -rf "$work"' EXIT

x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -o "$work/bestfit_gen.exe" "$here/bestfit_gen.c"
"$wine" "$work/bestfit_gen.exe" > "$work/BestFit1252Table.cpp"

mv "$work/BestFit1252Table.cpp" "$target"
echo "wrote $target"
