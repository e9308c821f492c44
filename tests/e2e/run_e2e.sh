#!/usr/bin/env bash
# End to end under Wine: droplet.exe on real files, against the stand-in host
# (a COM local server that records every request it is sent), in one
# throwaway prefix of the programs' architecture (win32 or win64).
#   run_e2e.sh --arch win32|win64 --droplet droplet.exe --host stand_in_host.exe
#              --probe host_probe.exe --hold hold_file.exe --short short_name.exe
#              --maker droplet-maker.exe [--other-droplet droplet.exe] --work <folder>
# --other-droplet: the other architecture's droplet, stamped too when it exists.
# The message box is read from Wine's relay trace of MessageBoxW (text,
# caption and style); one case shows it for real under Xvfb and keeps a
# screenshot in the work folder.
set -u

while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2 ;;
    --droplet) droplet=$2 ;;
    --host) host=$2 ;;
    --probe) probe=$2 ;;
    --hold) hold=$2 ;;
    --short) short_name=$2 ;;
    --maker) maker=$2 ;;
    --other-droplet) other_droplet=$2 ;;
    --work) work=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
: "${arch:?} ${droplet:?} ${host:?} ${probe:?} ${hold:?} ${short_name:?} ${maker:?} ${work:?}"
other_droplet=${other_droplet:-}

rm -rf "$work"
mkdir -p "$work/files" "$work/expected" "$work/records" "$work/logs"
work=$(cd "$work" && pwd)

export WINEDEBUG=-all
# Names reach Wine in UTF-8, on the disk and on the command line.
export LC_ALL=C.UTF-8
. "$(dirname "$0")/../support/wine_suite.sh" "$arch" "$work/prefix"

# A document with damaged tokens, one straddling the first 64 KiB border,
# and beside it (in expected/) the same document repaired.
make_document() {
  python3 - "$1" "$work/expected/$(basename "$1")" <<'EOF'
import sys
bad, good = b"/Values [ --.-00000", b"/Values [ 1.0000000"
head = b"%DOC\n" + b"x" * 100 + bad + b"\n"
body = head + b"y" * (65536 - len(head) - 7) + bad + b"z" * 5000 + bad + b"\nend\n"
open(sys.argv[1], "wb").write(body)
open(sys.argv[2], "wb").write(body.replace(bad, good))
EOF
}
same_bytes() { cmp -s "$1" "$2"; }

# Runs the droplet (or $droplet_under_test) without a display; its exit value goes to $status and
# the boxes it showed (one line each: text|caption|style) to $boxes.
run_droplet() {
  local record=$1; shift
  STAND_IN_HOST_RECORD=$(winpath "$record") WINEDEBUG=+relay \
    wine "${droplet_under_test:-$droplet}" "$@" </dev/null >"$work/logs/out" 2>"$work/logs/relay"
  status=$?
  boxes=$(grep -a 'Call user32.MessageBoxW(' "$work/logs/relay" |
          sed -E 's/.*MessageBoxW\([0-9a-f]+,[0-9a-f]+ L"(.*)",[0-9a-f]+ L"(.*)",([0-9a-f]+)\).*/\1|\2|\3/')
}

expect_status_1() { [ "$status" = 1 ] && pass "exit value 1" || fail "exit value $status, not 1"; }
expect_no_box() { [ -z "$boxes" ] && pass "no box" || fail "unexpected box: $boxes"; }
# A text as the relay trace prints it: backslashes doubled, line breaks as \n.
relay_text() { local t=${1//\\/\\\\}; t=${t//\"/\\\"}; printf '%s' "${t//$'\n'/\\n}"; }
expect_box() {  # expect_box <text> [caption] [style, by default a warning's]
  local want; want=$(relay_text "$1")
  [ "$boxes" = "$want|${2:-droplet}|${3:-00000030}" ] && pass "box: $want (${2:-droplet})" ||
    fail "box '$boxes', not '$want'"
}
# The box's text starts with the given one (the trace cuts long texts, and
# then its whole line stands in $boxes).
expect_box_start() {
  local want; want=$(relay_text "$1")
  case "$boxes" in "$want"* | *"L\"$want"*) pass "box starts: $want" ;;
    *) fail "box '$boxes' does not start '$want'" ;; esac
}
no_change="No file was changed."
not_found="The file was not found; it may have been moved, renamed or deleted."
one_before="1 file before this one was repaired in place; nothing was sent to the host editor."
not_installed="The host editor does not appear to be installed. No file was changed."
expect_no_record() { [ ! -e "$1" ] && pass "nothing sent to the host" || fail "host got: $(cat "$1")"; }
# The record holds exactly one request, equal to the given JSON. With a
# third argument "rejected", the busy host also counted calls it turned away.
expect_record() {
  if python3 - "$1" "$2" "${3:-}" <<'EOF'
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
want = json.loads(sys.argv[2])
got = json.loads(lines[0]) if len(lines) == 1 else None
rejected = got.pop("rejectedCalls", 0) if isinstance(got, dict) else 0
if rejected: print("    the host rejected %d calls first" % rejected)
if got != want or (sys.argv[3] == "rejected") != (rejected > 0):
    print("    got:  " + "\n          ".join(lines)); print("    want: " + json.dumps(want)); sys.exit(1)
EOF
  then pass "request recorded as expected"; else fail "request differs"; fi
}
json_text() { python3 -c 'import json,sys; print(json.dumps(sys.argv[1]))' "$1"; }
defaults_json() {  # the request with the default settings, given the file list items
  printf '{"event":"BtcF","dialogMode":2,"typeIdLookups":1,"items":[%s,%s,%s,%s,%s,%s,%s]}' \
    "{\"key\":\"File\",\"kind\":\"list\",\"value\":[$1]}" \
    '{"key":"null","kind":"data","value":""}' \
    '{"key":"OvrO","kind":"boolean","value":false}' '{"key":"Ovrd","kind":"boolean","value":false}' \
    '{"key":"Fldr","kind":"boolean","value":false}' '{"key":"SvAn","kind":"boolean","value":false}' \
    '{"key":"suppressWarnings","kind":"boolean","value":false}'
}
path_item() { printf '{"kind":"path","value":%s}' "$(json_text "$1")"; }
connection_message() { echo "The droplet was unable to connect. Please try again. (Error code $1.)"; }

started=$(date +%s)
echo "booting a $arch Wine prefix"
wineboot -i >/dev/null 2>&1 || { echo "wineboot failed"; exit 2; }
wineserver -w  # the prefix is complete only once the first session has ended
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'user32.MessageBoxW;ole32.CoCreateInstance;combase.CoCreateInstance' /f \
  >/dev/null 2>&1

