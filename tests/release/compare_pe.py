#!/usr/bin/python3
"""Compares two builds of a program byte for byte; on a difference, names
the first differing PE section (or the headers) and the offsets.

    compare_pe.py first.exe second.exe

Exits 0 when the files are identical, 1 when they differ.
"""
import sys

import pefile  # from python3-pefile, for Debian's python3: hence the first line


def layout(data):
    """[(start, end, name)] of the file: the headers, then each section's raw
    data; and [(offset, name)] of the header fields that usually make builds
    differ. Both empty when the file is no PE image."""
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError:
        return [], []
    out = sorted((s.PointerToRawData, s.PointerToRawData + s.SizeOfRawData,
                  s.Name.rstrip(b'\0').decode('ascii', 'replace'))
                 for s in pe.sections if s.SizeOfRawData)
    first = min((r[0] for r in out), default=len(data))
    stamp = pe.FILE_HEADER.get_field_absolute_offset('TimeDateStamp')
    checksum = pe.OPTIONAL_HEADER.get_field_absolute_offset('CheckSum')
    fields = [(stamp, 'COFF TimeDateStamp'), (checksum, 'optional header CheckSum')]
    return [(0, first, 'headers')] + out, fields


def where(data, offset):
    regions, fields = layout(data)
    for start, end, name in regions:
        if start <= offset < end:
            name += ''.join(' (%s)' % field for at, field in fields if 0 <= offset - at < 4)
            return name, offset - start
    return 'no section (beyond the last one)', None


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    a, b = (open(p, 'rb').read() for p in sys.argv[1:3])
    if a == b:
        print('identical: %s and %s (%d bytes)' % (sys.argv[1], sys.argv[2], len(a)))
        return 0
    first = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    count = sum(1 for x, y in zip(a, b) if x != y) + abs(len(a) - len(b))
    name, within = where(a, first)
    print('DIFFERENT: %s (%d bytes) and %s (%d bytes)' % (sys.argv[1], len(a), sys.argv[2], len(b)))
    print('first difference at file offset 0x%x, in section %s%s; %d byte(s) differ' %
          (first, name, '' if within is None else ' at +0x%x' % within, count))
    names = []
    for start, end, name in layout(a)[0]:
        if a[start:end] != b[start:end] and name not in names:
            names.append(name)
    if names:
        print('differing parts: %s' % ', '.join(names))
    return 1


if __name__ == '__main__':
    sys.exit(main())
