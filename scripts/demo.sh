#!/usr/bin/env bash
# Shows the droplet's whole job on Linux: a document with damaged tokens (one
# straddling the 64 KiB border) is repaired in place and handed to the
# embedded host, which prints the request as JSON.
# Usage: scripts/demo.sh <path to the built droplet>
set -euo pipefail

droplet=$(realpath "${1:?usage: $0 <droplet>}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

damaged='/Values [ --.-00000'
repaired='/Values [ 1.0000000'
doc="$work/scan.psd"

# 70000 bytes of filler with three damaged tokens: near the start, across the
# 64 KiB border (offset 65530 to 65548), and at the very end.
python3 - "$doc" <<'PY'
import sys
token = b"/Values [ --.-00000"
data = bytearray(b"." * 70000)
for at in (1000, 65530, 70000 - len(token)):
    data[at:at + len(token)] = token
open(sys.argv[1], "wb").write(data)
PY

count() { grep -a -o -F -- "$1" "$doc" | wc -l; }
excerpt() { od -A d -c -j 65520 -N 40 "$doc"; }

echo "== Document: $(stat -c %s "$doc") bytes"
echo "damaged tokens:  $(count "$damaged")"
echo "repaired tokens: $(count "$repaired")"
echo "bytes 65520..65559 (the token across the 64 KiB border):"
excerpt

echo
echo "== Running: droplet $(basename "$doc")"
status=0
"$droplet" "$doc" </dev/null >"$work/request.json" || status=$?
echo "exit value: $status"

echo
echo "== After the repair: $(stat -c %s "$doc") bytes"
echo "damaged tokens:  $(count "$damaged")"
echo "repaired tokens: $(count "$repaired")"
excerpt

echo
echo "== The request the host received:"
if command -v python3 >/dev/null; then
  python3 -m json.tool "$work/request.json"
else
  cat "$work/request.json"
fi