echo "[$(( $(date +%s) - started )) s] case 2: host not registered"
make_document "$work/files/unreached.psd"
cp "$work/files/unreached.psd" "$work/unreached.orig"
run_droplet "$work/records/2.json" "$(winpath "$work/files/unreached.psd")"
expect_status_1
# 0x800401F3 from CLSIDFromProgID: the message, then what it means.
expect_box "$(connection_message 499)"$'\n'"$not_installed"
same_bytes "$work/files/unreached.psd" "$work/unreached.orig" && pass "file untouched" ||
  fail "file changed"
expect_no_record "$work/records/2.json"

echo "[$(( $(date +%s) - started )) s] case 3: host registered, its program missing"
wine "$host" /register "$(winpath "$work/missing/stand_in_host.exe")" >/dev/null 2>&1 ||
  fail "registration failed"
run_droplet "$work/records/3.json" "$(winpath "$work/files/unreached.psd")"
expect_status_1
# Wine's answer depends on its version and architecture (0x80040152 or
# 0x80040154): a class-registration failure, whose low 16 bits the box shows.
created=$(grep -a -o -E 'Ret  (ole32|combase).CoCreateInstance\(.*retval=[0-9a-f]*' "$work/logs/relay" |
          sed -E 's/.*retval=//' | tail -n1)
created=${created: -8}  # the 64-bit relay prints the whole register
case "$created" in
  8004015[0-4]) pass "CoCreateInstance failed with class-registration error 0x$created" ;;
  *) fail "CoCreateInstance answered '$created', not a class-registration error" ;;
esac
case "$created" in 80040152 | 80040154) context=$not_installed ;; *) context=$no_change ;; esac
expect_box "$(connection_message $(( 0x${created:-0} & 0xFFFF )))"$'\n'"$context"
same_bytes "$work/files/unreached.psd" "$work/unreached.orig" && pass "file untouched" ||
  fail "file changed"
expect_no_record "$work/records/3.json"

wine "$host" /register >/dev/null 2>&1 || { fail "registration failed"; exit 1; }

echo "[$(( $(date +%s) - started )) s] case 0: the stand-in host and the COM host wrappers agree"
STAND_IN_HOST_RECORD=$(winpath "$work/records/0.json") wine "$probe" >"$work/logs/probe" 2>&1 &&
  pass "every call succeeded" || fail "probe: $(cat "$work/logs/probe")"
expect_record "$work/records/0.json" '{"event":"BtcF","dialogMode":2,"typeIdLookups":8,"items":[
  {"key":"File","kind":"list","value":[{"kind":"path","value":"C:\\probe\\one \"1\".psd"}]},
  {"key":"null","kind":"data","value":"007fff41"},
  {"key":"OvrO","kind":"boolean","value":true},
  {"key":"T   ","kind":"path","value":"C:\\out"},
  {"key":"fileNamingRules","kind":"object","class":"fileNamingRules","value":[
    {"key":"fileNamingComponents","kind":"list","value":[
      {"kind":"object","class":"fileNamingComponents","value":[
        {"key":"component","kind":"enum","type":"fileNamingComponent","value":"name"}]},
      {"kind":"object","class":"fileNamingComponents","value":[
        {"key":"textKey","kind":"text","value":null}]}]}]}]}'

echo "[$(( $(date +%s) - started )) s] case 1: two files, one quoted with spaces, one by its short name"
mkdir -p "$work/files/Folder With Spaces" "$work/files/Long Folder Name"
first="$work/files/Folder With Spaces/first document.psd"
second="$work/files/Long Folder Name/second document.psd"
make_document "$first"
make_document "$second"
short=$(wine "$short_name" "$(winpath "$second")" 2>/dev/null | tr -d '\r')
case "$short" in
  *' '* | '' | *document*) fail "no short name for the second file: '$short'" ;;
  *) pass "short name $short" ;;
esac
run_droplet "$work/records/1.json" "$(winpath "$first")" "$short"
expect_status_1
expect_no_box
same_bytes "$first" "$work/expected/first document.psd" && pass "first file repaired" ||
  fail "first file not repaired"
same_bytes "$second" "$work/expected/second document.psd" && pass "second file repaired" ||
  fail "second file not repaired"
expect_record "$work/records/1.json" \
  "$(defaults_json "$(path_item "$(winpath "$first")"),$(path_item "$(winpath "$second")")")"
echo "    recorded: $(cat "$work/records/1.json" 2>/dev/null)"

echo "[$(( $(date +%s) - started )) s] case 4: a file held open by another program"
for name in a b c; do make_document "$work/files/held-$name.psd"; done
cp "$work/files/held-b.psd" "$work/held-b.orig"
cp "$work/files/held-c.psd" "$work/held-c.orig"
wine "$hold" "$(winpath "$work/files/held-b.psd")" "$(winpath "$work/held.ready")" \
  "$(winpath "$work/held.stop")" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 600); do [ -e "$work/held.ready" ] || sleep 0.1; done
[ -e "$work/held.ready" ] || fail "the holder never held the file"
run_droplet "$work/records/4.json" "$(winpath "$work/files/held-a.psd")" \
  "$(winpath "$work/files/held-b.psd")" "$(winpath "$work/files/held-c.psd")"
touch "$work/held.stop"
wait "$holder"
expect_status_1
# The file that failed is named below the message.
# The trace cuts the text after the reason line.
expect_box_start "The droplet was unable to open the file for repair. Please try again. (Error code 32.)
$(winpath "$work/files/held-b.psd")
Another program is using the file. Close it there, then try again.
1 file before this one"
same_bytes "$work/files/held-a.psd" "$work/expected/held-a.psd" && pass "earlier file repaired" ||
  fail "earlier file not repaired"
same_bytes "$work/files/held-b.psd" "$work/held-b.orig" && pass "held file untouched" ||
  fail "held file changed"
same_bytes "$work/files/held-c.psd" "$work/held-c.orig" && pass "later file untouched" ||
  fail "later file changed"
expect_no_record "$work/records/4.json"

echo "[$(( $(date +%s) - started )) s] case 5: an empty drop"
run_droplet "$work/records/5.json"
expect_status_1
expect_no_box
expect_record "$work/records/5.json" "$(defaults_json "")"

