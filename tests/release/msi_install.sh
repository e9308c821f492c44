#!/usr/bin/env bash
# The installer under Wine, as a user meets it: install quietly, check the
# shortcuts of the three droplets (desktop, Start menu, Send To) and the
# folder menu's verbs, drop a damaged document on the desktop shortcut and
# send three to droplet.exe's Send To shortcut (the stand-in host records the
# requests), check the list of installed programs, upgrade to a later version
# (and back, which is refused), uninstall, and check that nothing is left
# behind.
#   msi_install.sh --arch win32|win64 --msi-arch x86|x64 --droplet droplet.exe
#                  --host stand_in_host.exe --version x.y.z --work <folder>
# The prefix's home folder is the work folder, with a Desktop of its own:
# Wine links the Windows desktop to $HOME/Desktop, or to $HOME itself when
# that does not exist, so the desktop shortcut would otherwise land in the
# user's real home folder. Wine's menu builder is off for the same reason.
set -u
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2 ;;
    --msi-arch) msi_arch=$2 ;;
    --droplet) droplet=$2 ;;
    --host) host=$2 ;;
    --version) version=$2 ;;
    --work) work=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
: "${arch:?} ${msi_arch:?} ${droplet:?} ${host:?} ${version:?} ${work:?}"
root=$(cd "$(dirname "$0")/../.." && pwd)

rm -rf "$work"
mkdir -p "$work/home/Desktop" "$work/files" "$work/logs"
work=$(cd "$work" && pwd)

export WINEDEBUG=-all
. "$root/tests/support/wine_suite.sh" "$arch" "$work/prefix"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
export HOME="$work/home"
# Every file of ours in the prefix and the home folder, one per line.
ours() {
  find "$WINEPREFIX/drive_c" "$HOME" \( -iname '*droplet*' -o -iname 'GUIDE.txt' \
    -o -iname 'Check documents*' -o -iname 'Repair folders*' \) \
    -not -path '*/windows/Installer/*' 2>/dev/null | sort
}

echo "building the $msi_arch installer"
printf 'guide\r\n' >"$work/GUIDE.txt"
printf 'manual\r\n' >"$work/droplet-maker.txt"
printf 'licence\r\n' >"$work/LICENSE.txt"
msi="$work/droplet-$version-windows-$msi_arch.msi"
# The installer packs what stands beside droplet.exe: the maker and the
# ready-made droplets as built (the end-to-end suite checks stamped ones).
mkdir -p "$work/programs"
cp "$droplet" "$(dirname "$droplet")"/{droplet-maker,"Check documents","Repair folders"}.exe "$work/programs/" ||
  { echo "the programs beside droplet.exe are not all built"; exit 1; }
droplet="$work/programs/droplet.exe"
"$root/scripts/make-msi.sh" "$msi_arch" "$version" "$droplet" "$work/GUIDE.txt" "$work/LICENSE.txt" \
  "$msi" || { echo "make-msi failed"; exit 1; }
product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
echo "  product code $product"

started=$(date +%s)
echo "booting a $arch Wine prefix"
wineboot -i >/dev/null 2>&1 || { echo "wineboot failed"; exit 2; }
wineserver -w
wine "$host" /register >/dev/null 2>&1 || { echo "registering the stand-in host failed"; exit 1; }

echo "[$(( $(date +%s) - started )) s] install"
wine msiexec /i "$(winpath "$msi")" /qn >"$work/logs/install" 2>&1
status=$?
wineserver -w
[ "$status" = 0 ] && pass "msiexec /i exited 0" || fail "msiexec /i exited $status"
program="$WINEPREFIX/drive_c/Program Files/droplet/droplet.exe"
cmp -s "$program" "$droplet" && pass "droplet.exe installed under Program Files\\droplet" ||
  fail "no droplet.exe under Program Files\\droplet: $(ours)"
[ -f "$WINEPREFIX/drive_c/Program Files/droplet/GUIDE.txt" ] && pass "the guide beside it" ||
  fail "no GUIDE.txt"
