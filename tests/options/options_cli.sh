#!/usr/bin/env bash
# The built Linux droplet's options as a user meets them: what each prints,
# its exit value, and that a file named --something is repaired when reached
# as ./--something or after --, and left alone when taken for an option.
#   options_cli.sh <droplet> <version>
set -u
droplet=$(realpath "$1")
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

failures=0
check() {  # check <description> <condition...>
  local what=$1; shift
  if "$@"; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}
run() { "$droplet" "$@" </dev/null >out 2>err; status=$?; }
damaged='/Values [ --.-00000'
repaired='/Values [ 1.0000000'
document() { printf 'head %s tail\n' "$damaged" >"$1"; }
is_repaired() { [ "$(cat -- "$1")" = "head $repaired tail" ]; }
is_damaged() { [ "$(cat -- "$1")" = "head $damaged tail" ]; }

run --version
check "--version prints 'droplet $version'" [ "$(cat out)" = "droplet $version" ]
check "--version exits 0 with nothing on standard error" [ "$status" = 0 -a ! -s err ]

run --help
check "--help prints the usage" grep -q '^Usage: droplet' out
check "--help exits 0" [ "$status" = 0 ]

# Help or version lost to a full or closed output is a failure.
"$droplet" --help >/dev/full 2>err; status=$?
check "--help to a full output exits 1 with a message" [ "$status" = 1 -a "$(cat err)" = \
  "droplet: cannot write to standard output: No space left on device" ]
"$droplet" -V >&- 2>err; status=$?
check "-V to a closed output exits 1 with a message" [ "$status" = 1 -a "$(cat err)" = \
  "droplet: cannot write to standard output: Bad file descriptor" ]

document --odd.psd
document other.psd
run other.psd --odd.psd
check "an unknown option exits 2" [ "$status" = 2 ]
check "and says how to reach the file" grep -q -F './--odd.psd' err
check "and touches no file" is_damaged other.psd && is_damaged --odd.psd
check "and sends no request" [ ! -s out ]

run ./--odd.psd
check "./--odd.psd is repaired" is_repaired --odd.psd
check "and listed in the request" grep -q -F -e '--odd.psd"' out
check "a run that succeeded exits 0" [ "$status" = 0 ]

document -h
run ./-h
check "./-h is a file, repaired" is_repaired -h
check "and listed with its full path" grep -q -F -e "\"$work/-h\"" out

document --odd.psd
document --help
run -- --odd.psd --help
check "after --, --odd.psd and --help are files, both repaired" \
  is_repaired --odd.psd && is_repaired --help

run --bogus --version
check "options are read in order: an unknown one before --version wins" [ "$status" = 2 ]

document a.psd
run -rx a.psd
check "-rx is a usage error (exit 2), nothing touched" eval '[ "$status" = 2 ] && is_damaged a.psd'

# -0: a NUL ends each name of a check's lines; a check that cannot write
# its counts says so and exits 2.
run --check -0 a.psd
check "-0 ends each name with a NUL" [ "$(od -An -c out | tr -s ' ')" = \
  "$(printf 'a.psd\0001\n' | od -An -c | tr -s ' ')" ]
"$droplet" --check a.psd >/dev/full 2>err; status=$?
check "--check to a full output exits 2 with a message" [ "$status" = 2 -a "$(cat err)" = \
  "droplet: cannot write to standard output: No space left on device" ]

# A bad --send value is a usage error.
run --send=some a.psd
check "--send=some is a usage error, nothing touched" eval '[ "$status" = 2 ] && is_damaged a.psd'

# Given options but no file, the droplet says what to drop on it (exit 2).
run -r --send repaired
check "an empty drop with options explains itself" [ "$status" = 2 -a "$(cat err)" = \
  'droplet: Give documents or folders to "droplet" to repair them; the repaired ones are sent to the host editor.' ]

echo "options: $failures failure(s)"
[ "$failures" -eq 0 ]