# The traps below each lay a decoy beside the file the user names: the file
# a loose reading of the name would reach. The named file is repaired and
# listed exactly as given, or one box names the failure; the decoy never
# changes.
printf 'x/Values [ --.-00000\n' >"$work/small.damaged"
printf 'x/Values [ 1.0000000\n' >"$work/small.repaired"
small_document() { mkdir -p "$(dirname "$1")" && cp "$work/small.damaged" "$1"; }
expect_repaired() {
  same_bytes "$1" "$work/small.repaired" && pass "repaired: ${1#"$work"/}" ||
    fail "not repaired: ${1#"$work"/}"
}
expect_untouched() {
  same_bytes "$1" "$work/small.damaged" && pass "untouched: ${1#"$work"/}" ||
    fail "changed: ${1#"$work"/}"
}
open_message() {
  echo "The droplet was unable to open the file for repair. Please try again. (Error code $1.)"
}

echo "[$(( $(date +%s) - started )) s] case 7: \"/\", \".\" and \"..\" reach the named file, listed as resolved"
t=$work/files/normalised
for f in docs/sub/a.psd docs/a.psd docs/b.psd docs/docs/b.psd docs/c.psd docs/sub/docs/c.psd; do
  small_document "$t/$f"
done
slash="$(winpath "$t/docs/sub")/a.psd"
dot="$(winpath "$t/docs")\\.\\b.psd"
dotdot="$(winpath "$t/docs")\\sub\\..\\c.psd"
run_droplet "$work/records/7.json" "$slash" "$dot" "$dotdot"
expect_status_1
expect_no_box
for f in docs/sub/a.psd docs/b.psd docs/c.psd; do expect_repaired "$t/$f"; done
for f in docs/a.psd docs/docs/b.psd docs/sub/docs/c.psd; do expect_untouched "$t/$f"; done
expect_record "$work/records/7.json" "$(defaults_json "$(path_item "$(winpath "$t/docs/sub/a.psd")"),$(
  path_item "$(winpath "$t/docs/b.psd")"),$(path_item "$(winpath "$t/docs/c.psd")")")"

echo "[$(( $(date +%s) - started )) s] case 8: a wildcard names no file"
t=$work/files/wildcard
small_document "$t/x.psd"
for pattern in '?.psd' '*.psd'; do
  run_droplet "$work/records/8.json" "$(winpath "$t")\\$pattern"
  expect_status_1
  expect_box "$(open_message 123)"$'\n'"$(winpath "$t")\\$pattern"$'\n'"$no_change"
  expect_no_record "$work/records/8.json"
done
expect_untouched "$t/x.psd"

echo "[$(( $(date +%s) - started )) s] case 9: names outside the ANSI code page, unquoted and quoted"
t=$work/files/names
for f in 'файл.psd' 'café.psd' '😀.psd' '中文.psd' 'with space/ā.psd' 'with space/a.psd'; do
  small_document "$t/$f"
done
cyrillic="$(winpath "$t")\\файл.psd"
emoji="$(winpath "$t")\\😀.psd"
macron="$(winpath "$t/with space")\\ā.psd"  # quoted on the command line: it holds a space
run_droplet "$work/records/9.json" "$cyrillic" "$emoji" "$macron"
expect_status_1
expect_no_box
for f in 'файл.psd' '😀.psd' 'with space/ā.psd'; do expect_repaired "$t/$f"; done
for f in 'café.psd' '中文.psd' 'with space/a.psd'; do expect_untouched "$t/$f"; done
expect_record "$work/records/9.json" \
  "$(defaults_json "$(path_item "$cyrillic"),$(path_item "$emoji"),$(path_item "$macron")")"

