#!/usr/bin/env bash
# Measures, side by side in one run on this machine, the droplet's speed and
# size figures and prints them as a Markdown table for the README:
#   1. repair time against cat, grep -c -F, sed -i and perl -pi doing the same
#      replacement, on page-cached 64 MiB, 512 MiB and 2 GiB files with a few
#      damaged tokens, on a 512 MiB file dense with "/" bytes, on 256 MiB of
#      page-description text, on a 256 MiB image document and on 512 MiB of
#      random bytes (what compressed image data looks like);
#      with the instructions per byte of the droplet's pass (callgrind, on the
#      first FIG_CALLGRIND_MIB of each kind of file: a figure that the load
#      on the machine does not move);
#   2. bytes written per repaired token against the peers' whole-file rewrites;
#   3. the droplet's peak memory on the 512 MiB repair;
#   4. the start-to-exit time of an empty drop against true;
#   5. droplet.exe's size and imported DLLs.
# Times are wall clock, taken by hyperfine: best of FIG_REPEAT runs (sed -i and
# perl -pi: best of FIG_SLOW_REPEAT runs); the medians are printed too, to show
# how noisy the run was.
# Not a test: it asserts nothing, it prints what it measured.
#
# Usage: bench/figures.sh [DROPLET [DROPLET_EXE]]
#        (default build/native/droplet and build/windows/droplet.exe)
# Environment: FIG_SIZES (MiB, default "64 512 2048"), FIG_DENSE_MIB (512),
# FIG_TEXT_MIB (256), FIG_DOCUMENT_MIB (256), FIG_RANDOM_MIB (512),
# FIG_CALLGRIND_MIB (16; 0: none),
# FIG_REPEAT (5), FIG_SLOW_REPEAT (3), FIG_START_RUNS (200),
# FIG_DETAIL_MIB (512: the file for bytes written and peak memory),
# FIG_DIR (work folder, default a new folder under ${TMPDIR:-/tmp}).
set -euo pipefail
export LC_ALL=C

DROPLET=${1:-build/native/droplet}
EXE=${2:-build/windows/droplet.exe}
read -r -a SIZES <<<"${FIG_SIZES:-64 512 2048}"
DENSE_MIB=${FIG_DENSE_MIB:-512}
TEXT_MIB=${FIG_TEXT_MIB:-256}
DOCUMENT_MIB=${FIG_DOCUMENT_MIB:-256}
RANDOM_MIB=${FIG_RANDOM_MIB:-512}
CALLGRIND_MIB=${FIG_CALLGRIND_MIB:-16}
REPEAT=${FIG_REPEAT:-5}
SLOW_REPEAT=${FIG_SLOW_REPEAT:-3}
START_RUNS=${FIG_START_RUNS:-200}
TOKEN='/Values [ --.-00000'
FIXED='/Values [ 1.0000000'
SED_EXPR='s|/Values \[ --\.-00000|/Values [ 1.0000000|g'
# The figures for bytes written and peak memory are taken on this file.
DETAIL_MIB=${FIG_DETAIL_MIB:-512}

