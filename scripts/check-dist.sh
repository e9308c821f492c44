#!/usr/bin/env bash
# Checks make dist's output: the checksums, what each archive and installer
# holds, and that packing the same programs again gives the same bytes.
#   scripts/check-dist.sh <dist folder>
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "${1:?usage: $0 <dist folder>}" && pwd) || exit 2
version=$(sed -n -E 's/^project\(droplet VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$root/CMakeLists.txt")
name=droplet-$version
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "  ok: $*"; }
same() {  # same <what> <got> <want>
  [ "$2" = "$3" ] && pass "$1" || { fail "$1"; echo "    got:  $(echo $2)"; echo "    want: $(echo $3)"; }
}

echo "checksums"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) && pass "sha256sum -c SHA256SUMS" ||
  fail "sha256sum -c SHA256SUMS"
same "SHA256SUMS covers every download" "$(cut -c67- "$dist/SHA256SUMS" | sort)" \
  "$(printf '%s\n' "$name-linux-x86_64.tar.gz" "$name-windows-x64.msi" "$name-windows-x64.zip" \
     "$name-windows-x86.msi" "$name-windows-x86.zip")"
same "nothing else in dist/" "$(ls "$dist" | sort)" \
  "$( (cut -c67- "$dist/SHA256SUMS"; echo SHA256SUMS) | sort)"

# The Linux maker reads the made Windows droplets' options back.
tar -xOzf "$dist/$name-linux-x86_64.tar.gz" "$name-linux-x86_64/droplet-maker" >"$work/maker" &&
  chmod +x "$work/maker"
for arch in x86 x64; do
  zip=$dist/$name-windows-$arch.zip
  echo "$(basename "$zip")"
  top=$name-windows-$arch
  same "holds $top/ with droplet.exe, droplet-maker.exe, the two made droplets, GUIDE.txt, LICENSE.txt, droplet-maker.txt" \
    "$(unzip -Z1 "$zip" | sort)" \
    "$(printf "$top/%s\n" "Check documents.exe" GUIDE.txt LICENSE.txt "Repair folders.exe" \
       droplet-maker.exe droplet-maker.txt droplet.exe)"
  mkdir -p "$work/unzipped-$arch"
  unzip -q -o "$zip" -d "$work/unzipped-$arch"
  ln -s "unzipped-$arch/$top" "$work/$arch"
  "$root/tests/pe/check_exe.py" $arch "$work/$arch/droplet.exe" "$work/$arch/droplet-maker.exe" \
    "$work/$arch/Check documents.exe" "$work/$arch/Repair folders.exe" >"$work/image.log" &&
    pass "droplet.exe and the made droplets are $arch programs, each with its own icon" ||
    fail "programs: $(grep FAILED "$work/image.log")"
  "$root/tests/release/check_version.py" "$work/$arch/droplet.exe" "$work/$arch/droplet-maker.exe" \
    "$work/$arch/Check documents.exe" "$work/$arch/Repair folders.exe" "$version" >"$work/version.log" &&
    pass "the four programs' version resources say $version and what each does" ||
    fail "version: $(grep FAILED "$work/version.log")"
  grep -q $'\r$' "$work/$arch/GUIDE.txt" && pass "GUIDE.txt has Windows line ends" ||
    fail "GUIDE.txt has Unix line ends"
  grep -q "droplet-maker $version" "$work/$arch/droplet-maker.txt" &&
    grep -q -- '--save-to' "$work/$arch/droplet-maker.txt" && grep -q $'\r$' "$work/$arch/droplet-maker.txt" &&
    pass "droplet-maker.txt: the manual as text with Windows line ends, naming $version" ||
    fail "droplet-maker.txt is not the manual as Windows text"

  for made in "Check documents|true,false,true,false,all" "Repair folders|true,true,false,true,repaired"; do
    same "${made%|*}.exe: droplet.exe made recursive, keep-going, check, report, send: ${made#*|}" \
      "$("$work/maker" --show "$work/$arch/${made%|*}.exe" | python3 -c 'import json, sys
