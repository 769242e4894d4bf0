#!/usr/bin/env bash
# The Debian packages as an operator and a musician meet them. lintian finds
# no error in either. In a throw-away Debian 12 root (made once with
# mmdebstrap from this machine's own archives and cached; this machine's
# packages are never touched) both install with apt: the service gets its
# user and data folder and an installed, not enabled, unit that
# systemd-analyze verifies; the service starts from there as its user with
# the options of /etc/default/cobaltline-service; the console scanner scans
# a Wine prefix's plug-in folder against it; the program opens its window
# on an X display. Removing keeps the service's conffile and data, purging
# the conffile only. The root's service listens in a network namespace of
# its own.
#
# Usage: debian_packages.sh PACKAGE_DIR FIXTURES CIPHER_SCRIPT SERVICE_URL
# Skips (77) when the packages are not built (scripts/package-linux.sh).
# Needs root, lintian, mmdebstrap, Xvfb, xdotool, curl.
set -euo pipefail

packages="$1" fixtures="$2" cipher="$3" service_url="$4"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root_dir="$(cd "$here/../.." && pwd)"
arch="$(dpkg --print-architecture)"

shopt -s nullglob
program_debs=("$packages"/cobaltline_*_"$arch".deb)
service_debs=("$packages"/cobaltline-service_*_"$arch".deb)
shopt -u nullglob
if [ ${#program_debs[@]} -ne 1 ] || [ ${#service_debs[@]} -ne 1 ]; then
    echo "no Debian packages in $packages (scripts/package-linux.sh makes them): skipped"
    exit 77
fi
if [ "$service_url" != "http://127.0.0.1:8750" ]; then
    echo "the program is built for $service_url, not the stand-in service on 127.0.0.1:8750: skipped"
    exit 77
fi
[ "$(id -u)" = 0 ] || { echo "a Debian root needs root: skipped"; exit 77; }

program_deb="${program_debs[0]}" service_deb="${service_debs[0]}"
fail() { echo "FAILED: $*"; exit 1; }
seconds_since() { echo "$(date +%s.%N) $1" | awk '{ printf "%.1f", $1 - $2 }'; }

#------------------------------------------------------------------------------
started="$(date +%s.%N)"
status=0
lintian --fail-on error --display-level ">=warning" "$program_deb" "$service_deb" >"${TMPDIR:-/tmp}/cobaltline-lintian.$$" 2>&1 \
    || status=$?
grep -v "running with root privileges" "${TMPDIR:-/tmp}/cobaltline-lintian.$$" || true
rm -f "${TMPDIR:-/tmp}/cobaltline-lintian.$$"
[ "$status" = 0 ] || fail "lintian reports errors"
echo "lintian: no errors ($(seconds_since "$started") s)"

#------------------------------------------------------------------------------
# The cached Debian root, made when missing or older than a week (the
# archives move on), one maker at a time.
cache="${XDG_CACHE_HOME:-$HOME/.cache}/cobaltline/debian-root"
mkdir -p "$cache/archives/partial"
# A server's base: apt, systemd (whose unit files the service's unit
# depends on) and man.
tarball="$cache/bookworm-apt-systemd-man.tar"
(
    flock 9
    if [ ! -s "$tarball" ] || [ -n "$(find "$tarball" -mtime +7)" ]; then
        made="$(date +%s.%N)"
        python3 "$root_dir/scripts/apt-source-lines.py" --binary bookworm \
            | mmdebstrap --quiet --format=tar --variant=apt --include=systemd,man-db bookworm "$tarball.part" - \
            || { rm -f "$tarball.part"; exit 1; }
        mv -f "$tarball.part" "$tarball"
        echo "made the Debian root ($(seconds_since "$made") s)"
    fi
) 9>"$cache/lock" || fail "no Debian root (mmdebstrap)"

work="$(mktemp -d)"
session_pids=()
cleanup()
{
    local i process
    for ((i = ${#session_pids[@]} - 1; i >= 0; --i)); do kill "${session_pids[$i]}" 2>/dev/null || true; done
    # Whatever still runs in the root ends with it.
    for process in /proc/[0-9]*; do
        [ "$(readlink "$process/root" 2>/dev/null)" = "$work/root" ] && kill -9 "${process#/proc/}" 2>/dev/null
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The AppStream metadata that software centres show.
dpkg-deb -x "$program_deb" "$work/program"
appstreamcli validate --no-net "$work/program/usr/share/metainfo/"*.metainfo.xml >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log"; fail "the AppStream metadata does not validate"; }
echo "AppStream metadata: valid"

target="$work/root"
mkdir "$target"
tar -xf "$tarball" -C "$target"
mkdir -p "$target/tmp/packages"
cp "$program_deb" "$service_deb" "$target/tmp/packages/"
cp /etc/resolv.conf "$target/etc/resolv.conf" 2>/dev/null || true

# Everything in the root runs in a mount namespace of its own, so that its
# mounts end with it. The X display of the host is shared by its socket.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
session_pids+=($!)
for _ in $(seq 1 300); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -n 1 "$work/display")"

net=()
in_root()
{
    "${net[@]}" unshare --mount --propagation private -- sh -c '
        target="$1" cache="$2"; shift 2
        mount -t proc proc "$target/proc"
        mount --rbind /dev "$target/dev"
        mount --bind "$cache/archives" "$target/var/cache/apt/archives"
        mkdir -p "$target/tmp/.X11-unix"
        mount --bind /tmp/.X11-unix "$target/tmp/.X11-unix"
        exec chroot "$target" "$@"' in_root "$target" "$cache" \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

started="$(date +%s.%N)"
in_root apt-get -qq update >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get update in the Debian root"; }
in_root apt-get -qq install --no-install-recommends -y \
    "/tmp/packages/$(basename "$program_deb")" "/tmp/packages/$(basename "$service_deb")" >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log"; fail "the packages do not install"; }
echo "installed both packages with apt in a fresh Debian 12 root ($(seconds_since "$started") s)"

#------------------------------------------------------------------------------
# The service's user, folder, conffile and unit.
passwd="$(in_root getent passwd cobaltline-service)" || fail "no user cobaltline-service"
[[ "$passwd" == *":/var/lib/cobaltline-service:/usr/sbin/nologin" ]] || fail "the service's user is $passwd"
[ "$(in_root stat -c '%U:%G %a' /var/lib/cobaltline-service)" = "cobaltline-service:cobaltline-service 750" ] \
    || fail "/var/lib/cobaltline-service is $(in_root stat -c '%U:%G %a' /var/lib/cobaltline-service)"
in_root dpkg-query -W -f='${Conffiles}\n' cobaltline-service | grep -q "^ /etc/default/cobaltline-service " \
    || fail "/etc/default/cobaltline-service is no conffile"
[ -f "$target/lib/systemd/system/cobaltline-service.service" ] || fail "no unit"
[ -z "$(find "$target/etc/systemd/system" -name 'cobaltline-service*' 2>/dev/null)" ] || fail "the unit is enabled"
in_root systemd-analyze verify /lib/systemd/system/cobaltline-service.service >"$work/verify.log" 2>&1 \
    || { cat "$work/verify.log"; fail "systemd-analyze verify finds fault with the unit"; }
echo "the service's user, data folder, conffile; the unit is installed, not enabled, and verifies"

# Reinstalling keeps the user and folder as they are.
in_root dpkg -i "/tmp/packages/$(basename "$service_deb")" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "reinstalling"; }

#------------------------------------------------------------------------------
# The service as its unit starts it: its user, the options of the default
# file. From here on the root has a network of its own (loopback only), so
# its service on 127.0.0.1:8750 is nobody else's.
unshare --net sh -c 'ip link set lo up && exec sleep 3600' &
session_pids+=($!)
net=(nsenter --net="/proc/${session_pids[-1]}/ns/net")
for _ in $(seq 1 100); do "${net[@]}" ip -o link show lo 2>/dev/null | grep -q "LOOPBACK,UP" && break; sleep 0.1; done
"${net[@]}" ip -o link show lo | grep -q "LOOPBACK,UP" || fail "no network of its own"
curl() { "${net[@]}" curl "$@"; }

in_root setpriv --reuid=cobaltline-service --regid=cobaltline-service --init-groups \
    cobaltline-service import-catalog --db /var/lib/cobaltline-service/service.db \
    /usr/share/doc/cobaltline-service/examples/seed-catalog.csv >/dev/null || fail "import-catalog as the service's user"
in_root setpriv --reuid=cobaltline-service --regid=cobaltline-service --init-groups sh -c \
    '. /etc/default/cobaltline-service; cd /var/lib/cobaltline-service; exec cobaltline-service serve $COBALTLINE_SERVICE_OPTIONS --argon2 fast --quiet' \
    >"$work/service.log" 2>&1 &
service_pid=$!
session_pids+=($service_pid)
for _ in $(seq 1 100); do curl -fsS -o /dev/null "$service_url/checkconnect/index.html" 2>/dev/null && break; sleep 0.1; done
curl -fsS -o /dev/null "$service_url/checkconnect/index.html" || { cat "$work/service.log"; fail "the service does not answer"; }
curl -fsS -o /dev/null --data-urlencode "registerpost=true" --data-urlencode "email=deb@example.com" \
    --data-urlencode "password=Deb Pass1!" --data-urlencode "firstname=Deb" --data-urlencode "lastname=User" \
    --data-urlencode "isdeveloper=0" "$service_url/authentication/index.php" || fail "no sign-up with the service"
[ "$(in_root stat -c %U /var/lib/cobaltline-service/service.db)" = cobaltline-service ] || fail "the database is not the service's"
echo "the service runs from the root as its user"

#------------------------------------------------------------------------------
# A musician's settings, with the plug-ins in a Wine prefix's VST3 folder.
home="$target/home/musician"
vst3="$home/.wine/drive_c/Program Files/Common Files/VST3"
mkdir -p "$vst3" "$home/.config/Cobaltline"
cp -r "$fixtures/plugins/walk/." "$vst3/"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlineProfile MachineName="Studio" Email="%s" Password="%s"/>\n' \
    "deb@example.com" "$(/usr/bin/python3 "$cipher" "Deb Pass1!" | cut -f2)" >"$home/.config/Cobaltline/Profile.xml"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<CobaltlinePaths path1="%s" pathFormat1="2" scanToggle1="1"/>\n' \
    "/home/musician/.wine/drive_c/Program Files/Common Files/VST3" >"$home/.config/Cobaltline/Paths.xml"

status=0
in_root env HOME=/home/musician cobaltline-scan --json >"$work/scan.json" 2>"$work/scan.err" || status=$?
[ "$status" = 0 ] || { cat "$work/scan.err"; fail "cobaltline-scan ended with $status"; }
python3 - "$work/scan.json" <<'PY' || fail "cobaltline-scan printed no scan with updates"
import json, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
plugins = document["plugins"]
assert len(plugins) >= 3, plugins
assert all(p["path"].startswith("/home/musician/.wine/drive_c/Program Files/Common Files/VST3/") for p in plugins), plugins
assert any(p["latestVersion"] for p in plugins), plugins
PY
in_root man -w cobaltline-scan >/dev/null 2>&1 || [ -f "$target/usr/share/man/man1/cobaltline-scan.1.gz" ] \
    || fail "no man page of cobaltline-scan"
echo "cobaltline-scan from the root: $(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["plugins"]))' "$work/scan.json") plug-ins scanned, updates checked"

# The program opens its main window.
in_root env HOME=/home/musician DISPLAY="$display" cobaltline >"$work/program.log" 2>&1 &
session_pids+=($!)
shown=0
for _ in $(seq 1 600); do
    if DISPLAY="$display" xdotool search --onlyvisible --name '^Cobaltline$' >/dev/null 2>&1; then shown=1; break; fi
    sleep 0.1
done
[ "$shown" = 1 ] || { cat "$work/program.log"; fail "the installed program shows no main window"; }
kill "${session_pids[-1]}" 2>/dev/null || true
echo "cobaltline from the root opens its main window"

kill "$service_pid" 2>/dev/null || true
wait "$service_pid" 2>/dev/null || true

#------------------------------------------------------------------------------
# Removing, then purging.
in_root apt-get -qq remove -y cobaltline cobaltline-service >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "the packages do not remove"; }
for file in /usr/bin/cobaltline /usr/bin/cobaltline-scan /usr/bin/cobaltline-service /lib/systemd/system/cobaltline-service.service; do
    [ ! -e "$target$file" ] || fail "$file is still there after removing"
done
[ -f "$target/etc/default/cobaltline-service" ] || fail "removing took the conffile"
[ -f "$target/var/lib/cobaltline-service/service.db" ] || fail "removing took the service's data"
in_root apt-get -qq purge -y cobaltline-service >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "the service does not purge"; }
[ ! -e "$target/etc/default/cobaltline-service" ] || fail "purging left the conffile"
[ -f "$target/var/lib/cobaltline-service/service.db" ] || fail "purging took the service's data"
[ -f "$home/.config/Cobaltline/Studio_PluginList.xml" ] || fail "the musician's data is gone"
echo "removed and purged: the service's data and the musician's are kept"
