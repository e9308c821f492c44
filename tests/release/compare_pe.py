#!/usr/bin/python3
"""Compares two builds of a program byte for byte; on a difference, names
the first differing PE section (or the headers) and the offsets.

    compare_pe.py first.exe second.exe

Exits 0 when the files are identical, 1 when they differ.
"""
import sys

import pefile  # from python3-pefile, for Debian's python3: hence the first line


def image(data):
    try:
        return pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError:
        return None


def regions(data):
    """[(start, end, name)] of the file: the headers, then each section's raw
    data; empty when the file is no PE image."""
    pe = image(data)
    if pe is None:
        return []
    out = sorted((s.PointerToRawData, s.PointerToRawData + s.SizeOfRawData,
                  s.Name.rstrip(b'\0').decode('ascii', 'replace'))
                 for s in pe.sections if s.SizeOfRawData)
    first = min((r[0] for r in out), default=len(data))
    return [(0, first, 'headers')] + out


def header_field(data, offset):
    """The name of the header field that holds offset, for the fields that
    usually make builds differ."""
    pe = image(data)
    fields = [(pe.FILE_HEADER, 'TimeDateStamp', 'COFF TimeDateStamp'),
              (pe.OPTIONAL_HEADER, 'CheckSum', 'optional header CheckSum')]
    for header, field, name in fields:
        if 0 <= offset - header.get_field_absolute_offset(field) < 4:
            return name
    return None


def where(data, offset):
    for start, end, name in regions(data):
        if start <= offset < end:
            if name == 'headers':
                field = header_field(data, offset)
                name = 'headers' + (' (%s)' % field if field else '')
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
    for start, end, name in regions(a):
        if a[start:end] != b[start:end] and name not in names:
            names.append(name)
    if names:
        print('differing parts: %s' % ', '.join(names))
    return 1


if __name__ == '__main__':
    sys.exit(main())
