#!/usr/bin/env bash
# Signs Windows executables in place with an Authenticode signature
# (osslsigncode), for a release. The certificate is given by the environment:
#
#   COBALTLINE_SIGN_PKCS12          a .pfx/.p12 file with the certificate chain and key,
#   COBALTLINE_SIGN_PASSWORD_FILE   a file holding its password (optional)
# or
#   COBALTLINE_SIGN_CERT            the certificate chain (PEM),
#   COBALTLINE_SIGN_KEY             its private key (PEM, unencrypted)
# and
#   COBALTLINE_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server (optional; a
#                                   signature without one ends with the certificate)
#
# Usage: sign-windows.sh FILE.exe...
set -euo pipefail

[ $# -gt 0 ] || { echo "usage: sign-windows.sh FILE.exe..." >&2; exit 2; }

credentials=()
if [ -n "${COBALTLINE_SIGN_PKCS12:-}" ]; then
    credentials=(-pkcs12 "$COBALTLINE_SIGN_PKCS12")
    if [ -n "${COBALTLINE_SIGN_PASSWORD_FILE:-}" ]; then
        credentials+=(-readpass "$COBALTLINE_SIGN_PASSWORD_FILE")
    fi
elif [ -n "${COBALTLINE_SIGN_CERT:-}" ] && [ -n "${COBALTLINE_SIGN_KEY:-}" ]; then
    credentials=(-certs "$COBALTLINE_SIGN_CERT" -key "$COBALTLINE_SIGN_KEY")
else
    echo "sign-windows.sh: no certificate (set COBALTLINE_SIGN_PKCS12, or COBALTLINE_SIGN_CERT and COBALTLINE_SIGN_KEY)" >&2
    exit 2
fi

timestamp=()
if [ -n "${COBALTLINE_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$COBALTLINE_SIGN_TIMESTAMP_URL")
fi

for file in "$@"; do
    # Signed into a copy that replaces the file whole once it is complete.
    rm -f "$file.signing"
    osslsigncode sign "${credentials[@]}" "${timestamp[@]}" -h sha256 \
        -n "Cobaltline" -i "${COBALTLINE_SIGN_INFO_URL:-https://cobaltline.example}" \
        -in "$file" -out "$file.signing" >/dev/null
    mv -f "$file.signing" "$file"
    echo "signed: $file"
done