[ -f "$WINEPREFIX/drive_c/Program Files/droplet/droplet-maker.txt" ] &&
  pass "the maker's manual beside it" || fail "no droplet-maker.txt"
maker="$WINEPREFIX/drive_c/Program Files/droplet/droplet-maker.exe"
cmp -s "$maker" "$(dirname "$droplet")/droplet-maker.exe" && pass "droplet-maker.exe beside it" ||
  fail "no droplet-maker.exe beside droplet.exe"
wine "$maker" --flag Fldr "$(winpath "$work/made.exe")" >/dev/null 2>&1 &&
  wine "$maker" --show "$(winpath "$work/made.exe")" 2>/dev/null | grep -q -F '"flag":["Fldr"]' &&
  pass "the installed droplet-maker makes a droplet from the droplet beside it" ||
  fail "the installed droplet-maker made no droplet"
desktop="$HOME/Desktop/droplet.lnk"
start_menu=$(find "$WINEPREFIX/drive_c" -ipath '*/Start Menu/Programs/droplet.lnk' | head -n1)
[ -f "$desktop" ] && pass "desktop shortcut" || fail "no desktop shortcut"
[ -n "$start_menu" ] && pass "Start-menu shortcut ${start_menu#"$WINEPREFIX/drive_c/"}" ||
  fail "no Start-menu shortcut"
for made in "Check documents" "Repair folders"; do
  cmp -s "$WINEPREFIX/drive_c/Program Files/droplet/$made.exe" "$work/programs/$made.exe" &&
    pass "$made.exe beside it" || fail "no $made.exe beside it"
done
# Each droplet's shortcuts name its path and carry its tooltip (ANSI or UTF-16).
lnk_says() { python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); t = sys.argv[2]
sys.exit(t.encode("latin-1") not in d and t.encode("utf-16-le") not in d)' "$@" 2>/dev/null; }
send_to=$(find "$WINEPREFIX/drive_c/users" -type d -ipath '*/AppData/Roaming/Microsoft/Windows/SendTo' | head -n1)
for made in "droplet|Repairs damaged documents and opens them in the host editor" \
    "Check documents|Checks documents and folders for damaged values; changes nothing" \
    "Repair folders|Repairs the documents in folders and their subfolders; opens the repaired ones in the host editor"; do
  name=${made%|*} tip=${made#*|}
  for where in "desktop|$HOME/Desktop" "Start menu|$(dirname "$start_menu")" "Send To|$send_to"; do
    lnk_says "${where#*|}/$name.lnk" "Program Files\\droplet\\$name.exe" && lnk_says "${where#*|}/$name.lnk" "$tip" &&
      pass "$name: ${where%|*} shortcut, tooltip '$tip'" || fail "$name: no ${where%|*} shortcut with tooltip '$tip'"
  done
done
# The folder menu: a verb per folder droplet on a folder and on an open
# folder's background, each running the installed droplet on that folder.
installed='C:\Program Files\droplet'
verb_says() {  # verb_says <key> <title> <command>
  local key="HKCR\\$1" got
  got=$(wine reg query "$key" /ve 2>/dev/null | tr -d '\r' | sed -n -E 's/^ +\(Default\) +REG_SZ +//p')
  got="$got|$(wine reg query "$key\\command" /ve 2>/dev/null | tr -d '\r' |
              sed -n -E 's/^ +\(Default\) +REG_SZ +//p')"
  [ "$got" = "$2|$3" ] && pass "$1: $2, $3" || fail "$1 says '$got', not '$2|$3'"
}
for verb in "DropletCheckDocuments|Check documents" "DropletRepairFolders|Repair folders"; do
  verb_says "Directory\\shell\\${verb%|*}" "${verb#*|}" "\"$installed\\${verb#*|}.exe\" \"%1\""
  verb_says "Directory\\Background\\shell\\${verb%|*}" "${verb#*|}" "\"$installed\\${verb#*|}.exe\" \"%V\""