echo "[$(( $(date +%s) - started )) s] case 10: long forms that do not fit are used as given"
t=$work/files/long
prefix=$(winpath "$t")
# "$prefix\<folder>\" is 247 units: a final part of more than 7 units has no
# room in the 254 of the long form.
folder=$(printf 'L%.0s' $(seq $(( 245 - ${#prefix} ))))
small_document "$t/$folder/document.psd"
small_document "$t/$folder/documen"  # the final part cut to the room
short=$(wine "$short_name" "$(winpath "$t/$folder/document.psd")" 2>/dev/null | tr -d '\r')
case "$short" in
  *LLLLLLL*) fail "no short name for the long folder: '$short'" ;;
  *) pass "short name $short" ;;
esac
# 261 units typed in full: its folder does not fit the room before "\x.psd".
long_folder=$(printf 'M%.0s' $(seq $(( 254 - ${#prefix} ))))
small_document "$t/$long_folder/x.psd"
small_document "$t/${long_folder:0:$(( 253 - ${#prefix} ))}"  # the folder cut to the room
typed="$prefix\\$long_folder\\x.psd"
[ ${#typed} -eq 261 ] || fail "the typed path has ${#typed} units, not 261"
run_droplet "$work/records/10.json" "$short" "$typed"
expect_status_1
expect_no_box
expect_repaired "$t/$folder/document.psd"
expect_repaired "$t/$long_folder/x.psd"
expect_untouched "$t/$folder/documen"
expect_untouched "$t/${long_folder:0:$(( 253 - ${#prefix} ))}"
expect_record "$work/records/10.json" "$(defaults_json "$(path_item "$short"),$(path_item "$typed")")"

echo "[$(( $(date +%s) - started )) s] case 11: a file named nul is the device on Windows"
t=$work/files/device
small_document "$t/before.psd"
small_document "$t/nul"  # on the disk; the name opens the device
run_droplet "$work/records/11.json" "$(winpath "$t/before.psd")" "$(winpath "$t")\\nul"
expect_status_1
# The trace cuts the text within the reason line.
expect_box_start "$(open_message 5)"$'\n'"$(winpath "$t")\\nul"$'\n'"On Windows this name means a device"
expect_repaired "$t/before.psd"
expect_untouched "$t/nul"
expect_no_record "$work/records/11.json"

echo "[$(( $(date +%s) - started )) s] case 34: a folder dropped on droplet.exe says which droplets take it"
run_droplet "$work/records/34.json" "$(winpath "$t")"
expect_status_1
expect_box "$(open_message 5)"$'\n'"$(winpath "$t") is a folder. Drop it on \"Repair folders\" or \
\"Check documents\" to work on the documents in it."$'\n'"$no_change"
expect_no_record "$work/records/34.json"

echo "[$(( $(date +%s) - started )) s] case 12: a quoted path of 512 bytes between two files"
t=$work/files/huge
small_document "$t/a.psd"
small_document "$t/c.psd"
base="$(winpath "$t")\\with space "
huge="$base$(printf 'x%.0s' $(seq $(( 512 - ${#base} ))))"
run_droplet "$work/records/12.json" "$(winpath "$t/a.psd")" "$huge" "$(winpath "$t/c.psd")"
expect_status_1
# A name too long for the box loses its folders and its middle, never its start.
expect_box_start "$(open_message 206)"$'\n'
case "$boxes" in *'\\with space xxxx'*) pass "the name's start is shown" ;;
  *) fail "the name's start is not shown: $boxes" ;; esac
expect_repaired "$t/a.psd"
expect_untouched "$t/c.psd"
expect_no_record "$work/records/12.json"

echo "[$(( $(date +%s) - started )) s] case 13: the host answers success with no object"
t=$work/files/empty
small_document "$t/a.psd"
export STAND_IN_HOST_ACTIVATION=empty
run_droplet "$work/records/13.json" "$(winpath "$t/a.psd")"
unset STAND_IN_HOST_ACTIVATION
expect_status_1
expect_box "$(connection_message -1)"$'\n'"$no_change"
expect_untouched "$t/a.psd"
expect_no_record "$work/records/13.json"

# A host that is busy, refuses or dies. Each case gives its time.
fault_case() {  # fault, record, files...
  local fault=$1 record=$2; shift 2
  local begun=$(date +%s%N)
  STAND_IN_HOST_FAULT=$fault run_droplet "$record" "$@"
  echo "    took $(( ($(date +%s%N) - begun) / 1000000 )) ms"
  expect_status_1
  crashed=$(grep -a -c -i -E 'unhandled (exception|page fault)' "$work/logs/relay")
  [ "$crashed" = 0 ] && pass "no crash" || fail "the droplet crashed"
}
# What became of the request and of the one file repaired before it.
refused="The host editor refused the request. 1 file was repaired in place."
closed="The host editor closed while taking the request; it may have received part of it. 1 file was repaired in place."
stopped="The host editor stopped before the request was sent. 1 file was repaired in place."
# One connection box, whatever its code, with the given context line.
expect_one_connection_box() {
  local context; context=$(relay_text $'\n'"$1")
  case "$boxes" in
    *$'\n'*) fail "more than one box: $boxes" ;;
    "The droplet was unable to connect. Please try again. (Error code "*".)$context|droplet|00000030")
      pass "one box: $boxes" ;;
    *) fail "box '$boxes', not the connection message" ;;
  esac
}
t=$work/files/faults

echo "[$(( $(date +%s) - started )) s] case 14: the host is busy for 3 s"
small_document "$t/busy.psd"
fault_case busy:3000 "$work/records/14.json" "$(winpath "$t/busy.psd")"
expect_no_box
expect_repaired "$t/busy.psd"
expect_record "$work/records/14.json" "$(defaults_json "$(path_item "$(winpath "$t/busy.psd")")")" \
  rejected

echo "[$(( $(date +%s) - started )) s] case 15: the host refuses the request"
small_document "$t/refused.psd"
fault_case refuse "$work/records/15.json" "$(winpath "$t/refused.psd")"
expect_box "$(connection_message 16389)"$'\n'"$refused"  # E_FAIL
expect_no_record "$work/records/15.json"

echo "[$(( $(date +%s) - started )) s] case 16: the host dies in the request"
small_document "$t/died.psd"
fault_case die-in-request "$work/records/16.json" "$(winpath "$t/died.psd")"
expect_one_connection_box "$closed"
expect_no_record "$work/records/16.json"

echo "[$(( $(date +%s) - started )) s] case 17: the host dies once the first path is added"
small_document "$t/first.psd"
small_document "$t/second.psd"
fault_case die-after-first-add "$work/records/17.json" "$(winpath "$t/first.psd")" \
  "$(winpath "$t/second.psd")"
expect_one_connection_box "$stopped"
expect_repaired "$t/first.psd"
expect_untouched "$t/second.psd"
expect_no_record "$work/records/17.json"

# About a minute: one architecture is enough (the unit tests cover the
# schedule exactly with a fake clock).
if [ "$arch" = win64 ]; then
  echo "[$(( $(date +%s) - started )) s] case 18: the host stays busy"
  small_document "$t/never.psd"
  STAND_IN_HOST_LIFETIME=90 fault_case busy:1000000 "$work/records/18.json" \
    "$(winpath "$t/never.psd")"
  expect_box "$(connection_message 1)"$'\n'"$no_change"  # RPC_E_CALL_REJECTED
  expect_untouched "$t/never.psd"
  expect_no_record "$work/records/18.json"
fi

echo "[$(( $(date +%s) - started )) s] case 19: a relative name reaches the host as a full path"
t=$work/files/relative
small_document "$t/rel.psd"
cd "$t" || exit 2
run_droplet "$work/records/19.json" rel.psd
cd "$work" || exit 2
expect_status_1
expect_no_box
expect_repaired "$t/rel.psd"
expect_record "$work/records/19.json" "$(defaults_json "$(path_item "$(winpath "$t/rel.psd")")")"

# droplet-maker.exe as a Windows user runs it: its exit value in $status,
# what it printed in $made_out and $made_err (without the CRs).
run_maker() {
  wine "$maker" "$@" </dev/null >"$work/logs/maker.out" 2>"$work/logs/maker.err"
  status=$?
  made_out=$(tr -d '\r' <"$work/logs/maker.out")
  made_err=$(tr -d '\r' <"$work/logs/maker.err")
}
# Debian's python3, where python3-pefile installs.
check_made() {
  /usr/bin/python3 "$(dirname "$0")/../maker/check_made.py" "$1" "$2" >"$work/logs/check_made" 2>&1 &&
    pass "$(tail -n2 "$work/logs/check_made" | head -n1)" ||
    fail "made program: $(grep -v '^ok' "$work/logs/check_made")"
}
text_component() {
  printf '{"kind":"object","class":"fileNamingComponents","value":[{"key":"textKey","kind":"text","value":"%s"}]}' "$1"
}
named_component() {
  printf '{"kind":"object","class":"fileNamingComponents","value":[{"key":"component","kind":"enum","type":"fileNamingComponent","value":"%s"}]}' "$1"
}

echo "[$(( $(date +%s) - started )) s] case 20: a made droplet saves into a folder"
t=$work/files/made
mkdir -p "$t"
python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes(range(256)) + b"\0set\0" * 20)' \
  "$work/action.bin"
action_hex=$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().hex())' "$work/action.bin")
run_maker --from "$(winpath "$droplet")" --action "$(winpath "$work/action.bin")" \
  --flag OvrO --flag Fldr --save-to 'D:\Repaired' --name name --name text:_fixed --name text: \
  --name yyyymmdd --name text:. --name lowerCaseExtension --compat windows \
  --suppress-warnings --log 'C:\logs\droplet.log' "$(winpath "$t/Repair to D.exe")"
[ "$status" = 0 ] && [ -z "$made_out$made_err" ] && pass "made silently" ||
  fail "maker exit $status: $made_out $made_err"
check_made "$droplet" "$t/Repair to D.exe"
make_document "$t/one.psd"
make_document "$t/two.psd"
droplet_under_test="$t/Repair to D.exe"
run_droplet "$work/records/20.json" "$(winpath "$t/one.psd")" "$(winpath "$t/two.psd")"
unset droplet_under_test
expect_status_1
expect_no_box
same_bytes "$t/one.psd" "$work/expected/one.psd" && same_bytes "$t/two.psd" "$work/expected/two.psd" &&
  pass "both files repaired" || fail "the files were not repaired"
expect_record "$work/records/20.json" '{"event":"BtcF","dialogMode":2,"typeIdLookups":24,"items":[
  {"key":"File","kind":"list","value":['"$(path_item "$(winpath "$t/one.psd")"),$(path_item "$(winpath "$t/two.psd")")"']},
  {"key":"null","kind":"data","value":"'$action_hex'"},
  {"key":"OvrO","kind":"boolean","value":true},{"key":"Ovrd","kind":"boolean","value":false},
  {"key":"Fldr","kind":"boolean","value":true},{"key":"SvAn","kind":"boolean","value":false},
  {"key":"T   ","kind":"path","value":"D:\\Repaired"},
  {"key":"fileNamingRules","kind":"object","class":"fileNamingRules","value":[
    {"key":"fileNamingComponents","kind":"list","value":['"$(named_component name),
      $(text_component _fixed),$(text_component ''),$(named_component yyyymmdd),
      $(text_component .),$(named_component lowerCaseExtension)"']},
    {"key":"macintosh","kind":"boolean","value":false},
    {"key":"windows","kind":"boolean","value":true},
    {"key":"unix","kind":"boolean","value":false}]},
  {"key":"suppressWarnings","kind":"boolean","value":true},
  {"key":"Log ","kind":"path","value":"C:\\logs\\droplet.log"}]}'

echo "[$(( $(date +%s) - started )) s] case 21: a made droplet's box carries its own name"
run_maker --from "$(winpath "$droplet")" --save-and-close "$(winpath "$t/Save to Folder.exe")"
[ "$status" = 0 ] && pass "made Save to Folder.exe" || fail "maker exit $status: $made_err"
droplet_under_test="$t/Save to Folder.exe"
run_droplet "$work/records/21.json" "$(winpath "$t/no such file.psd")"
unset droplet_under_test
expect_status_1
expect_box "$(open_message 2)"$'\n'"$(winpath "$t/no such file.psd")"$'\n'"$not_found"$'\n'"$no_change" \
  "Save to Folder"
expect_no_record "$work/records/21.json"

echo "[$(( $(date +%s) - started )) s] case 22: droplet-maker.exe refuses a text the droplet cannot carry"
run_maker --from "$(winpath "$droplet")" --save-to 'D:\Out' --name text:café "$(winpath "$t/out.exe")"
want="droplet-maker: --name: text 'café' holds characters outside printable ASCII, which code pages differ in"
[ "$status" = 2 ] && [ "$made_err" = "$want" ] && [ ! -e "$t/out.exe" ] &&
  pass "exit 2, nothing written: $made_err" || fail "exit $status: '$made_err', not '$want'"

echo "[$(( $(date +%s) - started )) s] case 24: droplet-maker.exe's command line as a Windows user types it"
cd "$t" || exit 2
for option in -h /?; do
  run_maker "$option"
  [ "$status" = 0 ] && [ -z "$made_err" ] && [ "${made_out##*$'\n'}" = \
    "See droplet-maker.txt beside droplet-maker.exe." ] && [ ! -e "$t/$option" ] &&
    pass "$option prints the help, which names the manual beside it" ||
    fail "$option: exit $status, '${made_out##*$'\n'}' $made_err"
done
cd "$work" || exit 2
maker_refuses() {  # maker_refuses <message> <argument>...
  local want="droplet-maker: $1"; shift
  run_maker "$@"
  [ "$status" = 2 ] && [ "$made_err" = "$want" ] && [ ! -e "$t/out.exe" ] && [ ! -e "$t/out" ] &&
    pass "exit 2, nothing written: $made_err" || fail "exit $status: '$made_err', not '$want'"
}
maker_refuses "-x: unknown option (see droplet-maker --help)" -x "$(winpath "$t/out.exe")"
maker_refuses "OUTPUT: '$(winpath "$t/out")' does not end in .exe, which a Windows droplet needs to \
run (try '$(winpath "$t/out").exe')" --from "$(winpath "$droplet")" "$(winpath "$t/out")"
maker_refuses "--action: cannot read 'NUL': not a regular file (a device, a FIFO or a socket)" \
  --from "$(winpath "$droplet")" --action NUL "$(winpath "$t/out.exe")"
# Files of the old temporary names are other people's: they stay.
for n in $(seq 0 4 1024); do echo precious >"$t/kept.exe.$n.tmp"; done
run_maker --from "$(winpath "$droplet")" "$(winpath "$t/kept.exe")"
[ "$status" = 0 ] && [ -f "$t/kept.exe" ] && [ "$(cat "$t"/kept.exe.*.tmp | sort -u)" = precious ] &&
  [ "$(ls "$t"/kept.exe.*.tmp | wc -l)" = 257 ] && [ -z "$(ls -A "$t" | grep '^\.droplet-maker')" ] &&
  pass "made beside 257 files of the old temporary names, each kept" ||
  fail "exit $status: $made_err; $(ls -A "$t" | grep -c tmp) temporary files"
rm -f "$t"/kept.exe*

echo "[$(( $(date +%s) - started )) s] case 25: a droplet with 1 MiB of action data grows by it and sends it"
head -c 1048576 /dev/urandom >"$work/large.bin"
run_maker --from "$(winpath "$droplet")" --action "$(winpath "$work/large.bin")" \
  "$(winpath "$t/Large.exe")"
[ "$status" = 0 ] && pass "made Large.exe" || fail "maker exit $status: $made_err"
check_made "$droplet" "$t/Large.exe"
make_document "$t/large.psd"
droplet_under_test="$t/Large.exe"
run_droplet "$work/records/25.json" "$(winpath "$t/large.psd")"
unset droplet_under_test
expect_status_1
expect_no_box
python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); items = {i["key"]: i for i in r["items"]}
sys.exit(items["null"]["value"] != open(sys.argv[2], "rb").read().hex())' \
  "$work/records/25.json" "$work/large.bin" &&
  pass "the host got the 1 MiB of action data" || fail "the action data differs"
# A damaged byte deep in the grown block: -50, and nothing is touched.
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[-4096] ^= 1
open(sys.argv[2], "wb").write(b)' "$t/Large.exe" "$t/Damaged.exe"
make_document "$t/untouched.psd"
cp "$t/untouched.psd" "$work/untouched.orig"
droplet_under_test="$t/Damaged.exe"
run_droplet "$work/records/25d.json" "$(winpath "$t/untouched.psd")"
unset droplet_under_test
expect_status_1
expect_box "The droplet had an internal error. Please try again. (Error code -50.)
$no_change" "Damaged"
expect_no_record "$work/records/25d.json"
same_bytes "$t/untouched.psd" "$work/untouched.orig" && pass "the file is untouched" ||
  fail "the file was changed"

if [ -n "$other_droplet" ] && [ -f "$other_droplet" ]; then
  echo "[$(( $(date +%s) - started )) s] case 23: the other architecture's droplet is stamped too"
  run_maker --from "$(winpath "$other_droplet")" --flag Ovrd "$(winpath "$t/other.exe")"
  [ "$status" = 0 ] && pass "made from $other_droplet" || fail "maker exit $status: $made_err"
  check_made "$other_droplet" "$t/other.exe"
else
  echo "[$(( $(date +%s) - started )) s] case 23 skipped: no droplet of the other architecture built"
fi

# Made droplets with the options beyond the defaults. Their trees lie on a
# drive of their own, so that the boxes' paths stay short of the trace's cut
# wherever the suite runs.
ln -sfn "$work/files" "$WINEPREFIX/dosdevices/q:"
qpath() { local p=${1#"$work/files"}; echo "Q:${p//\//\\}"; }
echo "[$(( $(date +%s) - started )) s] case 26: a folder dropped on \"Repair folders\", a held file inside"
t=$work/files/tree
mkdir -p "$t/sub/deeper" "$t/Empty"
for name in b.psd A.psd sub/c.psd sub/deeper/d.psd z.psd hidden.psd system.psd; do
  make_document "$t/$name"
done
cp "$t/hidden.psd" "$work/hidden.orig"
wine attrib +h "$(qpath "$t/hidden.psd")" >/dev/null 2>&1
wine attrib +s "$(qpath "$t/system.psd")" >/dev/null 2>&1
run_maker --from "$(winpath "$droplet")" --recursive --keep-going --report --send repaired \
  "$(winpath "$work/Repair folders.exe")"
[ "$status" = 0 ] && pass "made Repair folders.exe" || fail "maker exit $status: $made_err"
rm -f "$work/held.ready" "$work/held.stop"
wine "$hold" "$(qpath "$t/sub/c.psd")" "$(winpath "$work/held.ready")" \
  "$(winpath "$work/held.stop")" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 600); do [ -e "$work/held.ready" ] || sleep 0.1; done
droplet_under_test="$work/Repair folders.exe"
run_droplet "$work/records/26.json" "$(qpath "$t")"
touch "$work/held.stop"
wait "$holder"
expect_status_1
# Depth first, names in order blind to case; hidden and system files skipped.
expect_box "1 of 5 files could not be repaired; the others were repaired, and the 4 repaired documents were sent to the host editor.
$(qpath "$t/sub/c.psd"): $(open_message 32)" "Repair folders"
expect_record "$work/records/26.json" "$(defaults_json "$(path_item "$(qpath "$t/A.psd")"),$(
  path_item "$(qpath "$t/b.psd")"),$(path_item "$(qpath "$t/sub/deeper/d.psd")"),$(
  path_item "$(qpath "$t/z.psd")")")"
echo "    recorded: $(cat "$work/records/26.json" 2>/dev/null)"
same_bytes "$t/hidden.psd" "$work/hidden.orig" && same_bytes "$t/system.psd" "$work/hidden.orig" &&
  pass "hidden and system files untouched" || fail "a hidden or system file changed"
# Dropped again, the held file is repaired too and sent alone; the report says so.
run_droplet "$work/records/26b.json" "$(qpath "$t")"
expect_box "Repaired 3 damaged values in 1 of 5 documents; the 1 repaired document was sent to the host editor." \
  "Repair folders" 00000040
expect_record "$work/records/26b.json" "$(defaults_json "$(path_item "$(qpath "$t/sub/c.psd")")")"
# A third time nothing needs repair: no request at all.
run_droplet "$work/records/26c.json" "$(qpath "$t")"
expect_box "All 5 documents are sound; nothing was sent to the host editor." "Repair folders" 00000040
expect_no_record "$work/records/26c.json"
# Opened with nothing dropped on it, it says what it is for.
run_droplet "$work/records/26d.json"
unset droplet_under_test
expect_box "Drop documents or folders on \"Repair folders\" to repair them; the repaired ones are sent to the host editor." \
  "Repair folders" 00000040
expect_no_record "$work/records/26d.json"

echo "[$(( $(date +%s) - started )) s] case 32: send none works with no host registered"
t=$work/files/inplace
mkdir -p "$t"
make_document "$t/one.psd"
run_maker --from "$(winpath "$droplet")" --send none --report "$(winpath "$work/Repair here.exe")"
[ "$status" = 0 ] && pass "made Repair here.exe" || fail "maker exit $status: $made_err"
wine "$host" /unregister >/dev/null 2>&1
droplet_under_test="$work/Repair here.exe"
run_droplet "$work/records/32.json" "$(qpath "$t/one.psd")"
expect_status_1
expect_box "Repaired 3 damaged values in 1 of 1 document; nothing was sent to the host editor." \
  "Repair here" 00000040
same_bytes "$t/one.psd" "$work/expected/one.psd" && pass "repaired in place" || fail "not repaired"
expect_no_record "$work/records/32.json"
grep -q -a 'Call [a-z0-9]*\.CoCreateInstance(' "$work/logs/relay" && fail "the host was asked for" ||
  pass "no activation asked for"
unset droplet_under_test
wine "$host" /register >/dev/null 2>&1 || fail "registration failed"

echo "[$(( $(date +%s) - started )) s] case 27: \"Check documents\" counts without the host"
t=$work/files/check
mkdir -p "$t/sub"
make_document "$t/one.psd"
make_document "$t/sub/two.psd"
printf 'sound\n' >"$t/sound.psd"
cp "$t/one.psd" "$work/one.orig"
run_maker --from "$(winpath "$droplet")" --recursive --check "$(winpath "$work/Check documents.exe")"
[ "$status" = 0 ] && pass "made Check documents.exe" || fail "maker exit $status: $made_err"
droplet_under_test="$work/Check documents.exe"
run_droplet "$work/records/27.json" "$(qpath "$t")" "$(qpath "$t/missing.psd")"
unset droplet_under_test
expect_status_1
expect_box "2 of 3 documents need repair (6 damaged values):
$(qpath "$t/one.psd"): 3
$(qpath "$t/sub/two.psd"): 3
$(qpath "$t/missing.psd"): The droplet was unable to read the file to check it. (Error code 2.)" \
  "Check documents"
same_bytes "$t/one.psd" "$work/one.orig" && pass "nothing written" || fail "a checked file changed"
expect_no_record "$work/records/27.json"

echo "[$(( $(date +%s) - started )) s] case 33: a check of 40 damaged files keeps the whole list"
# The box lists ten and names the file under LOCALAPPDATA that holds all 40;
# with no display the box cannot be answered Yes, and nothing is opened.
t=$work/files/many
mkdir -p "$t"
for i in $(seq 10 49); do make_document "$t/d$i.psd"; done
droplet_under_test="$work/Check documents.exe"
run_droplet "$work/records/33.json" "$(qpath "$t")"
unset droplet_under_test
expect_status_1
expect_box_start "40 of 40 documents need repair (120 damaged values):
$(qpath "$t/d10.psd"): 3"
# The trace cuts the long text, and $boxes then holds its whole line.
case "$boxes" in *'|Check documents|00000044' | *'L"Check documents",00000044)'*)
  pass "Yes and No, with the information icon" ;;
  *) fail "box style: $boxes" ;; esac
answer=$(grep -a -o -E 'Ret  user32.MessageBoxW\(.*retval=[0-9a-f]+' "$work/logs/relay" |
         sed -E 's/.*retval=//' | tail -n1)
[ -n "$answer" ] && [ "$((16#$answer))" != 6 ] && pass "the box answered $answer, not Yes" ||
  fail "the box answered '$answer'"
reports=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/droplet/Reports 2>/dev/null | head -n1)
report=$(ls "$reports"/"Check documents "*.txt 2>/dev/null | head -n1)
if [ -n "$report" ] && python3 - "$report" "$(qpath "$t")" <<'EOF'
import re, sys
data = open(sys.argv[1], "rb").read()
want = "\ufeffCheck documents: every damaged document and every file that failed\r\n"
want += "".join("%s\\d%d.psd: 3 damaged values\r\n" % (sys.argv[2], i) for i in range(10, 50))
want += "\r\nTotals: 40 files; 40 with damaged values (120 damaged values); 0 failed.\r\n"
name = sys.argv[1].rsplit("/", 1)[1]
ok = data == want.encode("utf-8") and re.fullmatch(r"Check documents \d{4}-\d\d-\d\d \d{6}\.txt", name)
if not ok: print("    got: %r" % data[:300]); sys.exit(1)
EOF
then
  pass "the report file holds all 40 and the totals: $(basename "$report")"
