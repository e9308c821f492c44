#!/usr/bin/env bash
# Times the repair of a page-cached file (512 MiB by default) against
# cat FILE > /dev/null, grep -c -F for the token, and sed -i and perl -pi doing
# the same replacement, for a file with a few damaged tokens and for one dense
# with "/" bytes (partial tokens everywhere). Prints each time (best of
# BENCH_REPEAT runs) and the ratios. Builds nothing.
#
# Usage: bench/repair_bench.sh [DROPLET]      (default build/native/droplet)
#
# The droplet runs as "$DROPLET" FILE </dev/null: it repairs the file, prints
# the request it would hand the host, reads one byte of standard input and
# exits. bench/figures.sh gives the fuller set of figures for the README.
#
# Environment: BENCH_MIB (file size, default 512), BENCH_REPEAT (default 3),
# BENCH_DIR (work folder, default a new folder under ${TMPDIR:-/tmp}).
set -euo pipefail
export LC_ALL=C

DROPLET=${1:-build/native/droplet}
MIB=${BENCH_MIB:-512}
REPEAT=${BENCH_REPEAT:-3}
TOKEN='/Values [ --.-00000'
SED_EXPR='s|/Values \[ --\.-00000|/Values [ 1.0000000|g'

[ -x "$DROPLET" ] || { echo "no droplet at $DROPLET (build it first)" >&2; exit 1; }
repair() { "$DROPLET" "$1" </dev/null >/dev/null 2>&1 || true; }

WORK=${BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/repair-bench.XXXXXX")}
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

# One 1 MiB block of text lines, repeated; a few blocks carry a damaged token.
make_file() {  # kind out
  local kind=$1 out=$2
  perl -e '
    my ($kind, $mib) = @ARGV;
    my $line = $kind eq "dense"
      ? "/Type /Font /Values [ 1.0000000 /V /Values [ -- //x/Values [ --.-0000/ab/c/\n"
      : "BT 12.000 0 0 12.000 72.00 700.00 Tm (Layer text, plain run) Tj ET q Q\n";
    my $block = $line x int(1048576 / length $line);
    $block .= "x" x (1048576 - length $block);
    my $marked = $block;
    substr($marked, 524288, 19) = "/Values [ --.-00000";
    binmode STDOUT;
    my $step = int($mib / 8) || 1;  # about eight marked blocks
    for my $i (0 .. $mib - 1) { print(($i % $step == ($step > 3 ? 3 : 0)) ? $marked : $block) }
  ' "$kind" "$MIB" >"$out"
}

now() { date +%s%N; }
best=0
time_best() {  # prepare-command timed-command...
  local prepare=$1; shift
  best=
  for _ in $(seq "$REPEAT"); do
    eval "$prepare"
    local t0 t1
    t0=$(now); "$@"; t1=$(now)
    local ms=$(( (t1 - t0) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 1; printf "%.2f", a / b }'; }

do_cat() { cat "$1" >/dev/null; }
# Into a file: with its output on /dev/null grep stops at the first match.
do_grep() { grep -c -F -- "$TOKEN" "$1" >"$WORK/grep.count" || true; }
do_sed() { sed -i "$SED_EXPR" "$1"; }
do_perl() { perl -pi -e "$SED_EXPR" "$1"; }

echo "Repair benchmark: ${MIB} MiB files, best of ${REPEAT}, timing $DROPLET"
echo "machine: $(nproc) cores, $(uname -sr)"
for kind in sparse dense; do
  src="$WORK/$kind.src"
  make_file "$kind" "$src"
  work="$WORK/$kind.work"
  cat "$src" >/dev/null  # into the page cache
  count=$(grep -c -F -- "$TOKEN" "$src" || true)
  slashes=$(tr -cd / <"$src" | wc -c)

  fresh="cp \"$src\" \"$work\"; cat \"$work\" >/dev/null"
  time_best "$fresh" do_cat "$work"; t_cat=$best
  time_best "$fresh" do_grep "$work"; t_grep=$best
  time_best "$fresh" repair "$work"; t_rep=$best
  cp "$work" "$WORK/$kind.repaired"
  time_best "$fresh" do_sed "$work"; t_sed=$best
  cmp -s "$work" "$WORK/$kind.repaired" || echo "  warning: sed -i result differs from the droplet's"
  time_best "$fresh" do_perl "$work"; t_perl=$best
  cmp -s "$work" "$WORK/$kind.repaired" || echo "  warning: perl -pi result differs from the droplet's"

  echo
  echo "file: $kind ($count damaged tokens, $slashes \"/\" bytes)"
  printf '  %-22s %8d ms\n' "cat > /dev/null" "$t_cat" "grep -c -F" "$t_grep" \
    "droplet" "$t_rep" "sed -i" "$t_sed" "perl -pi" "$t_perl"
  echo "  droplet/cat  $(ratio "$t_rep" "$t_cat")   (target <= 1.3)"
  echo "  droplet/grep $(ratio "$t_rep" "$t_grep")"
  echo "  sed/droplet  $(ratio "$t_sed" "$t_rep")   (target >= 10)"
  echo "  perl/droplet $(ratio "$t_perl" "$t_rep")"
  rm -f "$src" "$work" "$WORK/$kind.repaired"
done