done
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
entry=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
grep -q -E 'DisplayName +REG_SZ +droplet$' <<<"$entry" && pass "listed as an installed program" ||
  fail "not in the list of installed programs: $entry"
grep -q -E "DisplayVersion +REG_SZ +$version\$" <<<"$entry" && pass "with version $version" ||
  fail "listed without version $version"

echo "[$(( $(date +%s) - started )) s] a damaged document dropped on the desktop shortcut"
doc="$work/files/dropped document.psd"
printf 'head /Values [ --.-00000 middle /Values [ --.-00000 tail' >"$doc"
# Explorer hands the files dropped on a shortcut to its target's command
# line; start does the same with the files it is given. It does not wait
# for a shortcut's program: wait until the prefix is idle, which is when the
# droplet has ended and the stand-in host after it (given a short lifetime,
# since the droplet never releases the host).
STAND_IN_HOST_RECORD=$(winpath "$work/record.json") STAND_IN_HOST_LIFETIME=5 \
  wine start /unix "$desktop" "$(winpath "$doc")" </dev/null >"$work/logs/run" 2>&1
wineserver -w
[ "$(cat "$doc")" = 'head /Values [ 1.0000000 middle /Values [ 1.0000000 tail' ] &&
  pass "document repaired" || fail "document not repaired: $(cat "$doc")"
# The record holds one request, with the given files.
one_request() {  # one_request <record> <file>...
  python3 - "$@" <<'PY'
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
request = json.loads(lines[0]) if len(lines) == 1 else {}
files = [item["value"] for item in request.get("items", []) if item.get("key") == "File"]
print("    recorded: " + " ".join(lines))
sys.exit(request.get("event") != "BtcF" or files != [[{"kind": "path", "value": f} for f in sys.argv[2:]]])
PY
}
one_request "$work/record.json" "$(winpath "$doc")" && pass "request recorded with the dropped document" ||
  fail "request not as expected"

# Explorer's Send To starts the shortcut's target once with every selected
# file, as a drop on it does (Wine's Explorer has no Send To menu: start the
# shortcut as it would). One request with the three, so one droplet.
echo "[$(( $(date +%s) - started )) s] three damaged documents sent to droplet.exe's Send To shortcut"
sent=()
for n in 1 2 3; do
  printf 'head /Values [ --.-00000 tail' >"$work/files/sent $n.psd"
  sent+=("$(winpath "$work/files/sent $n.psd")")
done
STAND_IN_HOST_RECORD=$(winpath "$work/sent.json") STAND_IN_HOST_LIFETIME=5 \
  wine start /unix "$send_to/droplet.lnk" "${sent[@]}" </dev/null >"$work/logs/send-to" 2>&1
wineserver -w
[ "$(cat "$work/files/sent "{1,2,3}.psd)" = "$(printf 'head /Values [ 1.0000000 tail%.0s' 1 2 3)" ] &&
  pass "the three documents repaired" || fail "not all three repaired"
one_request "$work/sent.json" "${sent[@]}" && pass "one request with the three documents" ||
  fail "not one request with the three"

