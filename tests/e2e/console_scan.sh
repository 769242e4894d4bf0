#!/usr/bin/env bash
# The console scanner through the real service, without a display: a scan
# that checks updates (exit 0, its lines and its JSON), one while the
# program's window is open on the same settings, one while another scan holds
# the lock (exit 3), and one with the service stopped (exit 2, the inventory
# written all the same).
#
# Usage: console_scan.sh SCANNER APP SERVICE SEED_CATALOG FIXTURES CIPHER_SCRIPT SERVICE_URL
set -euo pipefail

scanner="$1" app="$2" service="$3" catalog="$4" fixtures="$5" cipher="$6" service_url="$7"

source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
begin_test

start_service "$service" "$catalog" "e2e@example.com" "Scan Pass1!" || fail "no service"
service_pid="${session_pids[-1]}"
data="$(write_settings "$cipher" "e2e@example.com" "Scan Pass1!" "$fixtures/plugins/walk")"

# run_scanner ARGS...: runs it without a display; sets `status`, `out` and `err`.
run_scanner()
{
    status=0
    env -u DISPLAY HOME="$work/home" timeout 120 "$scanner" "$@" >"$work/out" 2>"$work/err" || status=$?
    out="$(cat "$work/out")" err="$(cat "$work/err")"
}

run_scanner
[ "$status" = 0 ] || { echo "$out"; echo "$err"; fail "exit status $status after a scan with the service up"; }
grep -qx "$fixtures/plugins/walk: 7 plug-ins" <<<"$out" || { echo "$out"; fail "no line for the folder"; }
grep -qE '^7 plug-ins kept, [0-9]+ not recognised, [0-9]+ updates$' <<<"$out" || { echo "$out"; fail "no summary"; }
grep -q '<UpdateList' "$data/Studio_CobaltlineList.xml" || fail "no update list stored"

run_scanner --json
[ "$status" = 0 ] || { echo "$err"; fail "exit status $status with --json"; }
python3 - "$work/out" <<'PY' || fail "the JSON document is not what it should be"
import json, sys
document = json.load(open(sys.argv[1]))
assert document["machine"]["MachineName"] == "Studio", document["machine"]
plugins = document["plugins"]
assert len(plugins) == 7, plugins
keys = {"name", "vendor", "format", "installedVersion", "latestVersion", "website", "path"}
assert all(set(p) == keys for p in plugins), plugins
assert any(p["latestVersion"] for p in plugins), "no latest version from the service"
PY

# Alongside the program's window on the same settings.
start_program "$app" || fail "no program"
run_scanner
[ "$status" = 0 ] || { echo "$err"; fail "exit status $status beside the program's window"; }
kill -0 "${session_pids[-1]}" || fail "the program ended while the scanner ran"

# Another scan holds the lock (this shell, on the lock file's descriptor 9).
exec 9>"$data/Scan.lock"
flock -n 9 || fail "the lock file cannot be locked"
run_scanner
exec 9>&-
[ "$status" = 3 ] || { echo "$err"; fail "exit status $status while another scan holds the lock (expected 3)"; }
grep -q "another scan" <<<"$err" || { echo "$err"; fail "no reason on standard error"; }

# The service stopped: scanned, updates not checked.
kill "$service_pid"
wait "$service_pid" 2>/dev/null || true
rm -f "$data/Studio_PluginList.xml"
run_scanner
[ "$status" = 2 ] || { echo "$out"; echo "$err"; fail "exit status $status with the service stopped (expected 2)"; }
grep -q '<Plugin' "$data/Studio_PluginList.xml" || fail "no inventory written with the service stopped"
[ ! -e "$data/Studio_CobaltlineList.xml" ] || fail "the earlier update list is still there"
grep -q "updates not checked" <<<"$out" || { echo "$out"; fail "the summary does not say updates were not checked"; }

echo "console scanner: checked (0), beside the window, refused while locked (3), without the service (2)"