[ -x "$DROPLET" ] || { echo "no droplet at $DROPLET (build it first)" >&2; exit 1; }
case $DROPLET in /*) ;; *) DROPLET=$PWD/$DROPLET ;; esac
for tool in hyperfine python3 perl sed grep cat cmp awk; do
  command -v "$tool" >/dev/null || { echo "figures: $tool is missing" >&2; exit 1; }
done

WORK=${FIG_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/droplet-figures.XXXXXX")}
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/source     # the damaged file as made
FILE=$WORK/document  # the copy every tool works on, damaged again before each run
REF=$WORK/repaired   # the droplet's result, which sed -i and perl -pi must match
OFFSETS=$WORK/offsets

log() { echo "figures: $*" >&2; }
ms() { awk -v u="$1" 'BEGIN { v = u / 1000; printf (v < 100 ? "%.1f" : "%.0f"), v }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 1; printf "%.2f", a / b }'; }
mark() {  # value op limit -> "yes"/"no"
  awk -v v="$1" -v l="$3" -v op="$2" \
    'BEGIN { ok = (op == "<=" ? v <= l : op == "<" ? v < l : v >= l); print (ok ? "yes" : "no") }'
}

# One 1 MiB block, repeated; eight blocks at any size carry one damaged token
# each, in the middle of the block. The block is text lines ("few": no "/" at
# all; "dense": crowded with "/" bytes and near misses), page-description text
# ("text": a "/" every ~20 bytes, "/V" pairs, "/Values [ 0.5 ]" every ~80
# bytes) or an image document ("document": compressible channel data with a
# block of type-layer text every 40 KiB, colour lists and all).
make_file() {  # kind mib out
  perl -e '
    my ($kind, $mib) = @ARGV;
    srand(11);
    sub num { sprintf("%.*f", int(rand(3)), rand(100)) }
    my $block = "";
    if ($kind eq "text") {
      my @names = qw(Type Font F1 F2 GS0 Vn Vx V1 Va Ve Width Height Name BaseFont Subtype Length Filter Leading);
      while (length $block < 1048576) {
        my $r = rand();
        if ($r < 0.15) { $block .= "/Values [ " . num() . " ] " }
        elsif ($r < 0.32) { $block .= "/V" . int(rand(10)) . " " . num() . " " }
        elsif ($r < 0.62) { $block .= "/" . $names[rand @names] . " " . num() . " " }
        elsif ($r < 0.93) { $block .= "(" . join("", map { chr(97 + rand 26) } 1 .. 3 + rand 9) . ") Tj " }
        else { $block .= "\n" }
      }
    } elsif ($kind eq "document") {
      my $text = join("", map {
          "<< /Editor << /Text (Layer $_ title text) >> /ParagraphRun << /RunArray [ << /ParagraphSheet << /DefaultStyleSheet 0 /Properties << /Justification 0 /FirstLineIndent 0.0 /StartIndent 0.0 /AutoLeading 1.2 >> >> >> ] >>\n"
        . " /StyleRun << /RunArray [ << /StyleSheet << /StyleSheetData << /Font $_ /FontSize 24.0 /FauxBold false /Leading 28.8 /Tracking 0 /BaselineShift 0.0\n"
        . "  /FillColor << /Type 1 /Values [ 1.0 0.0 0.0 0.0 ] >> /StrokeColor << /Type 1 /Values [ 1.0 0.0 0.0 0.0 ] >> /Values [ 1.0000000 ] >> >> >> ] >> >>\n"
      } 0 .. 7);
      for (my $y = 0; length $block < 1048576; $y++) {
        if ($y % 40 == 39) { $block .= $text; next }
        my $base = int(rand(256));
        $block .= join("", map { chr($_ < 300 ? 0xFF : ($base + ($_ >> 2) + int(rand(3))) & 0xFF) } 0 .. 1023);
      }
    } elsif ($kind eq "random") {
      $block = pack("N*", map { int(rand(4294967296)) } 1 .. 262144);
    } else {
      my $line = $kind eq "dense"
        ? "/Type /Font /Values [ 1.0000000 /V /Values [ -- //x/Values [ --.-0000/ab/c/\n"
        : "BT 12.000 0 0 12.000 72.00 700.00 Tm (Layer text, plain run) Tj ET q Q\n";
      $block = $line x int(1048576 / length $line);
      $block .= "x" x (1048576 - length $block);
    }
    $block = substr($block, 0, 1048576);
    my $marked = $block;
    substr($marked, 524288, 19) = "/Values [ --.-00000";
    binmode STDOUT;
    my $step = int($mib / 8) || 1;
    for my $i (0 .. $mib - 1) { print(($i % $step == ($step > 3 ? 3 : 0)) ? $marked : $block) }
  ' "$1" "$2" >"$3"
}

# Puts the damaged tokens back where they were, so that every run repairs the
# same file without a fresh copy of it (sed -i and perl -pi replace the file;
# the new one is damaged again the same way).
damage() {
  perl -e '
    my ($file, $token, $list) = @ARGV;
    open(my $f, "+<", $file) or die "$file: $!";
    binmode $f;
    open(my $l, "<", $list) or die "$list: $!";
    while (my $at = <$l>) { seek($f, $at, 0) or die; print $f $token or die }
    close($f) or die "$file: $!";
  ' "$FILE" "$TOKEN" "$OFFSETS"
}

# Before a run that rewrites the file: damage it again, write the dirty pages
# out so that no writeback runs during the next timing, and read the file into
# the page cache.
fresh() { damage; sync; cat "$FILE" >/dev/null; }
settle() { sync; cat "$FILE" >/dev/null; }

# hyperfine runs the prepare commands through bash -c, which finds these.
export -f damage fresh settle
export FILE TOKEN OFFSETS

# Times commands with hyperfine (no shell between it and them: -N); prints the
# best and the median of each command's runs, in microseconds, a line each.
hyper() {  # hyperfine arguments...
  hyperfine -N --style=none --export-json "$WORK/times.json" "$@" </dev/null
  python3 -c 'import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(round(r["min"] * 1e6), round(r["median"] * 1e6))' "$WORK/times.json"
}
q() { printf '%q ' "$@"; }  # one command line for hyperfine to split

# Bytes a command writes (wchar: every write call, to any file or pipe), read
# from the accounting of a shell that has reaped it. Its standard output and
# error go to $WORK/out, whose size the caller can subtract.
wchar_of() {
  sh -c '"$@" </dev/null >"$0" 2>&1; grep "^wchar:" /proc/$$/io' "$WORK/out" "$@" | awk '{ print $2 }'
}

# Peak resident set in KiB, from GNU time.
peak_kib() {
  /usr/bin/time -v -o "$WORK/time.txt" "$@" </dev/null >/dev/null 2>&1 || true
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt"
}

free_kib() { df -Pk "$WORK" | awk 'NR == 2 { print $4 }'; }

load() { cut -d' ' -f1-3 /proc/loadavg; }
LOAD_START=$(load)
CPU=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)
FSTYPE=$(df -PT "$WORK" | awk 'NR == 2 { print $2 }')
log "work folder $WORK ($FSTYPE, $(( $(free_kib) / 1048576 )) GiB free)"

rows=()        # throughput table rows
noise_rows=()  # median / best per cell
growth=()      # size mib, droplet best us, cat best us
detail_done=0
wrote_rows=() peak_rows=()
worst_noise=0

measure() {  # kind mib
  local kind=$1 mib=$2 need
  need=$(( mib * 1024 * 3 + 262144 ))
  if [ "$(free_kib)" -lt "$need" ]; then
    log "skipping $mib MiB ($kind): needs $(( need / 1024 )) MiB free in $WORK"
    rows+=("| $mib MiB, $kind | not measured: too little free space | | | | | | | | | |")
    return
  fi
  log "$mib MiB, $kind: making the file"
  make_file "$kind" "$mib" "$SRC"
  grep -a -b -o -F -- "$TOKEN" "$SRC" | cut -d: -f1 >"$OFFSETS" || true
  local count
  count=$(wc -l <"$OFFSETS")
  cp "$SRC" "$FILE"

  log "$mib MiB, $kind: timing"
  settle
  # grep -c into a pipe: with its output on /dev/null it stops at the first match.
  hyper --runs "$REPEAT" --output=pipe -- "$(q grep -c -F -- "$TOKEN" "$FILE")" >"$WORK/times"
  hyper --runs "$REPEAT" -p "bash -c fresh" -p "bash -c settle" -- "$(q "$DROPLET" "$FILE")" "$(q cat "$FILE")" >>"$WORK/times"
  if grep -q -F -- "$TOKEN" "$FILE"; then log "warning: the droplet left damaged tokens"; fi
  cp "$FILE" "$REF"
  damage
  cmp -s "$FILE" "$SRC" || { log "damaging again does not give back the source"; exit 1; }
  hyper --runs "$SLOW_REPEAT" -p "bash -c fresh" -- "$(q sed -i "$SED_EXPR" "$FILE")" >>"$WORK/times"
  cmp -s "$FILE" "$REF" || log "warning: the sed -i result differs from the droplet's"
  hyper --runs "$SLOW_REPEAT" -p "bash -c fresh" -- "$(q perl -pi -e "$SED_EXPR" "$FILE")" >>"$WORK/times"
  cmp -s "$FILE" "$REF" || log "warning: the perl -pi result differs from the droplet's"
  local d_best d_med c_best c_med g_best g_med s_best s_med p_best p_med
  { read -r g_best g_med; read -r d_best d_med; read -r c_best c_med
    read -r s_best s_med; read -r p_best p_med; } <"$WORK/times"

  local dc sd dg target
  dc=$(ratio "$d_best" "$c_best")
  sd=$(ratio "$s_best" "$d_best")
  dg=$(ratio "$d_best" "$g_best")
  case $kind in dense) target=2.5 ;; *) target=1.3 ;; esac
  instructions_per_byte "$kind"
  rows+=("| $mib MiB, $kind | $count | $(ms "$c_best") | $(ms "$g_best") | **$(ms "$d_best")** | $(ms "$s_best") | $(ms "$p_best") | $dc (≤ $target: $(mark "$dc" "<=" "$target")) | $dg ($(mark "$dg" "<" 1)) | $sd ($(mark "$sd" ">=" 10)) | $ipb |")
  local cell n_c n_g n_d n_s n_p
  for cell in c g d s p; do
    local b=${cell}_best m=${cell}_med
    local r
    r=$(ratio "${!m}" "${!b}")
    printf -v "n_$cell" '%s' "$r"
    worst_noise=$(awk -v a="$worst_noise" -v b="$r" 'BEGIN { print (b > a ? b : a) }')
  done
  noise_rows+=("| $mib MiB, $kind | $n_c | $n_g | $n_d | $n_s | $n_p | $(ratio "$d_med" "$c_med") |")
  [ "$kind" = few ] && growth+=("$mib $d_best $c_best $s_best")

  if [ "$kind" = few ] && [ "$mib" = "$DETAIL_MIB" ]; then
    log "$mib MiB, $kind: bytes written and peak memory"
    detail "$count" "$mib"
  fi
  rm -f "$SRC" "$FILE" "$REF" "$OFFSETS"
}

# Instructions per byte of the droplet's pass (RepairFile and all it calls,
# the system calls' own work excluded), counted by callgrind on the first
# CALLGRIND_MIB of the source file; once per kind of file. Sets ipb.
declare -A ipb_of=()
ipb=""
instructions_per_byte() {  # kind
  local kind=$1 bytes ir
  ipb="not measured"
  if [ -n "${ipb_of[$kind]:-}" ]; then ipb=${ipb_of[$kind]}; return; fi
  if [ "$CALLGRIND_MIB" = 0 ] || ! command -v valgrind >/dev/null || ! command -v callgrind_annotate >/dev/null; then
    return
  fi
  head -c $(( CALLGRIND_MIB * 1048576 )) "$SRC" >"$WORK/cg.doc"
  bytes=$(stat -c %s "$WORK/cg.doc")
  valgrind --tool=callgrind --callgrind-out-file="$WORK/cg.out" "$DROPLET" "$WORK/cg.doc" \
    </dev/null >/dev/null 2>"$WORK/cg.log" || true
  ir=$(callgrind_annotate --inclusive=yes --threshold=100 "$WORK/cg.out" 2>/dev/null |
    awk '/RepairFile\(/ && ir == "" { ir = $1; gsub(",", "", ir) } END { print ir }')
  rm -f "$WORK/cg.doc" "$WORK/cg.out"
  [ -n "$ir" ] || return 0
  ipb_of[$kind]=$(awk -v i="$ir" -v b="$bytes" 'BEGIN { printf "%.2f", i / b }')
  ipb=${ipb_of[$kind]}
}

detail() {  # count mib
  local count=$1 mib=$2 base w out file_bytes calls=""
  detail_done=1
  base=$(wchar_of true)
  fresh
  w=$(wchar_of "$DROPLET" "$FILE")
  out=$(wc -c <"$WORK/out")
  file_bytes=$(( w - base - out ))
  if command -v strace >/dev/null; then
    fresh
    strace -f -qq -y -e trace=write,pwrite64,writev,pwritev,pwritev2 -o "$WORK/strace.log" \
      "$DROPLET" "$FILE" </dev/null >/dev/null 2>&1 || true
    calls=$(awk -v f="<$FILE>" 'index($0, f) { n++; s += $NF } END { printf "%d write calls, %d bytes", n, s }' \
      "$WORK/strace.log")
    calls="; strace: $calls to the file"
  fi
  wrote_rows+=("| droplet | $count | $file_bytes to the file ($out more: the request on standard output$calls) | $(( file_bytes / (count ? count : 1) )) |")
  local name tool
  for name in "sed -i" "perl -pi"; do
    fresh
    case $name in
      sed*) w=$(wchar_of sed -i "$SED_EXPR" "$FILE") ;;
      *) w=$(wchar_of perl -pi -e "$SED_EXPR" "$FILE") ;;
    esac
    w=$(( w - base ))
    wrote_rows+=("| $name | $count | $w (the whole file, $mib MiB, into a new file) | $(( w / (count ? count : 1) )) |")
  done

  if [ -x /usr/bin/time ]; then
    local kib
    fresh; kib=$(peak_kib "$DROPLET" "$FILE")
    peak_rows+=("| droplet (repairing $count tokens) | $kib KiB | under 4 MiB: $(mark "$kib" "<" 4096) |")
    settle; kib=$(peak_kib cat "$FILE")
    peak_rows+=("| cat | $kib KiB | |")
    fresh; kib=$(peak_kib sed -i "$SED_EXPR" "$FILE")
    peak_rows+=("| sed -i | $kib KiB | |")
    fresh; kib=$(peak_kib perl -pi -e "$SED_EXPR" "$FILE")
    peak_rows+=("| perl -pi | $kib KiB | |")
  else
    peak_rows+=("| droplet | not measured: /usr/bin/time is missing (apt package time) | |")
  fi
}

for mib in "${SIZES[@]}"; do
  measure few "$mib"
  if [ "$mib" = "$DENSE_MIB" ]; then measure dense "$mib"; fi
done
[ "$TEXT_MIB" = 0 ] || measure text "$TEXT_MIB"
[ "$DOCUMENT_MIB" = 0 ] || measure document "$DOCUMENT_MIB"
[ "$RANDOM_MIB" = 0 ] || measure random "$RANDOM_MIB"
if [ "$detail_done" = 0 ]; then
  wrote_rows+=("| droplet | not measured: no $DETAIL_MIB MiB file in FIG_SIZES | | |")
  peak_rows+=("| droplet | not measured: no $DETAIL_MIB MiB file in FIG_SIZES | |")
fi

# Start-to-exit of an empty drop, against the program true.
log "start-to-exit: $START_RUNS runs"
hyper --ignore-failure --warmup 10 --runs "$START_RUNS" -- "$(q "$DROPLET")" "$(type -P true)" >"$WORK/times"
{ read -r _ e_run; read -r _ t_run; } <"$WORK/times"

# droplet.exe
exe_rows=()
if [ -f "$EXE" ]; then
  size=$(stat -c %s "$EXE")
  kib=$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }')
  if command -v i686-w64-mingw32-objdump >/dev/null; then
    # The settings section is room that droplet-maker fills; the code is the rest.
    block=$(( 0x$(i686-w64-mingw32-objdump -h "$EXE" | awk '$2 == ".dropset" { print $3 }')0 / 16 ))
    code=$(( size - ${block:-0} ))
    exe_rows+=("| Size | $size bytes ($kib KiB), of which the settings section ${block:-0} | the rest under 256 KiB: $(mark "$code" "<" 262144) |")
    dlls=$(i686-w64-mingw32-objdump -p "$EXE" | awk '/DLL Name:/ { print $3 }')
    # DLLs every Windows installation carries; anything else would have to ship.
    others=$(printf '%s\n' "$dlls" | grep -viE '^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt|comctl32|comdlg32|shlwapi|version|rpcrt4|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' || true)
    exe_rows+=("| Imported DLLs | $(printf '%s\n' "$dlls" | paste -sd, - | sed 's/,/, /g') | system DLLs only: $([ -z "$others" ] && echo yes || echo "no ($others)") |")
  else
    exe_rows+=("| Size | $size bytes ($kib KiB) | |")
    exe_rows+=("| Imported DLLs | not measured: i686-w64-mingw32-objdump is missing | |")
  fi
else
  exe_rows+=("| droplet.exe | not measured: no $EXE (build it with \`make windows\`) | |")
fi

LOAD_END=$(load)

echo "### Speed and size figures"
echo
echo "Measured by \`make bench\` (bench/figures.sh) on $(date -u +%Y-%m-%d): $(nproc) cores ($CPU), $(uname -sr), files on $FSTYPE, page-cached."
echo "Load average at start $LOAD_START, at end $LOAD_END; the whole run took ${SECONDS} s."
echo
echo "#### Repair time (ms, best of $REPEAT; sed -i and perl -pi best of $SLOW_REPEAT)"
echo
echo "| File | Damaged tokens | cat > /dev/null | grep -c -F | droplet | sed -i | perl -pi | droplet/cat | droplet/grep (target < 1) | sed/droplet (target ≥ 10) | droplet instructions per byte (callgrind) |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
printf '%s\n' "${rows[@]}"
echo
echo "\"few\": $TOKEN in eight places, no other \"/\"; \"dense\": text lines crowded with \"/\" bytes and near misses of the token; \"text\": page-description text, a \"/\" every ~20 bytes and \"/Values [ \" with a number every ~80; \"document\": compressible image data with blocks of type-layer text (colour lists \"/Values [ 1.0 0.0 0.0 0.0 ]\"); \"random\": random bytes, as compressed image data looks (a \"/\" in one byte of 256). Every damaged token is in the same eight places. Instructions per byte: callgrind on the first $CALLGRIND_MIB MiB of the same kind of file."
echo
if [ "${#growth[@]}" -gt 0 ]; then
  echo "#### How time grows with size (few damaged tokens)"
  echo
  echo "| Size | droplet | droplet throughput | time vs smallest (size ×) | cat | sed -i |"
  echo "|---|---:|---:|---:|---:|---:|"
  read -r g0_mib g0_d _ <<<"${growth[0]}"
  for g in "${growth[@]}"; do
    read -r g_mib g_d g_c g_s <<<"$g"
    echo "| $g_mib MiB | $(ms "$g_d") ms | $(awk -v m="$g_mib" -v u="$g_d" 'BEGIN { printf "%.2f GiB/s", m / 1024 / (u / 1e6) }') | $(ratio "$g_d" "$g0_d")× ($(ratio "$g_mib" "$g0_mib")×) | $(ms "$g_c") ms | $(ms "$g_s") ms |"
  done
  echo
fi
echo "#### Noise (median / best of the same runs)"
echo
echo "| File | cat | grep -c -F | droplet | sed -i | perl -pi | droplet/cat of the medians |"
echo "|---|---:|---:|---:|---:|---:|---:|"
printf '%s\n' "${noise_rows[@]}"
echo
echo "Worst cell: the median run took $(ratio "$worst_noise" 1)× the best one. The last column is the droplet's median time over cat's."
echo
echo "#### Bytes written ($DETAIL_MIB MiB file, few damaged tokens; wchar from /proc/PID/io)"
echo
echo "| Tool | Damaged tokens | Bytes written | Per token |"
echo "|---|---:|---|---:|"
printf '%s\n' "${wrote_rows[@]}"
echo
echo "#### Peak memory ($DETAIL_MIB MiB repair, maximum resident set size from /usr/bin/time -v)"
echo
echo "| Tool | Peak | Target |"
echo "|---|---:|---|"
printf '%s\n' "${peak_rows[@]}"
echo
echo "#### Start-to-exit of an empty drop (droplet </dev/null, no files; median of $START_RUNS runs)"
echo
echo "| Command | Per run |"
echo "|---|---:|"
echo "| droplet | $e_run µs |"
echo "| true | $t_run µs |"
echo "| droplet − true | $(( e_run - t_run )) µs ($(ratio "$e_run" "$t_run")×) |"
echo
echo "#### droplet.exe ($EXE)"
echo
echo "| | | |"
echo "|---|---|---|"
printf '%s\n' "${exe_rows[@]}"
