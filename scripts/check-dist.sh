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
tar -xOzf "$dist/$name-linux-x86_64.tar.gz" "$name-linux-x86_64/bin/droplet-maker" >"$work/maker" &&
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
top=$name-linux-x86_64
same "laid out as a prefix: bin/, share/man/man1/, share/doc/droplet/" \
  "$(tar -tzf "$tarball" | sort)" \
  "$(printf "$top/%s\n" "" bin/ bin/droplet bin/droplet-maker share/ share/doc/ share/doc/droplet/ \
     share/doc/droplet/GUIDE.txt share/doc/droplet/LICENSE share/doc/droplet/README \
     share/doc/droplet/REQUEST-JSON.md share/man/ share/man/man1/ share/man/man1/droplet-maker.1 \
     share/man/man1/droplet.1 | sort)"
same "owned by 0/0" "$(tar --numeric-owner -tvzf "$tarball" | awk '{print $2}' | sort -u)" "0/0"
same "the programs are executable, everything else plain" \
  "$(tar -tvzf "$tarball" | awk '$1 !~ /^d/ {print $1, $NF}' | sed "s|$top/||" | sort -k2)" \
  "$(printf '%s\n' "-rwxr-xr-x bin/droplet" "-rwxr-xr-x bin/droplet-maker" \
     "-rw-r--r-- share/doc/droplet/GUIDE.txt" "-rw-r--r-- share/doc/droplet/LICENSE" \
     "-rw-r--r-- share/doc/droplet/README" "-rw-r--r-- share/doc/droplet/REQUEST-JSON.md" \
     "-rw-r--r-- share/man/man1/droplet-maker.1" "-rw-r--r-- share/man/man1/droplet.1")"
tar -xzf "$tarball" -C "$work"
linux=$work/$top
cmp -s "$linux/share/doc/droplet/README" "$root/docs/install-linux.txt" &&
  pass "share/doc/droplet/README is the install guide" || fail "share/doc/droplet/README is not docs/install-linux.txt"
same "droplet --version" "$("$linux/bin/droplet" --version </dev/null)" "droplet $version"
same "droplet-maker --version" "$("$linux/bin/droplet-maker" --version </dev/null)" "droplet-maker $version"
for page in droplet droplet-maker; do
  man1=$linux/share/man/man1/$page.1
  grep -q "$page $version" "$man1" &&
    grep -q -E "^\.TH ${page^^} 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$man1" &&
    pass "$page.1 names $version and carries its date" || fail "$page.1 lacks its version or its date"
  warnings=$(groff -man -ww -z "$man1" 2>&1; man -l "$man1" 2>&1 >/dev/null)
  [ -z "$warnings" ] && pass "$page.1 is valid man(7)" || fail "$page.1: $(echo $warnings)"
done

# Installed as its README says (bin and share copied under a prefix), the
# maker finds the droplet beside it, wherever it is started from.
mkdir -p "$work/prefix" "$work/elsewhere"
cp -r "$linux/bin" "$linux/share" "$work/prefix/"
printf 'head /Values [ --.-00000 tail\n' >"$work/elsewhere/damaged.psd"
(cd "$work/elsewhere" && PATH=$work/prefix/bin:$PATH droplet-maker --check --flag Fldr made) ||
  fail "droplet-maker on PATH, without --from, made no droplet"
same "bin/droplet-maker without --from stamps bin/droplet" \
  "$("$work/prefix/bin/droplet-maker" --show "$work/elsewhere/made" | python3 -c 'import json, sys
d = json.load(sys.stdin)
print(d["check"], d["flag"])')" "True ['Fldr']"
cmp -s <(head -c 4096 "$work/elsewhere/made") <(head -c 4096 "$work/prefix/bin/droplet") &&
  pass "the made droplet is a copy of bin/droplet" || fail "the made droplet is not a copy of bin/droplet"
same "the made droplet runs: its check counts a damaged document, exit 1" \
  "$(cd "$work/elsewhere" && ./made damaged.psd; echo "exit $?")" "$(printf 'damaged.psd: 1\nexit 1')"
ln -s "$work/prefix/bin/droplet-maker" "$work/elsewhere/maker-link"
(cd "$work/elsewhere" && ./maker-link --send none made-through-link) ||
  fail "droplet-maker through a link made no droplet"
