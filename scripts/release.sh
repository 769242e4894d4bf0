#!/usr/bin/env bash
# Builds the release artefacts of the version in CMakeLists.txt for a given
# update service, into release/VERSION/:
#
#   Cobaltline-VERSION-win64.exe          the Windows installer
#   Cobaltline-VERSION-windows-x64.zip    the Windows program without installer
#   cobaltline_VERSION_amd64.deb          the program for Debian
#   cobaltline-service_VERSION_amd64.deb  the update service for Debian
#   SHA256SUMS
#
# Usage: scripts/release.sh --service-url https://updates.example.com
#            [--product-site-url URL] [--sponsor-url URL] [--out DIR]
#
# The service address must be https:// (plain http:// only for a loopback
# address, for trying a release out against the stand-in service). The
# builds go to build-release/ and build-release-windows/, Release, without
# tests. With a code-signing certificate in the environment (see
# scripts/sign-windows.sh) the Windows executables and the installer are
# signed. Installs what is missing, like the other scripts.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

usage()
{
    echo "usage: scripts/release.sh --service-url https://updates.example.com [--product-site-url URL] [--sponsor-url URL] [--out DIR]" >&2
    exit 2
}

service_url="" product_site_url="" sponsor_url="" out=""
while [ $# -gt 0 ]; do
    case "$1" in
        --service-url)      [ $# -ge 2 ] || usage; service_url="$2"; shift 2 ;;
        --product-site-url) [ $# -ge 2 ] || usage; product_site_url="$2"; shift 2 ;;
        --sponsor-url)      [ $# -ge 2 ] || usage; sponsor_url="$2"; shift 2 ;;
        --out)              [ $# -ge 2 ] || usage; out="$2"; shift 2 ;;
        *) usage ;;
    esac
done
[ -n "$service_url" ] || usage

# Passwords travel in the program's requests: only https, or http to this machine.
loopback='^http://(127\.[0-9]+\.[0-9]+\.[0-9]+|localhost|\[::1\])(:[0-9]+)?$'
if ! [[ "$service_url" =~ ^https://[^/]+$ ]] && ! [[ "$service_url" =~ $loopback ]]; then
    echo "release.sh: the service address must be https:// without a path (plain http:// only on loopback): $service_url" >&2
    exit 2
fi
for url in "$product_site_url" "$sponsor_url"; do
    if [ -n "$url" ] && ! [[ "$url" =~ ^https?://[^[:space:]]+$ ]]; then
        echo "release.sh: not a web address: $url" >&2
        exit 2
    fi
done

version="$(sed -n 's/^project *(Cobaltline VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }
out="${out:-$root/release/$version}"

settings=(-DCMAKE_BUILD_TYPE=Release -DCOBALTLINE_BUILD_TESTS=OFF -DCOBALTLINE_BUILD_BENCHMARKS=OFF
          -DCOBALTLINE_WARNINGS_AS_ERRORS=ON -DCOBALTLINE_SERVICE_URL="$service_url")
if [ -n "$product_site_url" ]; then settings+=(-DCOBALTLINE_PRODUCT_SITE_URL="$product_site_url"); fi
if [ -n "$sponsor_url" ]; then settings+=(-DCOBALTLINE_SPONSOR_URL="$sponsor_url"); fi

"$root/scripts/setup.sh"

# Settings of an earlier release build must not linger in its cache.
rm -f "$root/build-release/CMakeCache.txt" "$root/build-release-windows/CMakeCache.txt"

# The Linux executables with Debian's hardening: stack protector, fortified
# calls, read-only relocations, symbols bound at start.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
hardened=(-DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
          -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
          -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)")
COBALTLINE_BUILD_DIR="$root/build-release" "$root/scripts/build.sh" "${settings[@]}" "${hardened[@]}"
"$root/scripts/package-linux.sh" "$root/build-release"

# build-windows.sh makes the zip and the installer (and signs them when a
# certificate is given).
COBALTLINE_WINDOWS_BUILD_DIR="$root/build-release-windows" "$root/scripts/build-windows.sh" "${settings[@]}"

arch="$(dpkg --print-architecture)"
artefacts=(
    "$root/build-release-windows/packages/Cobaltline-$version-win64.exe"
    "$root/build-release-windows/dist/Cobaltline-$version-windows-x64.zip"
    "$root/build-release/packages/cobaltline_${version}_$arch.deb"
    "$root/build-release/packages/cobaltline-service_${version}_$arch.deb"
)
rm -rf "$out"
mkdir -p "$out"
for file in "${artefacts[@]}"; do
    [ -f "$file" ] || { echo "release.sh: $file was not made" >&2; exit 1; }
    cp "$file" "$out/"
done

lintian --fail-on error "$out"/*.deb >/dev/null 2>&1 || { lintian "$out"/*.deb >&2 || true; echo "release.sh: lintian reports errors" >&2; exit 1; }
(cd "$out" && sha256sum -- * >SHA256SUMS)

echo "Cobaltline $version for $service_url:"
(cd "$out" && ls -l -- *)
