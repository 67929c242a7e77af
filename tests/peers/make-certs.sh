#!/bin/bash
# Makes the certificates of the TLS test peers, once per directory:
#
#   tests/peers/make-certs.sh DIR CRL_BASE_URL
#
# A root CA, an intermediate CA signed by it, and leaves signed by the
# intermediate, each DIR/NAME.pem (certificate, plus the intermediate where a
# server must send the chain) with DIR/NAME.key:
#
#   valid        DNS:localhost, IP:127.0.0.1, serverAuth
#   expired      the same names, valid 2019-2020 only
#   future       the same names, valid from 2090 only
#   wrong-name   DNS:other.invalid only
#   self-signed  the same names as valid, signed by its own key
#   client-only  the same names, clientAuth only
#   revoked      the same names, listed in the intermediate's CRL
#   wildcard     DNS:*.vexa.test only
#   nul-name     DNS:"localhost\0.vexa.test" (a zero byte inside the name)
#   ipv6         DNS:v6only.vexa.test, IP:::1 (sixteen bytes)
#
# and for revocation that cannot be learnt (the same names as valid):
#
#   leaf-no-crl          no CRL distribution point on the leaf
#   leaf-ocsp            only an OCSP responder address on the leaf
#   intermediate-no-crl  signed by a second intermediate that names no CRL
#   no-crl               neither the leaf nor that second intermediate names one
#   revoked-intermediate the valid leaf sent with a second certificate of its
#                        intermediate (same name and key), listed in the root's CRL
#
# The CAs publish their CRLs as DIR/crl/TOKEN/{root,intermediate}.crl, named
# in the certificates as CRL_BASE_URL/TOKEN/...: the random TOKEN keeps a
# CRL cached by the client from a directory made earlier from being taken
# for one of these. DIR/root.der is the root for the client's trust store.
set -eu
dir=${1:?directory}
crl_base=${2:?CRL base URL}
# Made before by this script, for the same CRL address: nothing to do.
stamp="$crl_base $(sha256sum <"$0" | cut -d' ' -f1)"
[ -f "$dir/.complete" ] && [ "$(cat "$dir/.complete")" = "$stamp" ] && exit 0

rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
token=$(openssl rand -hex 8)
mkdir -p "crl/$token"

