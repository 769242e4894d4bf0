#!/usr/bin/env bash
# What a Windows user downloads, from a Windows build (scripts/build-windows.sh):
# the installer, packages/Cobaltline-VERSION-win64.exe (NSIS, made by CPack),
# and the zip, dist/Cobaltline-VERSION-windows-x64.zip, in the build folder.
# With a certificate in the environment (see scripts/sign-windows.sh) the
# program, the console scanner and the installer are signed.
#
# Usage: package-windows.sh [BUILD_DIR]     (default build-windows/)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(cd "${1:-${COBALTLINE_WINDOWS_BUILD_DIR:-$root/build-windows}}" && pwd)"

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build_dir/CMakeCache.txt"; }
version="$(cache_value CMAKE_PROJECT_VERSION)"
export COBALTLINE_SIGN_INFO_URL="${COBALTLINE_SIGN_INFO_URL:-$(cache_value COBALTLINE_PRODUCT_SITE_URL)}"

exe="$build_dir/src/app/Cobaltline_artefacts/Release/Cobaltline.exe"
scanner="$build_dir/src/console/cobaltline-scan_artefacts/Release/cobaltline-scan.exe"
for file in "$exe" "$scanner"; do
    [ -f "$file" ] || { echo "package-windows.sh: $file is not built" >&2; exit 1; }
done

signing=0
if [ -n "${COBALTLINE_SIGN_PKCS12:-}${COBALTLINE_SIGN_CERT:-}" ]; then
    signing=1
    "$root/scripts/sign-windows.sh" "$exe" "$scanner"
fi

# The zip: the program and the console scanner in a folder.
dist="$build_dir/dist"
rm -rf "$dist/Cobaltline"
mkdir -p "$dist/Cobaltline"
cp "$exe" "$scanner" "$dist/Cobaltline/"
cp "$root/LICENSE" "$dist/Cobaltline/LICENSE.txt"
zip="$dist/Cobaltline-$version-windows-x64.zip"
rm -f "$zip"
(cd "$dist" && python3 -m zipfile -c "$(basename "$zip")" Cobaltline/)

# The installer.
installer="$build_dir/packages/Cobaltline-$version-win64.exe"
rm -f "$installer"
(cd "$build_dir" && cpack -G NSIS >"$build_dir/packages-nsis.log" 2>&1) \
    || { cat "$build_dir/packages-nsis.log" >&2; echo "package-windows.sh: the installer was not made" >&2; exit 1; }
[ -f "$installer" ] || { echo "package-windows.sh: no $installer" >&2; exit 1; }
if [ "$signing" = 1 ]; then
    "$root/scripts/sign-windows.sh" "$installer"
fi

echo "Windows zip: $zip"
echo "Windows installer: $installer"
