#!/bin/bash
# The program as an installer author ships it: signed (with a throwaway
# certificate made here), the signature verified and, taken off again, leaving
# the built bytes; then the sample uninstall run with the signed file, whose
# relaunch must accept its signed copy.
#   run-signed.sh PREFIX_DIR WINDOWS_BUILD_DIR WORK_DIR    (PREFIX_DIR -: no uninstall)
set -eu
work=$3
mkdir -p "$work"
rm -f "$work/vorsil.exe" "$work/unsigned.exe"
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Throwaway -days 1 \
    -keyout "$work/key.pem" -out "$work/certificate.pem" 2>/dev/null
osslsigncode sign -certs "$work/certificate.pem" -key "$work/key.pem" -n "Sample App" -h sha256 \
    -in "$2/vorsil.exe" -out "$work/vorsil.exe"
osslsigncode verify -CAfile "$work/certificate.pem" -in "$work/vorsil.exe"
osslsigncode remove-signature -in "$work/vorsil.exe" -out "$work/unsigned.exe"
cmp "$work/unsigned.exe" "$2/vorsil.exe"
[ "$1" != - ] || exit 0
VORSIL_PROGRAM="$work/vorsil.exe" exec bash "$(dirname "$0")/run-case.sh" "$1" "$2" sample-app-uninstall
