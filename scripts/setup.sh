#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent and quick when everything is there already.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config git curl
    # JUCE and the libraries its modules use on Linux
    juce-modules-source libcurl4-openssl-dev libfreetype-dev libfontconfig1-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev fonts-dejavu-core
    # tests and benchmarks (xdotool drives the real program in the end-to-end
    # tests, which run without a window manager and under openbox, and choose
    # folders with JUCE's own chooser and with zenity)
    libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-utils imagemagick xdotool openbox zenity
    clang libclang-rt-14-dev python3 python3-pycryptodome
    # re-rendering the artwork (tools/art/render.sh), and the compositing
    # manager that retaking the screenshots (tools/docs/screenshots.sh) runs
    librsvg2-bin xcompmgr
    # the stand-in update service
    libcpp-httplib-dev libsqlite3-dev libsodium-dev libssl-dev libexpat1-dev openssl
    libidn2-dev libunistring-dev
    # its PostgreSQL store; the tests start a throw-away cluster of their own
    libpqxx-dev postgresql
    # its example reverse proxy (updateservice/deploy/nginx), run by its test
    nginx
    # the Windows build (scripts/build-windows.sh) and its tests under Wine;
    # dpkg-dev unpacks the Debian source packages of its static libraries
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev
    wine wine64
    # the installer and packages (scripts/package-*.sh, scripts/release.sh) and
    # their tests: a throw-away Debian root, lintian, a test signature
    nsis osslsigncode lintian mmdebstrap dpkg-dev appstream
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

# PostgreSQL's packages would make and start a system cluster on port
# 5432; the tests start their own, and a deployment makes its own.
if [[ " ${missing[*]} " == *" postgresql "* && ! -e /etc/postgresql-common/createcluster.d/cobaltline.conf ]]; then
    "${sudo_cmd[@]}" mkdir -p /etc/postgresql-common/createcluster.d
    echo "create_main_cluster = false" | "${sudo_cmd[@]}" tee /etc/postgresql-common/createcluster.d/cobaltline.conf >/dev/null
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

# Debian starts a freshly installed nginx with its default site on port 80.
# The tests start their own nginx on free ports; a system one is not wanted
# (where there is no systemd, e.g. in a container, the package start is
# usually refused already and the stop below is a no-op).
if [[ " ${missing[*]} " == *" nginx "* ]]; then
    if [ -d /run/systemd/system ] && command -v systemctl >/dev/null; then
        "${sudo_cmd[@]}" systemctl disable --now nginx >/dev/null 2>&1 || true
    else
        "${sudo_cmd[@]}" service nginx stop >/dev/null 2>&1 || true
        "${sudo_cmd[@]}" update-rc.d nginx disable >/dev/null 2>&1 || true
    fi
fi