else
  fail "no report file with the 40 entries in '$reports'"
fi
count_before=$(ls "$reports" 2>/dev/null | wc -l)
# Two fit the box: no file is left.
rm -rf "$t" && mkdir -p "$t" && for i in 1 2; do make_document "$t/d$i.psd"; done
droplet_under_test="$work/Check documents.exe"
run_droplet "$work/records/33b.json" "$(qpath "$t")"
unset droplet_under_test
[ "$(ls "$reports" 2>/dev/null | wc -l)" = "$count_before" ] && pass "a list that fits leaves no file" ||
  fail "a file was left: $(ls "$reports")"

echo "[$(( $(date +%s) - started )) s] case 31: names that end in a dot, and a file reached twice"
# Win32 parsing drops a final dot: the host, given A.\inner.psd's path,
# would open A\inner.psd. Such names fail by name and are left alone; their
# twins are repaired once. A folder named twice and a file inside it, once.
t=$work/files/dots
for f in A/other.psd A./inner.psd trail.psd trail.psd. a.psd; do small_document "$t/$f"; done
droplet_under_test="$work/Repair folders.exe"
run_droplet "$work/records/31.json" "$(qpath "$t")" "$(qpath "$t")" "$(qpath "$t/a.psd")"
unset droplet_under_test
expect_status_1
# The trace cuts the box's text after the second name.
expect_box_start "2 of 5 files could not be repaired; the others were repaired, and the 3 repaired \
documents were sent to the host editor.
$(qpath "$t/A."): $(open_message 123)
$(qpath "$t/trail.psd."): The"
expect_record "$work/records/31.json" "$(defaults_json "$(path_item "$(qpath "$t/A/other.psd")"),$(
  path_item "$(qpath "$t/a.psd")"),$(path_item "$(qpath "$t/trail.psd")")")"