d = json.load(sys.stdin)
print(",".join(str(d[k]).lower() for k in ("recursive", "keep-going", "check", "report", "send")))')" "${made#*|}"
  done

  msi=$dist/$name-windows-$arch.msi
  echo "$(basename "$msi")"
  same "installs droplet.exe, droplet-maker.exe, the two made droplets, GUIDE.txt, LICENSE.txt, droplet-maker.txt" \
    "$(msiinfo export "$msi" File | tr -d '\r' | tail -n +4 | cut -f3 | sed 's/.*|//' | sort)" \
    "$(printf '%s\n' "Check documents.exe" GUIDE.txt LICENSE.txt "Repair folders.exe" droplet-maker.exe \
       droplet-maker.txt droplet.exe)"
  same "product version $version" \
    "$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')" "$version"
  same "shortcuts to the three droplets on the desktop, in the Start menu and in Send To" \
    "$(msiinfo export "$msi" Shortcut | tr -d '\r' | tail -n +4 | cut -f2,3,5 | sort)" \
    "$(for folder in DesktopFolder ProgramMenuFolder SendToFolder; do
         for name in "Check documents" "Repair folders" droplet; do
           printf '%s\t%s\t[INSTALLDIR]%s.exe\n' $folder "$name" "$name"; done; done)"
  same "a folder's menu (and its background's) runs Check documents and Repair folders on it" \
    "$(msiinfo export "$msi" Registry | tr -d '\r' | tail -n +4 | cut -f2- | grep command | sort)" \
    "$(for where in 'Directory\Background\shell|%V' 'Directory\shell|%1'; do
         for verb in 'Check documents|DropletCheckDocuments' 'Repair folders|DropletRepairFolders'; do
           printf '0\t%s\\%s\\command\t\t"[INSTALLDIR]%s.exe" "%s"\tFolderMenu\n' \
             "${where%|*}" "${verb#*|}" "${verb%|*}" "${where#*|}"; done; done)"
  msiinfo extract "$msi" droplet.cab >"$work/$arch.cab" 2>/dev/null
  mkdir -p "$work/cab-$arch"
  (cd "$work/cab-$arch" && gcab -x "../$arch.cab" >/dev/null 2>&1)
  # The cabinet names each file by its Id (no "-" or space allowed there).
  for exe in droplet.exe droplet-maker.exe "Check documents.exe" "Repair folders.exe"; do
    cmp -s "$work/cab-$arch/${exe//[- ]/_}" "$work/$arch/$exe" &&
      pass "the installer's $exe is the zip's" || fail "the installer's $exe is not the zip's"
  done
done

tarball=$dist/$name-linux-x86_64.tar.gz
echo "$(basename "$tarball")"
same "holds droplet, droplet.1, droplet-maker, droplet-maker.1, GUIDE.txt, LICENSE, REQUEST-JSON.md" \
  "$(tar -tzf "$tarball" | sort)" \
  "$(printf '%s\n' "$name-linux-x86_64/" "$name-linux-x86_64/GUIDE.txt" "$name-linux-x86_64/LICENSE" \
     "$name-linux-x86_64/REQUEST-JSON.md" "$name-linux-x86_64/droplet" \
     "$name-linux-x86_64/droplet-maker" "$name-linux-x86_64/droplet-maker.1" \
     "$name-linux-x86_64/droplet.1")"
same "owned by 0/0" "$(tar --numeric-owner -tvzf "$tarball" | awk '{print $2}' | sort -u)" "0/0"
tar -xzf "$tarball" -C "$work"
same "droplet --version" "$("$work/$name-linux-x86_64/droplet" --version </dev/null)" "droplet $version"
grep -q "droplet $version" "$work/$name-linux-x86_64/droplet.1" && pass "the manual page names $version" ||
  fail "the manual page does not name $version"
grep -q -E '^\.TH DROPLET 1 "[0-9]{4}-[0-9]{2}-[0-9]{2}"' "$work/$name-linux-x86_64/droplet.1" &&
  pass "the manual page carries its date" || fail "the manual page has no date"
same "droplet-maker --version" "$("$work/$name-linux-x86_64/droplet-maker" --version </dev/null)" \
  "droplet-maker $version"
same "the tarball's droplet-maker stamps the tarball's droplet" \
  "$(cd "$work/$name-linux-x86_64" && ./droplet-maker --flag Fldr "$work/made" &&
     ./droplet-maker --show "$work/made" | grep -o '"flag":\[[^]]*\]')" '"flag":["Fldr"]'
grep -q "droplet-maker $version" "$work/$name-linux-x86_64/droplet-maker.1" &&
  pass "its manual page names $version" || fail "droplet-maker.1 does not name $version"

echo "reproducible archives"
"$root/scripts/dist.sh" "$work/again" >/dev/null 2>&1 || fail "packing again failed"
same "packing the same programs again gives the same bytes" "$(cat "$work/again/SHA256SUMS" 2>/dev/null)" \
  "$(cat "$dist/SHA256SUMS")"

echo "dist: $failures failure(s)"
[ "$failures" -eq 0 ]
