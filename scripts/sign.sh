#!/bin/bash
# Authenticode-signs files in place (SHA-256) with osslsigncode:
#
#   scripts/sign.sh FILE...
#
# Does nothing unless VEXA_SIGN_CERT (PEM certificates, the signer's first,
# then its intermediates) and VEXA_SIGN_KEY (its PEM private key) are set.
# VEXA_SIGN_KEY_PASSWORD_FILE names a file holding the key's password, which
# osslsigncode reads itself: it never stands on a command line or in a log.
# VEXA_SIGN_TIMESTAMP_URL adds an RFC 3161 timestamp from that server.
set -eu
if [ -z "${VEXA_SIGN_CERT:-}" ] || [ -z "${VEXA_SIGN_KEY:-}" ]; then
    exit 0
fi
args=(sign -certs "$VEXA_SIGN_CERT" -key "$VEXA_SIGN_KEY" -h sha256
    -n "Vexa3 Internet File Fetch Control" -i "https://www.quorvel.com/vexa3")
if [ -n "${VEXA_SIGN_KEY_PASSWORD_FILE:-}" ]; then
    args+=(-readpass "$VEXA_SIGN_KEY_PASSWORD_FILE")
fi
if [ -n "${VEXA_SIGN_TIMESTAMP_URL:-}" ]; then
    args+=(-ts "$VEXA_SIGN_TIMESTAMP_URL")
fi
for file; do
    rm -f "$file.signed"
    osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
    mv "$file.signed" "$file"
    echo "== signed $file"
done