same "through a link, the maker still finds bin/droplet" \
  "$("$work/prefix/bin/droplet-maker" --show "$work/elsewhere/made-through-link" |
     python3 -c 'import json, sys; print(json.load(sys.stdin)["send"])')" "none"

echo "user documents"
# A manual page as its reader sees it: plain text, no hyphenation, long lines.
render() { sed '/^\.TH /a .nh' "$1" | groff -man -Tascii -rLL=200n -P-c -P-b -P-u -P-o 2>/dev/null; }
render "$linux/share/man/man1/droplet.1" >"$work/droplet.man"
render "$linux/share/man/man1/droplet-maker.1" >"$work/droplet-maker.man"
# The options a --help lists: the first words of its option lines, one a line.
options_of() {
  python3 -c 'import re, sys
for line in sys.stdin:
    if re.match(r" +(-|/\?)", line):
        for piece in re.split(r"\s{2,}", line.strip())[0].split(", "):
            print(re.split(r"[ =]", piece)[0])'
}
# missing <file> <word>...: the words that do not appear in the file as words.
missing() {
  python3 - "$@" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
for word in sys.argv[2:]:
    if not re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text):
        print(word)
PY
}
"$linux/bin/droplet" --help | options_of >"$work/droplet.options"
"$linux/bin/droplet-maker" --help | options_of >"$work/maker.options"
[ "$(wc -l <"$work/droplet.options")" -ge 10 ] && [ "$(wc -l <"$work/maker.options")" -ge 20 ] ||
  fail "too few options read from the --help texts"
for doc in "droplet.1|$work/droplet.man|droplet" "GUIDE.txt|$linux/share/doc/droplet/GUIDE.txt|droplet" \
           "droplet-maker.1|$work/droplet-maker.man|maker" \
           "GUIDE.txt|$linux/share/doc/droplet/GUIDE.txt|maker" \
           "x86/droplet-maker.txt|$work/x86/droplet-maker.txt|maker" \
           "x64/droplet-maker.txt|$work/x64/droplet-maker.txt|maker"; do
  IFS='|' read -r label file program <<<"$doc"
  same "$label names every option of $( [ "$program" = maker ] && echo droplet-maker || echo droplet) --help" \
    "$(missing "$file" $(cat "$work/$program.options"))" ""
done
"$linux/bin/droplet-maker" --show "$linux/bin/droplet" |
  python3 -c 'import json, sys; print("\n".join(json.load(sys.stdin)))' >"$work/show.keys"
sed -n '/^SHOWN SETTINGS/,/^EXIT STATUS/p' "$work/droplet-maker.man" >"$work/shown.man"
[ "$(wc -l <"$work/show.keys")" -ge 14 ] && same "droplet-maker.1 explains every key --show prints" \
  "$(missing "$work/shown.man" $(cat "$work/show.keys"))" "" || fail "--show printed too few keys"
for file in "$linux/share/doc/droplet/"* "$work/droplet.man" "$work/droplet-maker.man" \
            "$work/x86/GUIDE.txt" "$work/x86/droplet-maker.txt" "$work/x64/GUIDE.txt" \
            "$work/x64/droplet-maker.txt"; do
  [ "$(basename "$file")" = LICENSE ] && continue
  label=${file#"$work/"}
  same "$label has no words of our tests" \
    "$(grep -i -o -E 'end-to-end|stand-in|make sign|\bfake\b' "$file" | sort -u)" ""
  same "$label claims no size limit" \
    "$(grep -i -o -E '(smaller|less|lower) than [0-9.,]+ *[KMGT]i?B|(up to|at most|under|below) [0-9.,]+ *[GT]i?B|[0-9.,]+ *[GT]i?B limit' "$file" | sort -u)" ""
done

echo "reproducible archives"
"$root/scripts/dist.sh" "$work/again" >/dev/null 2>&1 || fail "packing again failed"
same "packing the same programs again gives the same bytes" "$(cat "$work/again/SHA256SUMS" 2>/dev/null)" \
  "$(cat "$dist/SHA256SUMS")"

echo "dist: $failures failure(s)"
[ "$failures" -eq 0 ]
