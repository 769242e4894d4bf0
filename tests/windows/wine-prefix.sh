#!/usr/bin/env bash
# Creates a fresh 64-bit Wine prefix in the folder given (which must not
# exist yet) for running the Windows build: English locale (ANSI code page
# 1252), no Mono or Gecko download prompts, and windows that Wine does not
# hand to a window manager (there is none under Xvfb, and a managed window
# makes Wine wait about 2 s whenever one is hidden).
set -euo pipefail

prefix="$1"
[ ! -e "$prefix" ] || { echo "wine-prefix: $prefix exists already" >&2; exit 1; }

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY

wine=wine
command -v wine64 >/dev/null 2>&1 && wine=wine64

"$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver --wait