for f in A/other.psd a.psd trail.psd; do expect_repaired "$t/$f"; done
for f in A./inner.psd trail.psd.; do expect_untouched "$t/$f"; done

echo "[$(( $(date +%s) - started )) s] case 6: the box on a display"
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null; then
  exec 5>"$work/logs/display"
  Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 5>&-
  for _ in $(seq 100); do [ -s "$work/logs/display" ] || sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/logs/display")"
  # Wine picks its display when it starts; without a window manager it
  # draws the caption itself when its windows are unmanaged.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  # Runs the droplet (or $droplet_under_test) in the background until its
  # window titled droplet (or $window_title: the box, or the progress dialog)
  # shows, and takes its picture.
  shown_start() {  # record, picture, files...
    local record=$1 picture=$2 title=${window_title:-droplet}; shift 2
    STAND_IN_HOST_RECORD=$(winpath "$record") WINEDEBUG=+relay \
      wine "${droplet_under_test:-$droplet}" "$@" </dev/null >/dev/null 2>"$work/logs/relay" &
    shown=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null | head -n1)
    if [ -n "$window" ]; then
      pass "a window titled $title appeared"
      sleep 1  # let it finish drawing before the picture is taken
      import -window "$window" "$picture" && pass "screenshot $picture" || fail "no screenshot"
    else
      fail "no window titled droplet"
    fi
  }
  shown_end() {  # waits for the droplet: its exit value, then its boxes in $boxes
    timeout 90 tail --pid="$shown" -f /dev/null
    wait "$shown"
    status=$?
    expect_status_1
    boxes=$(grep -a 'Call user32.MessageBoxW(' "$work/logs/relay" |
            sed -E 's/.*MessageBoxW\([0-9a-f]+,[0-9a-f]+ L"(.*)",[0-9a-f]+ L"(.*)",([0-9a-f]+)\).*/\1|\2|\3/')
  }
  shown_start "$work/records/6.json" "$work/box.png" "$(winpath "$work/files/no such file.psd")"
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key --clearmodifiers Return
  shown_end
  expect_box "The droplet was unable to open the file for repair. Please try again. (Error code 2.)
