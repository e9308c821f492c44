#!/usr/bin/env bash
# The installer under Wine, as a user meets it: install quietly, check the
# shortcuts of the three droplets (desktop, Start menu, Send To) and the
# folder menu's verbs, drop a damaged document on the desktop shortcut and
# send three to droplet.exe's Send To shortcut (the stand-in host records the
# requests), run "Repair folders" on a folder as its verb does, check the list
# of installed programs, upgrade to a later version (and back, which is
# refused), uninstall, and check that nothing is left behind.
#   msi_install.sh --arch win32|win64 --msi-arch x86|x64 --droplet droplet.exe
#                  --host stand_in_host.exe --version x.y.z --work <folder>
# The ready-made droplets are taken from beside droplet.exe and stamped here
# as the downloads stamp them.
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

started=$(date +%s)
echo "booting a $arch Wine prefix"
wineboot -i >/dev/null 2>&1 || { echo "wineboot failed"; exit 2; }
wineserver -w
wine "$host" /register >/dev/null 2>&1 || { echo "registering the stand-in host failed"; exit 1; }

echo "[$(( $(date +%s) - started )) s] building the $msi_arch installer"
printf 'guide\r\n' >"$work/GUIDE.txt"
printf 'manual\r\n' >"$work/droplet-maker.txt"
printf 'licence\r\n' >"$work/LICENSE.txt"
msi="$work/droplet-$version-windows-$msi_arch.msi"
# The installer packs what stands beside droplet.exe.
mkdir -p "$work/programs"
built=$(dirname "$droplet")
cp "$droplet" "$built/droplet-maker.exe" "$work/programs/"
stamp() {  # stamp <droplet> <maker options>...: the built droplet, stamped
  local name=$1; shift
  [ -f "$built/$name" ] || { echo "no $name beside droplet.exe"; exit 1; }
  wine "$built/droplet-maker.exe" --from "$(winpath "$built/$name")" "$@" \
    "$(winpath "$work/programs/$name")" >/dev/null 2>&1 || { echo "stamping $name failed"; exit 1; }
}
stamp "Check documents.exe" --recursive --check
stamp "Repair folders.exe" --recursive --keep-going --report
droplet="$work/programs/droplet.exe"
"$root/scripts/make-msi.sh" "$msi_arch" "$version" "$droplet" "$work/GUIDE.txt" "$work/LICENSE.txt" \
  "$msi" || { echo "make-msi failed"; exit 1; }
product=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
echo "  product code $product"

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
# A shortcut names its target's path and carries its tooltip.
lnk_says() {  # lnk_says <shortcut> <text>: the text, in ANSI or UTF-16
  python3 - "$1" "$2" <<'PY'
import sys
data, text = open(sys.argv[1], "rb").read(), sys.argv[2]
sys.exit(0 if text.encode("latin-1") in data or text.encode("utf-16-le") in data else 1)
PY
}
send_to=$(find "$WINEPREFIX/drive_c/users" -type d -ipath '*/AppData/Roaming/Microsoft/Windows/SendTo' | head -n1)
for made in "droplet|Repairs damaged documents and opens them in the host editor" \
    "Check documents|Checks documents and folders for damaged values; changes nothing" \
    "Repair folders|Repairs the documents in folders and their subfolders and opens them in the host editor"; do
  name=${made%|*} tip=${made#*|}
  target="Program Files\\droplet\\$name.exe"
  for where in "desktop|$HOME/Desktop" "Start menu|$(dirname "$start_menu")" "Send To|$send_to"; do
    lnk="${where#*|}/$name.lnk"
    [ -f "$lnk" ] && lnk_says "$lnk" "$target" && lnk_says "$lnk" "$tip" &&
      pass "$name: ${where%|*} shortcut to ${target##*\\}, tooltip '$tip'" ||
      fail "$name: no ${where%|*} shortcut to $target with tooltip '$tip' (${where#*|})"
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
if python3 - "$work/record.json" "$(winpath "$doc")" <<'PY'
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
request = json.loads(lines[0]) if len(lines) == 1 else {}
files = [item["value"] for item in request.get("items", []) if item.get("key") == "File"]
ok = request.get("event") == "BtcF" and files == [[{"kind": "path", "value": sys.argv[2]}]]
print("    recorded: " + " ".join(lines))
sys.exit(0 if ok else 1)
PY
then pass "request recorded with the dropped document"; else fail "request not as expected"; fi

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
if python3 - "$work/sent.json" "${sent[@]}" <<'PY'
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
request = json.loads(lines[0]) if len(lines) == 1 else {}
files = [item["value"] for item in request.get("items", []) if item.get("key") == "File"]
print("    %d request(s): %s" % (len(lines), " ".join(lines)))
sys.exit(0 if files == [[{"kind": "path", "value": p} for p in sys.argv[2:]]] else 1)
PY
then pass "one request with the three documents"; else fail "not one request with the three"; fi

# The folder menu's verb as Explorer runs it: its command, with the folder
# for "%1". "Repair folders" repairs the folder's tree and sends the files on.
echo "[$(( $(date +%s) - started )) s] \"Repair folders\" from a folder's menu"
mkdir -p "$work/files/archive/inner"
printf 'head /Values [ --.-00000 tail' >"$work/files/archive/inner/deep.psd"
command=$(wine reg query 'HKCR\Directory\shell\DropletRepairFolders\command' /ve 2>/dev/null | tr -d '\r' |
          sed -n -E 's/^ +\(Default\) +REG_SZ +//p')
mapfile -t words < <(python3 - "$command" "$(winpath "$work/files/archive")" <<'PY'
import re, sys
# CreateProcess's reading of the command: quoted or bare words, "%1" the folder.
for quoted, bare in re.findall(r'"([^"]*)"|(\S+)', sys.argv[1]):
    print((quoted or bare).replace("%1", sys.argv[2]))
PY
)
if [ "${#words[@]}" = 2 ]; then
  STAND_IN_HOST_RECORD=$(winpath "$work/verb.json") STAND_IN_HOST_LIFETIME=5 \
    wine "${words[0]}" "${words[1]}" </dev/null >"$work/logs/verb" 2>&1
  wineserver -w
fi
[ "$(cat "$work/files/archive/inner/deep.psd")" = 'head /Values [ 1.0000000 tail' ] &&
  python3 - "$work/verb.json" "$(winpath "$work/files/archive/inner/deep.psd")" <<'PY' &&
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
print("    recorded: " + " ".join(lines))
files = [item["value"] for item in json.loads(lines[0])["items"] if item["key"] == "File"]
sys.exit(0 if len(lines) == 1 and files == [[{"kind": "path", "value": sys.argv[2]}]] else 1)
PY
  pass "the document in its subfolder repaired and sent to the host" ||
  fail "the verb ($command) did not repair and send the folder's document"

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