# One minimal CA directory per CA, for `openssl ca`: it alone can set the
# validity dates freely, keep the index that revocation needs and make CRLs.
ca_config() {
    local name=$1 first_serial=$2
    mkdir -p "$name-ca"
    : >"$name-ca/index.txt"
    echo "$first_serial" >"$name-ca/serial"
    echo 1000 >"$name-ca/crlnumber"
    cat >"$name-ca/ca.cnf" <<EOF
[ ca ]
default_ca = this_ca
[ this_ca ]
dir = $dir/$name-ca
database = \$dir/index.txt
serial = \$dir/serial
crlnumber = \$dir/crlnumber
new_certs_dir = \$dir
certificate = $dir/$name.pem
private_key = $dir/$name.key
default_md = sha256
default_days = 3650
default_crl_days = 3650
policy = any_policy
unique_subject = no
copy_extensions = none
[ any_policy ]
commonName = supplied
[ req ]
distinguished_name = req_dn
prompt = no
[ req_dn ]
CN = unused
[ ext_intermediate ]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/root.crl
[ ext_intermediate_no_crl ]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ ext_server_no_crl ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ ext_server_ocsp ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
authorityInfoAccess = OCSP;URI:$crl_base/$token/ocsp
[ ext_server_plain_crl ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/plain-intermediate.crl
[ ext_nul_name ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
2.5.29.17 = ASN1:SEQUENCE:nul_name_entries
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ nul_name_entries ]
# IA5 text takes no hex; the octets of an OCTET STRING under the same tag
# encode the same.
dns = IMPLICIT:2,FORMAT:HEX,OCTETSTRING:6c6f63616c686f7374002e766578612e74657374
[ ext_server ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ ext_wrong_name ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.invalid
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ ext_client_only ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = clientAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ ext_wildcard ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:*.vexa.test
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ ext_idn ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:xn--bcher-kva.vexa.test
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ ext_ipv6 ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:v6only.vexa.test, IP:::1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
crlDistributionPoints = URI:$crl_base/$token/intermediate.crl
[ ext_self_signed ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
EOF
}

new_key() {
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null
}

# sign CA NAME SUBJECT EXTENSIONS [openssl ca options...]
sign() {
    local ca=$1 name=$2 subject=$3 ext=$4
    shift 4
    new_key "$name"
    openssl req -new -key "$name.key" -subj "/CN=$subject" -out "$name.csr" -config "$ca-ca/ca.cnf"
    openssl ca -batch -notext -config "$ca-ca/ca.cnf" -extensions "$ext" -in "$name.csr" \
        -out "$name.crt" "$@" 2>/dev/null
    rm -f "$name.csr"
}

# Wine 8 files the revocation verdicts it caches under a certificate's
# serial number alone: each CA numbers in a range of its own, so that no two
# test certificates share a verdict.
ca_config root 1000
ca_config intermediate 2000
ca_config plain-intermediate 3000
new_key root
openssl req -x509 -new -key root.key -subj "/CN=Vexa3 Test Root CA $token" -days 3650 -sha256 \
    -addext "basicConstraints=critical,CA:true" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -out root.pem -config root-ca/ca.cnf
openssl x509 -in root.pem -outform DER -out root.der

sign root intermediate "Vexa3 Test Intermediate CA" ext_intermediate
cp intermediate.crt intermediate.pem
# The same intermediate (name and key) once more, then revoked by the root.
openssl req -new -key intermediate.key -subj "/CN=Vexa3 Test Intermediate CA" -out intermediate-revoked.csr \
    -config root-ca/ca.cnf
openssl ca -batch -notext -config root-ca/ca.cnf -extensions ext_intermediate -in intermediate-revoked.csr \
    -out intermediate-revoked.pem 2>/dev/null
rm -f intermediate-revoked.csr
openssl ca -batch -config root-ca/ca.cnf -revoke intermediate-revoked.pem -crl_reason cACompromise 2>/dev/null
sign root plain-intermediate "Vexa3 Test Intermediate CA without CRL" ext_intermediate_no_crl
cp plain-intermediate.crt plain-intermediate.pem

sign intermediate valid localhost ext_server
sign intermediate expired localhost ext_server -startdate 20190101000000Z -enddate 20200101000000Z
sign intermediate future localhost ext_server -startdate 20900101000000Z -enddate 20910101000000Z
sign intermediate wrong-name other.invalid ext_wrong_name
sign intermediate client-only localhost ext_client_only
sign intermediate revoked localhost ext_server
sign intermediate wildcard "*.vexa.test" ext_wildcard
sign intermediate nul-name localhost ext_nul_name
sign intermediate idn xn--bcher-kva.vexa.test ext_idn
sign intermediate ipv6 v6only.vexa.test ext_ipv6
sign intermediate leaf-no-crl localhost ext_server_no_crl
sign intermediate leaf-ocsp localhost ext_server_ocsp
sign plain-intermediate intermediate-no-crl localhost ext_server_plain_crl
sign plain-intermediate no-crl localhost ext_server_no_crl
openssl ca -batch -config intermediate-ca/ca.cnf -revoke revoked.crt -crl_reason keyCompromise 2>/dev/null

# Servers send the leaf and the intermediate; the client knows only the root.
cat valid.crt intermediate-revoked.pem >revoked-intermediate.pem
cp valid.key revoked-intermediate.key
for name in valid expired future wrong-name client-only revoked wildcard nul-name idn ipv6 leaf-no-crl leaf-ocsp; do
    cat "$name.crt" intermediate.pem >"$name.pem"
    rm -f "$name.crt"
done
for name in intermediate-no-crl no-crl; do
    cat "$name.crt" plain-intermediate.pem >"$name.pem"
    rm -f "$name.crt"
done

new_key self-signed
openssl req -x509 -new -key self-signed.key -subj /CN=localhost -days 3650 -sha256 \
    -config intermediate-ca/ca.cnf -extensions ext_self_signed -out self-signed.pem

openssl ca -batch -gencrl -config root-ca/ca.cnf -out "crl/$token/root.pem" 2>/dev/null
openssl ca -batch -gencrl -config intermediate-ca/ca.cnf -out "crl/$token/intermediate.pem" 2>/dev/null
openssl ca -batch -gencrl -config plain-intermediate-ca/ca.cnf -out "crl/$token/plain-intermediate.pem" 2>/dev/null
for name in root intermediate plain-intermediate; do
    openssl crl -in "crl/$token/$name.pem" -outform DER -out "crl/$token/$name.crl"
    rm -f "crl/$token/$name.pem"
done
rm -f intermediate.crt plain-intermediate.crt
echo "$stamp" >.complete