$(winpath "$work/files/no such file.psd")
$not_found
$no_change"
  expect_no_record "$work/records/6.json"

  # The progress dialog, titled as the box is; without a display (the cases
  # above) the droplet never asks for it.
  t=$work/files/progress
  echo "[$(( $(date +%s) - started )) s] case 28: a host busy for 5 s shows the progress dialog at once"
  small_document "$t/waited.psd"
  STAND_IN_HOST_FAULT=busy:5000 shown_start "$work/records/28.json" "$work/progress-wait.png" \
    "$(winpath "$t/waited.psd")"
  shown_end
  expect_no_box
  expect_repaired "$t/waited.psd"
  expect_record "$work/records/28.json" \
    "$(defaults_json "$(path_item "$(winpath "$t/waited.psd")")")" rejected

  echo "[$(( $(date +%s) - started )) s] case 29: Cancel during the wait for a host busy throughout"
  small_document "$t/cancelled.psd"
  STAND_IN_HOST_LIFETIME=90 STAND_IN_HOST_FAULT=busy:1000000 shown_start \
    "$work/records/29.json" "$work/progress-cancel.png" "$(winpath "$t/cancelled.psd")"
  # Cancel is the dialog's one button: the keyboard presses it.
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key --clearmodifiers Escape
  shown_end
  expect_no_box
  expect_untouched "$t/cancelled.psd"
  expect_no_record "$work/records/29.json"

  echo "[$(( $(date +%s) - started )) s] case 30: a check of 4 GiB documents: its bar, and Cancel"
  # Sixteen documents of 4 GiB that cost no disk: holes, but for a damaged
  # value at the end. A check of them lasts long enough to be watched.
  mkdir -p "$t/large"
  python3 - "$t/large" <<'EOF'
