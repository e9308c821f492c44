#!/usr/bin/env bash
# Signs a Windows program or installer in place with osslsigncode
# (Authenticode, SHA-256), without a time stamp: this machine reaches no
# time-stamp server, so a signature lasts as long as its certificate.
#   scripts/sign.sh cert.pem key.pem file.exe|file.msi
# The certificate may be PEM or DER; an encrypted key takes its password
# from DROPLET_SIGN_PASSWORD.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 cert.pem key.pem file" >&2; exit 2; }
cert=$1 key=$2 file=$3
for f in "$cert" "$key" "$file"; do
  [ -f "$f" ] || { echo "sign: $f not found" >&2; exit 2; }
done
args=(-certs "$cert" -key "$key" -h sha256 -n droplet)
[ -z "${DROPLET_SIGN_PASSWORD:-}" ] || args+=(-pass "$DROPLET_SIGN_PASSWORD")
# The signing time is the clock's: a signature is not meant to be
# reproduced, and a certificate is younger than the commit it signs.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
osslsigncode sign "${args[@]}" -in "$file" -out "$work/signed" >/dev/null
cat "$work/signed" >"$file"  # in place, keeping the file's mode
echo "signed $file"
