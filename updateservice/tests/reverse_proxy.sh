#!/usr/bin/env bash
# Runs the example nginx site (deploy/nginx/cobaltline-service.conf) in front
# of the real service and checks, over HTTPS, what it is there for: requests
# pass, bodies over the service's limits are refused by nginx, slow clients
# are cut off by nginx without holding the service (which runs with a single
# worker thread here, so one held request would block every other), the
# account endpoint is rate-limited, and port 80 redirects.
#
# The site is rendered for the test: loopback ports picked at random, a
# throw-away certificate, the service's port, and client time-outs of 2 s.
# nginx runs in the foreground from a scratch folder (-p, -c) as whichever
# user starts the test (under root its workers run as nobody), never on
# ports 80 or 443.
#
# Usage: reverse_proxy.sh SERVICE_BINARY SITE_CONF. Exits 77 (skipped) when
# nginx is not installed (scripts/setup.sh installs it). KEEP_WORK=1 keeps
# the scratch folder; NGINX_DEBUG=1 adds nginx's debug log to it.
set -euo pipefail

service="$1"
site="$2"

nginx_bin="$(command -v nginx || true)"
if [ -z "$nginx_bin" ] && [ -x /usr/sbin/nginx ]; then
    nginx_bin=/usr/sbin/nginx
fi
if [ -z "$nginx_bin" ]; then
    echo "nginx is not installed (scripts/setup.sh installs it): skipped"
    exit 77
fi

