#!/usr/bin/env bash
# Exits 0 when this machine can run the 32-bit Windows tests; otherwise prints
# why not and exits 1. Decided by trying Wine's 32-bit loader, since machines
# of the same kind come with and without support for 32-bit programs.
# DROPLET_WIN32=off forces the answer no.
if [ "${DROPLET_WIN32:-}" = off ]; then
  echo "DROPLET_WIN32=off"
  exit 1
fi
loader=/usr/lib/wine/wine
if [ ! -x "$loader" ]; then
  echo "Wine's 32-bit loader ($loader, package wine32:i386) is not installed"
  exit 1
fi
if ! out=$(WINEDEBUG=-all "$loader" --version 2>&1); then
  echo "Wine's 32-bit loader does not run here: $(printf '%s' "$out" | head -n1)"
  exit 1
fi
exit 0
