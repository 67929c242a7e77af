#!/bin/bash
# Makes a throwaway code-signing certificate for CI: a test root and a signer
# it issued, in DIR (root.pem, signer.pem, signer.key).
#
#   tests/install/make-signing-cert.sh DIR
set -eu
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Vexa3 Test Root" \
    -keyout root.key -out root.pem \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/O=Vexa3 CI/CN=Vexa3 Test Signer" \
    -keyout signer.key -out signer.csr 2>/dev/null
printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature \
    extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 30 \
    -extfile signer.ext -out signer.pem 2>/dev/null
rm -f root.key signer.csr signer.ext root.srl
