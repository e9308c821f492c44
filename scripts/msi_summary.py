#!/usr/bin/env python3
"""Makes a wixl-built MSI reproducible: sets its summary's revision number
(the package code) and its creation and last-saved times in place.

    msi_summary.py package.msi {PACKAGE-CODE} <unix time>

wixl writes a random package code and the current time there. The values are
patched where they lie, byte for byte the same length, so the compound file's
structure stays as wixl wrote it; msiinfo reads the result back to prove it.
Every value must be found exactly once, or nothing is written.
"""
import datetime
import re
import struct
import subprocess
import sys

VT_FILETIME = b'\x40\x00\x00\x00'
FILETIME_EPOCH = 116444736000000000  # 1601-01-01 to 1970-01-01, in 100 ns


def summary(path):
    out = subprocess.run(['msiinfo', 'suminfo', path], check=True, capture_output=True,
                         text=True).stdout
    return dict(line.split(': ', 1) for line in out.splitlines() if ': ' in line)


def main():
    path, code, epoch = sys.argv[1], sys.argv[2].upper(), int(sys.argv[3])
    if not re.fullmatch(r'\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}', code):
        sys.exit('msi_summary: not a package code: %s' % code)
    data = bytearray(open(path, 'rb').read())
    old = summary(path)['Revision number (UUID)'].encode('ascii')
    if len(old) != len(code) or data.count(old) != 1:
        sys.exit('msi_summary: the package code %s is not found exactly once' % old.decode())
    at = data.index(old)
    data[at:at + len(old)] = code.encode('ascii')

    # The two times are the VT_FILETIME properties of the same stream, right
    # behind the package code; both hold the moment wixl ran.
    window = bytes(data[at:at + 256])
    times = [m.start() for m in re.finditer(re.escape(VT_FILETIME), window)]
    stamps = {window[t + 4:t + 12] for t in times}
    if len(times) != 2 or len(stamps) != 1:
        sys.exit('msi_summary: expected two equal time stamps behind the package code')
    stamp = struct.pack('<Q', FILETIME_EPOCH + epoch * 10_000_000)
    for t in times:
        data[at + t + 4:at + t + 12] = stamp
    open(path, 'wb').write(data)

    new = summary(path)
    when = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    if new['Revision number (UUID)'] != code:
        sys.exit('msi_summary: package code reads back as %s' % new['Revision number (UUID)'])
    print('%s: package code %s, created %s UTC' % (path, code, when.strftime('%Y-%m-%d %H:%M:%S')))


if __name__ == '__main__':
    main()
