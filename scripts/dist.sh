#!/usr/bin/env bash
# Packs the built programs for download into <out> (make dist: dist/):
#   droplet-<version>-windows-x86.zip, -windows-x64.zip   droplet.exe, droplet-maker.exe, GUIDE.txt, LICENSE.txt,
#                                                         droplet-maker.txt (the manual page as text), and two
#                                                         ready-made droplets: "Check documents.exe" and
#                                                         "Repair folders.exe" (droplet.exe's code with icons
#                                                         and version resources of their own, settings stamped)
#   droplet-<version>-windows-x86.msi, -windows-x64.msi   the installers
#   droplet-<version>-linux-x86_64.tar.gz                 laid out as an installation prefix:
#                                                         bin/droplet, bin/droplet-maker,
#                                                         share/man/man1/droplet.1, droplet-maker.1,
#                                                         share/doc/droplet/README (docs/install-linux.txt),
#                                                         GUIDE.txt, REQUEST-JSON.md, LICENSE
# Each archive holds one folder named as the archive, with the files in it.
#   SHA256SUMS                                            over all of the above
#   scripts/dist.sh [--cert cert.pem --key key.pem] <out>
# With a certificate the programs are signed before they are packed, and the
# installers after (scripts/sign.sh). Reproducible: fixed order, owners and
# times (SOURCE_DATE_EPOCH, else the last commit's time); the programs come
# from build/windows, build/windows-x64 and build/dist-linux.
set -euo pipefail

cert="" key=""
while [ $# -gt 1 ]; do
  case "$1" in
    --cert) cert=$2 ;;
    --key) key=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
[ $# -eq 1 ] || { echo "usage: $0 [--cert cert.pem --key key.pem] <out>" >&2; exit 2; }
if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
  echo "dist: signing needs both --cert and --key" >&2; exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
version=$(sed -n -E 's/^project\(droplet VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt" >&2; exit 1; }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
# A zip cannot hold a time before 1980.
[ "$SOURCE_DATE_EPOCH" -ge 315532800 ] || SOURCE_DATE_EPOCH=315532800
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

x86_exe=$root/build/windows/droplet.exe
x64_exe=$root/build/windows-x64/droplet.exe
linux_bin=$root/build/dist-linux/droplet
check_exe="Check documents.exe" repair_exe="Repair folders.exe"
for f in "$x86_exe" "$x64_exe" "$linux_bin" "${x86_exe%.exe}-maker.exe" "${x64_exe%.exe}-maker.exe" \
         "$linux_bin-maker" "${x86_exe%/*}/$check_exe" "${x86_exe%/*}/$repair_exe" \
         "${x64_exe%/*}/$check_exe" "${x64_exe%/*}/$repair_exe"; do
  [ -f "$f" ] || { echo "dist: $f is missing (make dist builds it)" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
umask 022
sign() { [ -z "$cert" ] || "$root/scripts/sign.sh" "$cert" "$key" "$1"; }
# Plain text for Windows users gets Windows line ends.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
# A manual page with the release's version and date (so that packing again
# gives the same bytes); as plain text with "text" as its second argument.
page() {
  sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)/" \
    "$root/docs/$1.1" | if [ "${2:-}" = text ]; then
    sed '/^\.TH /a .nh' | groff -man -Tascii -P-c -P-b -P-u -P-o 2>/dev/null
  else cat; fi
}
settle() {  # fixed modes and times for everything under a folder
  find "$1" -type d -exec chmod 755 {} +
  find "$1" -type f -exec chmod 644 {} +
  [ -z "${2:-}" ] || chmod 755 "$2"
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
name=droplet-$version

for arch in x86 x64; do
  dir=$stage/$name-windows-$arch
  mkdir -p "$dir"
  if [ $arch = x86 ]; then cp "$x86_exe" "$dir/droplet.exe"; else cp "$x64_exe" "$dir/droplet.exe"; fi
  if [ $arch = x86 ]; then exe=$x86_exe; else exe=$x64_exe; fi
  cp "${exe%.exe}-maker.exe" "$dir/droplet-maker.exe"
  # The droplets an archive's owner drops on: built with their own icons and
  # version resources (which the maker cannot write), their settings stamped
  # here, before signing (the maker refuses a signed program).
  "$linux_bin-maker" --from "${exe%/*}/$check_exe" --recursive --check "$dir/$check_exe"
  "$linux_bin-maker" --from "${exe%/*}/$repair_exe" --recursive --keep-going --report \
    --send repaired "$dir/$repair_exe"
  for program in droplet.exe droplet-maker.exe "$check_exe" "$repair_exe"; do sign "$dir/$program"; done
  crlf "$root/docs/guide.txt" "$dir/GUIDE.txt"
  page droplet-maker text >"$stage/droplet-maker.txt"
  crlf "$stage/droplet-maker.txt" "$dir/droplet-maker.txt"
  crlf "$root/LICENSE" "$dir/LICENSE.txt"
  settle "$dir" "$dir/droplet.exe"
  chmod 755 "$dir/droplet-maker.exe" "$dir/$check_exe" "$dir/$repair_exe"
  # One folder at the top, as in the tarball: nothing spills where it is unpacked.
  (cd "$stage" && zip -q -X -D "$out/$name-windows-$arch.zip" \
     "$name-windows-$arch/droplet.exe" "$name-windows-$arch/droplet-maker.exe" \
     "$name-windows-$arch/$check_exe" "$name-windows-$arch/$repair_exe" \
     "$name-windows-$arch/GUIDE.txt" "$name-windows-$arch/LICENSE.txt" \
     "$name-windows-$arch/droplet-maker.txt")
  "$root/scripts/make-msi.sh" $arch "$version" "$dir/droplet.exe" "$dir/GUIDE.txt" \
    "$dir/LICENSE.txt" "$out/$name-windows-$arch.msi" >/dev/null
  sign "$out/$name-windows-$arch.msi"
done

# The Linux folder is a prefix: copied under ~/.local or /usr/local as it
# is, its programs land on PATH and its pages where man looks; the maker
# finds the droplet beside it in bin/.
dir=$stage/$name-linux-x86_64
mkdir -p "$dir/bin" "$dir/share/man/man1" "$dir/share/doc/droplet"
strip --strip-all -o "$dir/bin/droplet" "$linux_bin"
strip --strip-all -o "$dir/bin/droplet-maker" "$linux_bin-maker"
page droplet >"$dir/share/man/man1/droplet.1"
page droplet-maker >"$dir/share/man/man1/droplet-maker.1"
doc=$dir/share/doc/droplet
cp "$root/docs/install-linux.txt" "$doc/README"
cp "$root/docs/guide.txt" "$doc/GUIDE.txt"
cp "$root/docs/request-json.md" "$doc/REQUEST-JSON.md"
cp "$root/LICENSE" "$doc/LICENSE"
settle "$dir" "$dir/bin/droplet"
chmod 755 "$dir/bin/droplet-maker"
tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --format=gnu \
    --mtime="@$SOURCE_DATE_EPOCH" -cf - "$name-linux-x86_64" |
  gzip -9 -n >"$out/$name-linux-x86_64.tar.gz"

(cd "$out" && sha256sum -- *.zip *.msi *.tar.gz >SHA256SUMS)
echo "dist: $out (version $version$([ -z "$cert" ] || echo ", signed"))"
(cd "$out" && ls -l --time-style=+ -- * | awk '{printf "  %10s  %s\n", $5, $NF}')
