#!/usr/bin/env bash
# Builds the static libraries the Windows build needs and Debian has no
# MinGW-w64 package of (libpng, libjpeg-turbo, expat), from Debian's own
# source packages with their Debian patches applied, into a cache outside the
# checkout. zlib comes from the libz-mingw-w64-dev package.
#
# Prints the install prefix on its last line. A finished prefix is reused; a
# different set of source versions or of this script gets a prefix of its own.
# $COBALTLINE_WINDOWS_DEPS overrides the cache folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${COBALTLINE_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/cobaltline/windows-deps}"
host=x86_64-w64-mingw32
jobs="$(nproc)"
packages=(libpng1.6 libjpeg-turbo expat)

mkdir -p "$cache"

# One build at a time per cache (another checkout may be building too).
exec 9>"$cache/lock"
flock 9

# A private apt configuration with the source archives of the archives this
# machine installs its packages from: the system's own lists stay untouched,
# and no deb-src line is needed there.
apt_dir="$cache/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/etc"
codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
mkdir -p "$apt_dir/etc/sources.list.d"
python3 "$root/scripts/apt-source-lines.py" "$codename" > "$apt_dir/etc/sources.list.d/debian.sources"
[ -s "$apt_dir/etc/sources.list.d/debian.sources" ] \
    || { echo "windows-deps: the apt configuration names no archive of $codename" >&2; exit 1; }
apt_options=(-o "Dir::Etc::sourcelist=/dev/null" -o "Dir::Etc::sourceparts=$apt_dir/etc/sources.list.d"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")

# Same sources, same script, same toolchain file and compiler: same prefix.
script_hash="$( { cat "${BASH_SOURCE[0]}" "$root/cmake/mingw-w64-x86_64.cmake"
                  "$host-g++-posix" --version; } | sha256sum | cut -c1-12)"
prefix_for() { echo "$cache/prefix-$(echo "$1 $script_hash" | sha256sum | cut -c1-16)"; }

# Every version of each package the source archives hold, newest first.
candidates=()
if apt-get "${apt_options[@]}" --error-on=any -qq update >/dev/null 2>&1; then
    for package in "${packages[@]}"; do
        list="$(apt-cache "${apt_options[@]}" showsrc "$package" 2>/dev/null \
                | awk '/^Version:/ { print $2 }' | sort -uVr | tr '\n' ' ')"
        [ -n "$list" ] || { echo "windows-deps: no source package $package" >&2; exit 1; }
        candidates+=("$list")
    done
fi

if [ ${#candidates[@]} -eq 0 ]; then
    latest="$(ls -1dt "$cache"/prefix-*/.complete 2>/dev/null | head -n 1 || true)"
    [ -n "$latest" ] || { echo "windows-deps: no network and nothing cached in $cache" >&2; exit 1; }
    echo "windows-deps: offline, using $(dirname "$latest")" >&2
    dirname "$latest"
    exit 0
fi

# The newest versions, when they were built already.
versions=""
for i in "${!packages[@]}"; do
    versions+="${packages[$i]}=$(echo "${candidates[$i]}" | cut -d' ' -f1) "
done
prefix="$(prefix_for "$versions")"
# What an earlier run built for these newest versions, when some of them
# could not be fetched.
resolved="$cache/resolved-$(basename "$prefix")"
[ -f "$resolved" ] && [ -f "$(cat "$resolved")/.complete" ] && prefix="$(cat "$resolved")"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work="$(mktemp -d "$cache/work.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# apt-get source checks the signed Release file and each file's checksum, and
# dpkg-source applies the Debian patches. A version whose files cannot be
# fetched (an archive that lists more than it serves) gives way to the next
# older one.
versions=""
for i in "${!packages[@]}"; do
    fetched=""
    for version in ${candidates[$i]}; do
        if apt-get "${apt_options[@]}" -qq source "${packages[$i]}=$version" >/dev/null 2>"$work/apt.log"; then
            fetched="$version"
            break
        fi
        echo "windows-deps: ${packages[$i]} $version could not be fetched; trying an older one" >&2
        rm -rf "$work/${packages[$i]}"-* "$work/${packages[$i]}"_*
    done
    [ -n "$fetched" ] || { cat "$work/apt.log" >&2; exit 1; }
    versions+="${packages[$i]}=$fetched "
done

prefix="$(prefix_for "$versions")"
echo "$prefix" > "$resolved"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

echo "windows-deps: building $versions into $prefix" >&2
rm -rf "$prefix"
mkdir -p "$prefix"

source_dir() { find "$work" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1; }
cmake_common=(-G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
              -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
              -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix")

# libpng, on the MinGW tree's zlib.
src="$(source_dir libpng1.6)"
cmake -S "$src" -B "$work/build-png" "${cmake_common[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON >/dev/null
cmake --build "$work/build-png" --parallel "$jobs" >/dev/null
cmake --install "$work/build-png" >/dev/null

# libjpeg-turbo, without its assembly (no nasm needed). JUCE's JPEG code also
# includes the library's internal jpegint.h.
src="$(source_dir libjpeg-turbo)"
cmake -S "$src" -B "$work/build-jpeg" "${cmake_common[@]}" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
cmake --build "$work/build-jpeg" --parallel "$jobs" >/dev/null
cmake --install "$work/build-jpeg" >/dev/null
cp "$src/jpegint.h" "$prefix/include/"
# JUCE includes jpeglib.h inside a namespace of its own and expects to find
# "boolean" there; after <windows.h> jmorecfg.h leaves it to rpcndr.h's global
# one (the same unsigned char), so C++ gets its own typedef here.
cat >> "$prefix/include/jconfig.h" <<'JCONFIG'

#if defined(__cplusplus) && defined(_WIN32) && defined(__RPCNDR_H__)
typedef unsigned char boolean;
#endif
JCONFIG

# expat, the XML parser of the program's reader. Debian's patches test
# "#if XML_DTD == 1", as autoconf's configuration header defines it; the
# CMake one defines the switches empty, so they are given their value.
# Programs that link it statically on Windows define XML_STATIC.
src="$(source_dir expat)"
[ -f "$src/CMakeLists.txt" ] || src="$src/expat"
cmake -S "$src" -B "$work/build-expat" "${cmake_common[@]}" \
    -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
    -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
sed -i -E 's/^#define (XML_[A-Z_]+)$/#define \1 1/' "$work/build-expat/expat_config.h"
cmake --build "$work/build-expat" --parallel "$jobs" >/dev/null
cmake --install "$work/build-expat" >/dev/null

echo "$versions" > "$prefix/versions.txt"
touch "$prefix/.complete"
# Earlier builds are of no more use.
find "$cache" -mindepth 1 -maxdepth 1 -type d -name 'prefix-*' ! -path "$prefix" -exec rm -rf {} +
find "$cache" -mindepth 1 -maxdepth 1 -type f -name 'resolved-*' ! -path "$resolved" -delete
echo "$prefix"
