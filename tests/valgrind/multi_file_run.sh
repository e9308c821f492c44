#!/usr/bin/env bash
# The Linux droplet under valgrind on a three-file run: no memory error and
# no definite or indirect leak; the files come out repaired.
set -euo pipefail
droplet=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

damaged='/Values [ --.-00000'
repaired='/Values [ 1.0000000'
for name in a b "c d"; do
  {
    head -c 70000 /dev/zero | tr '\0' 'x'
    printf '%s' "$damaged"
    head -c 100 /dev/zero | tr '\0' 'y'
    printf '%s' "$damaged"
  } > "$work/$name.psd"
done

valgrind --quiet --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
  "$droplet" "$work/a.psd" "$work/b.psd" "$work/c d.psd" </dev/null >"$work/request.json" \
  || { echo "valgrind reported errors, or the run failed (exit $?)"; exit 1; }

for name in a b "c d"; do
  if grep -qF -- "$damaged" "$work/$name.psd" || [ "$(grep -oF -- "$repaired" "$work/$name.psd" | wc -l)" -ne 2 ]; then
    echo "$name.psd was not repaired"; exit 1
  fi
  [ "$(stat -c %s "$work/$name.psd")" -eq 70138 ] || { echo "$name.psd changed length"; exit 1; }
done
grep -q '"BtcF"' "$work/request.json" || { echo "no request printed"; exit 1; }
echo "valgrind: clean three-file run"
