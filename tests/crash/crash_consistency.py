#!/usr/bin/env python3
"""Kills the Linux droplet (SIGKILL) at random moments while it repairs a large
file with many damaged tokens, then checks what is left on disk:

- the file keeps its length;
- every damaged place holds either the whole damaged token or the whole
  repaired token, and no other byte has changed;
- running the droplet again to completion gives exactly a clean repair.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DAMAGED = b"/Values [ --.-00000"
REPAIRED = b"/Values [ 1.0000000"
CHUNK = 65536


def make_document(rng, size, count):
    data = bytearray(rng.randbytes(size))
    # Keep stray tokens out of the filler so that every occurrence is ours.
    data = data.replace(b"/V", b"_V")
    places = set()
    borders = [k * CHUNK - d for k in range(1, size // CHUNK) for d in (0, 6, 13, 19)]
    for p in rng.sample(borders, min(len(borders), count // 4)):
        places.add(p)
    while len(places) < count:
        places.add(rng.randrange(0, size - len(DAMAGED)))
    kept = []
    for p in sorted(places):
        if kept and p < kept[-1] + len(DAMAGED):
            continue
        kept.append(p)
    for p in kept:
        data[p:p + len(DAMAGED)] = DAMAGED
    assert bytes(data).count(DAMAGED) == len(kept)
    return bytes(data), kept


def run(droplet, path, kill_after=None):
    proc = subprocess.Popen([droplet, path], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if kill_after is None:
        _, err = proc.communicate()
        return proc.returncode, err
    time.sleep(kill_after)
    proc.send_signal(signal.SIGKILL)
    proc.communicate()
    return proc.returncode, b""


def check_intermediate(original, places, current):
    if len(current) != len(original):
        return "length changed"
    restored = bytearray(current)
    repaired = 0
    for p in places:
        piece = current[p:p + len(DAMAGED)]
        if piece == REPAIRED:
            repaired += 1
            restored[p:p + len(DAMAGED)] = DAMAGED
        elif piece != DAMAGED:
            return "torn token at %d: %r" % (p, piece)
    if bytes(restored) != original:
        return "bytes outside the tokens changed"
    return repaired


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("droplet")
    ap.add_argument("--kills", type=int, default=120)
    ap.add_argument("--size", type=int, default=16 << 20)
    ap.add_argument("--tokens", type=int, default=20000)
    ap.add_argument("--seed", type=int, default=20261207)
    args = ap.parse_args()
    rng = random.Random(args.seed)

    original, places = make_document(rng, args.size, args.tokens)
    clean = original.replace(DAMAGED, REPAIRED)
    work = tempfile.mkdtemp(prefix="droplet-crash-")
    try:
        source = os.path.join(work, "original.psd")
        target = os.path.join(work, "document.psd")
        with open(source, "wb") as f:
            f.write(original)

        shutil.copyfile(source, target)
        start = time.monotonic()
        code, err = run(args.droplet, target)
        whole = time.monotonic() - start
        with open(target, "rb") as f:
            if code != 0 or f.read() != clean:
                print("a full run did not give a clean repair:", code, err.decode(errors="replace"))
                return 1

        corrupt = 0
        partial = 0
        for trial in range(args.kills):
            shutil.copyfile(source, target)
            run(args.droplet, target, kill_after=rng.uniform(0, whole * 1.1))
            with open(target, "rb") as f:
                state = check_intermediate(original, places, f.read())
            if isinstance(state, str):
                corrupt += 1
                print("kill %d: %s" % (trial, state))
                continue
            if 0 < state < len(places):
                partial += 1
            code, err = run(args.droplet, target)
            with open(target, "rb") as f:
                if code != 0 or f.read() != clean:
                    corrupt += 1
                    print("kill %d: the second run did not complete the repair" % trial)
        print("crash consistency: %d kills tried, %d landed mid-repair, %d corrupt files "
              "(%d tokens in %d MiB, a whole run takes %.0f ms)"
              % (args.kills, partial, corrupt, len(places), args.size >> 20, whole * 1000))
        return 1 if corrupt else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
