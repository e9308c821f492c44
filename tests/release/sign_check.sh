#!/usr/bin/env bash
# Signing as make sign does it, with a throwaway self-signed certificate:
# a copy of droplet.exe and an installer built from it are signed with
# scripts/sign.sh and checked with osslsigncode verify. Without the
# certificate as a trusted root, verify must report the untrusted root while
# the digest matches; with it, the signature must check. A copy changed
# after signing must fail.
#   sign_check.sh --arch x86|x64 --droplet droplet.exe --version x.y.z --work <folder>
set -u
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2 ;;
    --droplet) droplet=$2 ;;
    --version) version=$2 ;;
    --work) work=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
: "${arch:?} ${droplet:?} ${version:?} ${work:?}"
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "  ok: $*"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=droplet throwaway test signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || { echo "openssl failed"; exit 1; }

cp "$droplet" "$work/droplet.exe"
printf 'guide\r\n' >"$work/GUIDE.txt"
printf 'manual\r\n' >"$work/droplet-maker.txt"
printf 'licence\r\n' >"$work/LICENSE.txt"
# The installer packs what stands beside droplet.exe; copies of it stand in
# for the made droplets, whose settings the end-to-end suite checks.
mkdir -p "$work/programs"
cp "$droplet" "$(dirname "$droplet")/droplet-maker.exe" "$work/programs/"
for made in "Check documents.exe" "Repair folders.exe"; do cp "$droplet" "$work/programs/$made"; done
droplet="$work/programs/droplet.exe"
"$root/scripts/make-msi.sh" "$arch" "$version" "$droplet" "$work/GUIDE.txt" "$work/LICENSE.txt" \
  "$work/droplet.msi" >/dev/null || { echo "make-msi failed"; exit 1; }

for file in droplet.exe droplet.msi; do
  echo "$file"
  cp "$work/$file" "$work/unsigned"
  "$root/scripts/sign.sh" "$work/cert.pem" "$work/key.pem" "$work/$file" >/dev/null &&
    pass "signed" || { fail "scripts/sign.sh failed"; continue; }
  cmp -s "$work/$file" "$work/unsigned" && fail "the file did not change"

  osslsigncode verify -in "$work/$file" >"$work/untrusted.log" 2>&1
  # osslsigncode prints the digest found in a program's signature beside the
  # one it calculates; for an installer it prints the calculated one only.
  current=$(sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' "$work/untrusted.log")
  calculated=$(sed -n 's/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p' "$work/untrusted.log")
  if [ -n "$calculated" ] && ! grep -q MISMATCH "$work/untrusted.log" &&
     { [ $file = droplet.msi ] || [ "$current" = "$calculated" ]; }; then
    pass "digest matches ($calculated)"
  else
    fail "digest '$current' vs '$calculated'"
  fi
  grep -q -E 'self[- ]signed certificate' "$work/untrusted.log" &&
    pass "verify reports the untrusted root: $(grep -m1 'Error:' "$work/untrusted.log" | tr -d '\t')" ||
    fail "verify did not report the untrusted root"
  grep -q 'Subject: /CN=droplet throwaway test signer' "$work/untrusted.log" &&
    pass "signer is the throwaway certificate" || fail "signer not found"

  if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$file" >"$work/trusted.log" 2>&1 &&
     grep -q '^Signature verification: ok' "$work/trusted.log"; then
    pass "with the certificate as trusted root: Signature verification: ok"
  else
    fail "signature does not check: $(grep -m1 -E 'verification|Error' "$work/trusted.log")"
  fi

  # One byte changed inside the signed content (the exe's headers, or
  # anywhere inside the installer's database), as a corrupted download.
  # The new byte differs from the one there: an 'X' over an 'X' changes nothing.
  cp "$work/$file" "$work/changed"
  [ "$(od -An -c -j4000 -N1 "$work/changed" | tr -d ' ')" = X ] && byte=Y || byte=X
  printf '%s' "$byte" | dd of="$work/changed" bs=1 seek=4000 conv=notrunc 2>/dev/null
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed" >"$work/changed.log" 2>&1; then
    fail "a changed copy still verifies"
  else
    pass "a changed copy fails to verify"
  fi
done

"$root/tests/pe/check_exe.py" "$arch" "$work/droplet.exe" >"$work/image.log" &&
  pass "the signed droplet.exe passes the image check" || fail "signed image: $(grep FAILED "$work/image.log")"

echo "signing: $failures failure(s)"
[ "$failures" -eq 0 ]
