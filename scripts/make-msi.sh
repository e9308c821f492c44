#!/usr/bin/env bash
# Builds the droplet's installer with wixl from installer/droplet.wxs.
#   scripts/make-msi.sh x86|x64 <version> <droplet.exe> <GUIDE.txt> <LICENSE.txt> <out.msi>
# droplet-maker.exe and the made droplets "Check documents.exe" and "Repair
# folders.exe" are taken from beside droplet.exe, the maker's manual
# droplet-maker.txt from beside GUIDE.txt.
# Reproducible: the product code follows the version and architecture, the
# package code the bytes packed, and the summary's time stamps are set to
# SOURCE_DATE_EPOCH (wixl itself writes a random package code and the clock).
set -euo pipefail

[ $# -eq 6 ] || { echo "usage: $0 x86|x64 version droplet.exe GUIDE.txt LICENSE.txt out.msi" >&2; exit 2; }
arch=$1 version=$2 program=$3 guide=$4 license=$5 out=$6
root=$(cd "$(dirname "$0")/.." && pwd)
case "$arch" in
  x86) program_files=ProgramFilesFolder win64=no ;;
  x64) program_files=ProgramFiles64Folder win64=yes ;;
  *) echo "make-msi: architecture x86 or x64, not '$arch'" >&2; exit 2 ;;
esac
epoch=${SOURCE_DATE_EPOCH:-315532800}

# wixl takes file names relative to the folder it runs in: stage everything.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$root/installer/droplet.wxs" "$root/resources/droplet.ico" "$stage/"
cp "$program" "$stage/droplet.exe"
cp "$(dirname "$program")/droplet-maker.exe" "$stage/droplet-maker.exe"
cp "$(dirname "$program")/Check documents.exe" "$(dirname "$program")/Repair folders.exe" "$stage/"
cp "$guide" "$stage/GUIDE.txt"
cp "$(dirname "$guide")/droplet-maker.txt" "$stage/droplet-maker.txt"
cp "$license" "$stage/LICENSE.txt"
touch -d "@$epoch" "$stage"/*  # the cabinet keeps each file's time

# Name-based (version 5) UUIDs under the droplet's own namespace: stable
# where they must be, new where they must change.
uuid() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID("5e0c3f6b-6d2b-4c57-9a51-2f4c1b7d0e21"), sys.argv[1])).upper())' "$1"; }
content=$(cd "$stage" && sha256sum droplet.wxs droplet.ico droplet.exe droplet-maker.exe GUIDE.txt LICENSE.txt droplet-maker.txt \
  "Check documents.exe" "Repair folders.exe" | sha256sum | cut -c1-64)
product_code=$(uuid "product $version $arch")
package_code=$(uuid "package $version $arch $content")

(cd "$stage" && wixl --arch "$arch" -o droplet.msi \
  -D Version="$version" -D Arch="$arch" -D ProductCode="$product_code" -D PackageCode="$package_code" \
  -D ProgramFilesFolder="$program_files" -D Win64="$win64" \
  -D ProgramComponent="$(uuid "component program $arch")" \
  -D DocumentsComponent="$(uuid "component documents $arch")" \
  -D FolderMenuComponent="$(uuid "component folder menu $arch")" \
  -D Icon=droplet.ico -D Program=droplet.exe -D Maker=droplet-maker.exe -D Guide=GUIDE.txt -D License=LICENSE.txt \
  -D MakerManual=droplet-maker.txt -D CheckDroplet="Check documents.exe" -D RepairDroplet="Repair folders.exe" \
  droplet.wxs)
python3 "$root/scripts/msi_summary.py" "$stage/droplet.msi" "{$package_code}" "$epoch"
cp "$stage/droplet.msi" "$out"