work="$(mktemp -d /tmp/cobaltline-reverse-proxy.XXXXXX)"
# As root, nginx's workers run as nobody and must reach their temp folders here.
chmod 755 "$work"
pids=()
cleanup()
{
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail()
{
    echo "FAILED: $*"
    echo "--- nginx error log"; tail -n 30 "$work/error.log" 2>/dev/null || true
    echo "--- service log"; tail -n 30 "$work/service.err" 2>/dev/null || true
    exit 1
}

name=cobaltline.test

#------------------------------------------------------------------------------
# A raw TLS client for what curl cannot do: send slowly, or declare a length
# without sending the body.
cat >"$work/client.py" <<'EOF'
import select, socket, ssl, sys, time

def free_ports(count):
    sockets = [socket.socket() for _ in range(count)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    print(" ".join(map(str, ports)))

def connect(port, name, ca):
    context = ssl.create_default_context(cafile=ca)
    raw = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
    return context.wrap_socket(raw, server_hostname=name)

def closed_within(conn, seconds):
    """True when the server ends the connection (with or without a reply) within seconds."""
    # Non-blocking: a TLS 1.3 session ticket makes the socket readable
    # without any reply to read.
    deadline = time.monotonic() + seconds
    conn.setblocking(False)
    try:
        while time.monotonic() < deadline:
            if conn.pending() or select.select([conn], [], [], 0.05)[0]:
                try:
                    if conn.recv(4096) == b"":
                        return True
                except (ssl.SSLWantReadError, ssl.SSLWantWriteError):
                    pass
                except (OSError, ssl.SSLError):
                    return True
        return False
    finally:
        conn.setblocking(True)

def drip(conn, data, gap, limit):
    """Sends one byte every gap seconds; returns the seconds until the server hung up, or None."""
    start = time.monotonic()
    for i in range(len(data)):
        try:
            conn.sendall(data[i:i + 1])
        except (OSError, ssl.SSLError):
            return time.monotonic() - start
        if closed_within(conn, gap):
            return time.monotonic() - start
        if time.monotonic() - start > limit:
            break
    return None

mode, args = sys.argv[1], sys.argv[2:]

if mode == "ports":
    free_ports(int(args[0]))

elif mode == "header-drip":
    # A header that never ends: nginx bounds the whole header in time.
    port, name, ca, limit = args
    conn = connect(port, name, ca)
    head = ("GET /checkconnect/index.html HTTP/1.1\r\nHost: %s\r\nX-Slow: " % name).encode()
    conn.sendall(head)
    cut = drip(conn, b"a" * 200, 0.25, float(limit))
    print("header drip: " + ("cut off after %.1f s" % cut if cut is not None else "still open after %s s" % limit))
    sys.exit(0 if cut is not None else 1)

elif mode == "body-drip":
    # An upload that keeps moving for drip_seconds, then stops: the service
    # must not see it at all, and nginx must drop it after the body time-out.
    port, name, ca, drip_seconds, limit = args
    conn = connect(port, name, ca)
    conn.sendall(("POST /scan/index.php HTTP/1.1\r\nHost: %s\r\nContent-Type: multipart/form-data; boundary=x\r\n"
                  "Content-Length: 100000\r\n\r\n" % name).encode())
    count = int(float(drip_seconds) / 0.25)
    early = drip(conn, b"b" * count, 0.25, float(drip_seconds) + 1)
    if early is not None:
        print("body drip: cut off while still sending, after %.1f s" % early)
        sys.exit(1)
    start = time.monotonic()
    cut = closed_within(conn, float(limit))
    print("body drip: " + ("cut off %.1f s after it stopped" % (time.monotonic() - start) if cut
                           else "still open %s s after it stopped" % limit))
    sys.exit(0 if cut else 1)

elif mode == "declare":
    # Declares a length and sends no body: prints the status of the reply.
    port, name, ca, path, length = args
    conn = connect(port, name, ca)
    conn.sendall(("POST %s HTTP/1.1\r\nHost: %s\r\nContent-Type: multipart/form-data; boundary=x\r\n"
                  "Content-Length: %s\r\n\r\n" % (path, name, length)).encode())
    conn.settimeout(5)
    try:
        reply = conn.recv(4096)
    except socket.timeout:
        reply = b""
    print(reply.split(b" ")[1].decode() if reply.startswith(b"HTTP/") else "no reply")
EOF
client() { /usr/bin/python3 "$work/client.py" "$@"; }

#------------------------------------------------------------------------------
# Certificate, service, site.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=$name" -addext "subjectAltName=DNS:$name" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || fail "openssl could not make a certificate"

"$service" serve --listen 127.0.0.1:0 --trust-proxy --public-url https://127.0.0.1 --db "$work/service.db" --outbox "$work/outbox" --argon2 fast --threads 1 \
    >"$work/service.out" 2>"$work/service.err" &
pids+=($!)
service_port=""
for _ in $(seq 1 100); do
    line="$(head -n 1 "$work/service.out" 2>/dev/null || true)"
    if [[ "$line" == *"listening on http://127.0.0.1:"* ]]; then service_port="${line##*:}"; break; fi
    sleep 0.1
done
[ -n "$service_port" ] || fail "the service did not start"

# The lines rewritten here are the ones the site's header comment names.
render()   # HTTPS_PORT HTTP_PORT
{
    sed -e '/^[[:space:]]*#/b' \
        -e "s/listen 443 /listen 127.0.0.1:$1 /" \
        -e "s/listen 80;/listen 127.0.0.1:$2;/" \
        -e '/listen \[::\]:/d' \
        -e "s/server 127\.0\.0\.1:8750;/server 127.0.0.1:$service_port;/" \
        -e "s/server_name [^;]*;/server_name $name;/" \
        -e "s|ssl_certificate [^;]*;|ssl_certificate $work/cert.pem;|" \
        -e "s|ssl_certificate_key [^;]*;|ssl_certificate_key $work/key.pem;|" \
        -e "s/client_header_timeout [^;]*;/client_header_timeout 2s;/" \
        -e "s/client_body_timeout [^;]*;/client_body_timeout 2s;/" \
        -e "s/^\([[:space:]]*\)send_timeout [^;]*;/\1send_timeout 2s;/" \
        "$site" >"$work/site.conf"

    local body
    body="$(grep -v '^[[:space:]]*#' "$work/site.conf")"
    [ "$(grep -c "listen 127.0.0.1:$1 ssl" <<<"$body")" = 1 ] || fail "the site has no single 'listen 443 ssl' to render"
    [ "$(grep -c "listen 127.0.0.1:$2;" <<<"$body")" = 1 ] || fail "the site has no single 'listen 80;' to render"
    grep -q "server 127.0.0.1:$service_port;" <<<"$body" || fail "the site has no 'server 127.0.0.1:8750;' to render"
    ! grep -Eq 'listen (443|80)|:8750|letsencrypt' <<<"$body" || fail "the rendering left a production port or path in the site"
    [ "$(grep -Ec '^[[:space:]]*(client_header|client_body|send)_timeout 2s;' <<<"$body")" = 6 ] || fail "the site's client time-outs were not all rendered"

    {
        [ "$(id -u)" -ne 0 ] || echo "user nobody nogroup;"
        cat <<EOF
worker_processes 1;
${NGINX_DEBUG:+error_log $work/debug.log debug;}
pid $work/nginx.pid;
events { worker_connections 128; }
http {
    access_log $work/access.log;
    client_body_temp_path $work/client_body;
    proxy_temp_path $work/proxy;
    fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi;
    scgi_temp_path $work/scgi;
    include $work/site.conf;
}
EOF
    } >"$work/nginx.conf"
}

# A port picked free can be taken before nginx binds it: try again then.
started=""
for _ in 1 2 3; do
    read -r https_port http_port <<<"$(client ports 2)"
    render "$https_port" "$http_port"
    "$nginx_bin" -t -q -p "$work" -c "$work/nginx.conf" -e "$work/error.log" 2>>"$work/error.log" \
        || fail "nginx refuses the rendered site"
    "$nginx_bin" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" -g 'daemon off;' 2>>"$work/error.log" &
    nginx_pid=$!
    for _ in $(seq 1 50); do
        if curl -s -o /dev/null --cacert "$work/cert.pem" --connect-to "$name:443:127.0.0.1:$https_port" \
               "https://$name/checkconnect/index.html"; then
            started=yes; break
        fi
        kill -0 "$nginx_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -n "$started" ]; then pids+=("$nginx_pid"); break; fi
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
done
[ -n "$started" ] || fail "nginx did not start"

https() { curl -sS --max-time 5 --cacert "$work/cert.pem" --connect-to "$name:443:127.0.0.1:$https_port" "$@"; }
url="https://$name"
# Requests of a method and path in the service's request log.
service_saw() { grep -c "^time=[^ ]* method=$1 path=$2 " "$work/service.err" || true; }

#------------------------------------------------------------------------------
# Requests pass through.
https "$url/checkconnect/index.html" | grep -q "reachable" || fail "GET /checkconnect/index.html through nginx"
https -d "user_version=1.0.0&user_platform_id=1" "$url/check_app_version/index.php" | grep -q "<Current/>" \
    || fail "POST /check_app_version/index.php through nginx"

# Slow clients: one dripping its header, one dripping its upload and then
# stalling. While they send, nginx keeps no connection open to the service,
# and ordinary requests are answered by the service's one worker thread.
client header-drip "$https_port" "$name" "$work/cert.pem" 8 >"$work/header-drip.txt" &
header_drip=$!
client body-drip "$https_port" "$name" "$work/cert.pem" 3 5 >"$work/body-drip.txt" &
body_drip=$!
sleep 0.5
for _ in $(seq 1 10); do
    [ -z "$(ss -Htn state established "( dport = :$service_port )")" ] \
        || fail "nginx connected to the service before the slow upload was complete"
    sleep 0.1
done
for _ in 1 2 3; do
    https --max-time 3 "$url/checkconnect/index.html" | grep -q "reachable" \
        || fail "an ordinary request was not answered while slow clients were connected"
    https --max-time 3 -d "user_version=1.0.0&user_platform_id=1" "$url/check_app_version/index.php" \
        | grep -q "<Current/>" || fail "an ordinary POST was not answered while slow clients were connected"
done
wait "$header_drip" || fail "$(cat "$work/header-drip.txt")"
wait "$body_drip" || fail "$(cat "$work/body-drip.txt")"
cat "$work/header-drip.txt" "$work/body-drip.txt"
[ "$(service_saw POST /scan/index.php)" = 0 ] || fail "the service was handed the unfinished upload"

# Body limits: a 64 KiB body reaches the service (which applies its own
# limits), one byte more is refused by nginx, as an Errors document, and
# never reaches it; scans have the larger limit.
forms="$(service_saw POST /check_app_version/index.php)"
head -c 65536 /dev/zero | tr '\0' 'a' >"$work/form"
https -o /dev/null --data-binary @"$work/form" "$url/check_app_version/index.php"
[ "$(service_saw POST /check_app_version/index.php)" = $((forms + 1)) ] || fail "a 64 KiB form did not reach the service"
printf 'a' >>"$work/form"
https -o "$work/reply" -w '%{http_code}' --data-binary @"$work/form" "$url/check_app_version/index.php" >"$work/status"
[ "$(cat "$work/status")" = 413 ] && grep -q 'ErrorTitle="Request Too Large"' "$work/reply" \
    || fail "a form of 64 KiB + 1 byte got $(cat "$work/status"): $(head -c 300 "$work/reply")"
[ "$(service_saw POST /check_app_version/index.php)" = $((forms + 1)) ] || fail "the service was handed the oversized form"

status="$(https -o /dev/null -w '%{http_code}' -H 'Content-Type: multipart/form-data; boundary=x' \
              --data-binary @"$work/form" "$url/scan/index.php")"
[ "$status" != 413 ] && [ "$(service_saw POST /scan/index.php)" = 1 ] \
    || fail "a 64 KiB + 1 byte scan upload got $status instead of reaching the service"
status="$(client declare "$https_port" "$name" "$work/cert.pem" /scan/index.php $((128 * 1048576 + 65536 + 1)))"
[ "$status" = 413 ] || fail "a declared scan upload of 128 MiB + 64 KiB + 1 byte got: $status"
[ "$(service_saw POST /scan/index.php)" = 1 ] || fail "the service was handed the oversized scan upload"

# The account endpoint has its own, tighter rate limit per address (its
# burst, then one request every few seconds), answered with an Errors document.
burst="$(grep -o 'zone=cobaltline_accounts burst=[0-9]*' "$site" | head -n 1 | sed 's/.*=//' || true)"
[ -n "$burst" ] || fail "the site has no limit_req for zone cobaltline_accounts"
limited=""
for _ in $(seq 1 $((burst + 3))); do
    status="$(https -o "$work/reply" -w '%{http_code}' -d "viewprofile=true&email=rate%40example.com&password=x" \
                  "$url/authentication/index.php")"
    if [ "$status" = 429 ]; then limited=yes; break; fi
    [ "$status" = 200 ] || fail "an account request got $status"
done
[ -n "$limited" ] && grep -q 'ErrorTitle="Too Many Requests"' "$work/reply" \
    || fail "$((burst + 3)) quick account requests were not limited"

# Port 80 sends clients to the same path over HTTPS.
effective="$(curl -sS --max-time 5 -L --cacert "$work/cert.pem" -o "$work/reply" -w '%{num_redirects} %{url_effective}' \
                 --connect-to "$name:80:127.0.0.1:$http_port" --connect-to "$name:443:127.0.0.1:$https_port" \
                 "http://$name/checkconnect/index.html")"
[ "$effective" = "1 https://$name/checkconnect/index.html" ] && grep -q "reachable" "$work/reply" \
    || fail "http:// did not redirect to https:// ($effective)"

echo "reverse proxy: all checks passed"
