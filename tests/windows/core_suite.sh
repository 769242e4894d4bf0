#!/usr/bin/env bash
# Runs the cross-built core test suite (cobaltline_core_tests.exe) under Wine
# in a fresh prefix. Further arguments go to the suite (e.g. --gtest_filter=).
set -euo pipefail

suite="$1"; shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

"$here/wine-prefix.sh" "$WINEPREFIX"
wine "$suite" "$@" </dev/null
