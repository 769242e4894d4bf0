#!/usr/bin/env bash
# The Debian packages, from a Linux build (scripts/build.sh): cobaltline (the
# program and the console scanner) and cobaltline-service (the update
# service), made by CPack into packages/ in the build folder.
#
# Usage: package-linux.sh [BUILD_DIR]     (default build/)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(cd "${1:-${COBALTLINE_BUILD_DIR:-$root/build}}" && pwd)"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")"
logged="$(dpkg-parsechangelog -l "$root/resources/debian/changelog" -S Version)"
if [ "$logged" != "$version" ]; then
    echo "package-linux.sh: the newest entry of resources/debian/changelog is $logged, the project's version $version" >&2
    exit 1
fi

# One run per package, so that each gets its own summary line
# (cmake/CPackProjectConfig.cmake).
rm -f "$build_dir/packages/"*.deb
for component in program service; do
    (cd "$build_dir" && cpack -G DEB -D CPACK_COMPONENTS_ALL="$component" >"$build_dir/packages-$component.log" 2>&1) \
        || { cat "$build_dir/packages-$component.log" >&2; echo "package-linux.sh: no package of the $component" >&2; exit 1; }
done

for package in cobaltline cobaltline-service; do
    deb="$build_dir/packages/${package}_${version}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || { echo "package-linux.sh: no $deb" >&2; exit 1; }
    echo "Debian package: $deb"
done