import sys
for i in range(16):
    with open("%s/large%02d.psd" % (sys.argv[1], i), "wb") as f:
        f.seek((4 << 30) - 19)
        f.write(b"/Values [ --.-00000")
EOF
  droplet_under_test="$work/Check documents.exe" window_title="Check documents" \
    shown_start "$work/records/30.json" "$work/progress-check.png" "$(winpath "$t/large")"
  # The bar stands at the share of the current document read: filled in
  # part, its rest still white (a bar full from the start filled its frame).
  bar_share() {
    convert "$1" -depth 8 txt:- 2>/dev/null | python3 -c '
import re, sys
rows = {}
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
    if m:
        x, y, r, g, b = map(int, m.groups())
        rows.setdefault(y, {})[x] = (r, g, b)
def blue(p): return p[2] > 200 and p[0] < 120 and 100 < p[1] < 200
# The filled part of the bar: the longest blue run from the left (the
# focused button on the right has a blue frame too).
run, row, end = 0, {}, 0
for pixels in rows.values():
    length = 0
    for x in sorted(pixels):
        length = length + 1 if blue(pixels[x]) else 0
        if length > run and x - length < len(pixels) // 4: run, row, end = length, pixels, x
white = 0
while min(row.get(end + 1 + white, (0, 0, 0))) >= 250: white += 1
print(100 * run // (run + white) if run >= 4 else 0)'
  }
  share=0
  for _ in $(seq 10); do
    [ -n "$window" ] || break
    import -window "$window" "$work/progress-fraction.png" 2>/dev/null || break
    share=$(bar_share "$work/progress-fraction.png")
    [ "$share" -gt 0 ] && [ "$share" -lt 100 ] && break
    sleep 0.2
  done
  [ "$share" -gt 0 ] && [ "$share" -lt 100 ] && pass "the bar is ${share}% full" ||
    fail "the bar is ${share}% full, not in part"
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key --clearmodifiers Escape
  shown_end
  expect_no_box
  expect_no_record "$work/records/30.json"
  echo "[$(( $(date +%s) - started )) s] case 35: Cancel after a repair says what was repaired"
  # A small damaged document first, then large ones to cancel in.
  mkdir -p "$t/stop"
  small_document "$t/stop/a.psd"
  for i in 0 1 2 3; do ln -f "$t/large/large0$i.psd" "$t/stop/large0$i.psd"; done
  droplet_under_test="$work/Repair folders.exe" window_title="Repair folders" \
    shown_start "$work/records/35.json" "$work/progress-stop.png" "$(winpath "$t/stop")"
  for _ in $(seq 100); do same_bytes "$t/stop/a.psd" "$work/small.repaired" && break; sleep 0.2; done
  [ -n "$window" ] && xdotool windowfocus --sync "$window" key --clearmodifiers Escape
  # The box comes once the walk has stopped: Return answers it.
  for _ in $(seq 100); do grep -aq 'Call user32.MessageBoxW(' "$work/logs/relay" && break; sleep 0.2; done
  sleep 1
  box=$(xdotool search --onlyvisible --name '^Repair folders$' 2>/dev/null | tail -n1)
  [ -n "$box" ] && xdotool windowfocus --sync "$box" key --clearmodifiers Return
  shown_end
  # How many large files were done before the Escape landed depends on the disk.
  [[ "$boxes" =~ ^Stopped\.\ [1-5]\ files?\ (was|were)\ repaired\ in\ place\;\ nothing\ was\ sent\ to\ the\ host\ editor\.\|Repair\ folders\|00000040$ ]] &&
    pass "box: $boxes" || fail "box '$boxes' is not the Stopped box"
  expect_repaired "$t/stop/a.psd"
  expect_no_record "$work/records/35.json"

  kill "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
  unset DISPLAY
else
  fail "Xvfb, xdotool or import missing (scripts/setup.sh installs them)"
fi

echo "e2e: $failures failure(s) in $(( $(date +%s) - started )) s"
[ "$failures" -eq 0 ]