echo "[$(( $(date +%s) - started )) s] upgrade to a later version of the same program"
next=${version%.*}.$(( ${version##*.} + 1 ))
newer="$work/droplet-$next-windows-$msi_arch.msi"
"$root/scripts/make-msi.sh" "$msi_arch" "$next" "$droplet" "$work/GUIDE.txt" "$work/LICENSE.txt" \
  "$newer" >/dev/null || { echo "make-msi failed"; exit 1; }
newer_product=$(msiinfo export "$newer" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
wine msiexec /i "$(winpath "$newer")" /qn >"$work/logs/upgrade" 2>&1
status=$?
wineserver -w
[ "$status" = 0 ] && pass "msiexec /i of $next exited 0" || fail "msiexec /i of $next exited $status"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "$version still listed beside $next" ||
  pass "$version replaced"
wine reg query "${uninstall_key%\\*}\\$newer_product" 2>/dev/null | tr -d '\r' |
  grep -q -E "DisplayVersion +REG_SZ +$next\$" && pass "$next listed" || fail "$next not listed"
cmp -s "$program" "$droplet" && [ -f "$desktop" ] && pass "program and shortcuts in place" ||
  fail "program or shortcut missing after the upgrade"
uninstall_key="${uninstall_key%\\*}\\$newer_product"
wine msiexec /i "$(winpath "$msi")" /qn >"$work/logs/downgrade" 2>&1
status=$?
wineserver -w
[ "$status" != 0 ] && pass "going back to $version is refused (exit $status)" ||
  fail "going back to $version was accepted"
wine reg query "$uninstall_key" >/dev/null 2>&1 && cmp -s "$program" "$droplet" &&
  pass "$next still installed" || fail "$next damaged by the refused downgrade"

echo "[$(( $(date +%s) - started )) s] uninstall"
wine msiexec /x "$(winpath "$newer")" /qn >"$work/logs/uninstall" 2>&1
status=$?
wineserver -w
[ "$status" = 0 ] && pass "msiexec /x exited 0" || fail "msiexec /x exited $status"
[ ! -e "$WINEPREFIX/drive_c/Program Files/droplet" ] && pass "nothing left in Program Files" ||
  fail "left in Program Files: $(ls -A "$WINEPREFIX/drive_c/Program Files/droplet")"
left=$(ours)
[ -z "$left" ] && pass "no shortcut or file of ours left" || fail "left behind: $left"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "still listed as installed" ||
  pass "gone from the list of installed programs"
for key in 'Directory\shell\DropletCheckDocuments' 'Directory\shell\DropletRepairFolders' \
    'Directory\Background\shell\DropletCheckDocuments' 'Directory\Background\shell\DropletRepairFolders'; do
  wine reg query "HKCR\\$key" >/dev/null 2>&1 && fail "$key left in the registry" ||
    pass "$key removed"
done

# One droplet at a time: the x86 installer of the same version replaces the
# x64 one (they would share the shortcuts). Needs 32-bit programs; the x86
# package holds the same file, which is not run here.
if [ "$msi_arch" = x64 ] && "$root/scripts/win32-support.sh" >/dev/null; then
  echo "[$(( $(date +%s) - started )) s] the x86 installer of the same version replaces the x64 one"
  other="$work/droplet-$version-windows-x86.msi"
  "$root/scripts/make-msi.sh" x86 "$version" "$droplet" "$work/GUIDE.txt" "$work/LICENSE.txt" \
    "$other" >/dev/null || { echo "make-msi failed"; exit 1; }
  wine msiexec /i "$(winpath "$msi")" /qn >"$work/logs/x64-again" 2>&1
  wineserver -w
  wine msiexec /i "$(winpath "$other")" /qn >"$work/logs/x86" 2>&1
  status=$?
  wineserver -w
  [ "$status" = 0 ] && pass "msiexec /i of the x86 installer exited 0" || fail "x86 install exited $status"
  uninstall_key="${uninstall_key%\\*}\\$product"
  [ ! -e "$WINEPREFIX/drive_c/Program Files/droplet" ] && ! wine reg query "$uninstall_key" >/dev/null 2>&1 &&
    pass "the x64 droplet is gone" || fail "the x64 droplet is still installed"
  [ -f "$WINEPREFIX/drive_c/Program Files (x86)/droplet/droplet.exe" ] && [ -f "$desktop" ] &&
    pass "the x86 droplet is under Program Files (x86)\\droplet, with its shortcuts" ||
    fail "the x86 droplet or its shortcut is missing"
  wine msiexec /x "$(winpath "$other")" /qn >"$work/logs/x86-uninstall" 2>&1
  wineserver -w
  left=$(ours)
  [ -z "$left" ] && pass "after its uninstall nothing of ours is left" || fail "left behind: $left"
fi

echo "msi: $failures failure(s) in $(( $(date +%s) - started )) s"
[ "$failures" -eq 0 ]
