#!/usr/bin/python3
"""A made droplet against its --from one.  check_made.py droplet.exe made.exe"""
import sys

import pefile

RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 14, 16, 24


def main():
    original, made = (open(p, 'rb').read() for p in sys.argv[1:3])
    failures = []

    def expect(ok, text):
        print(('ok      ' if ok else 'FAILED  ') + text)
        if not ok:
            failures.append(text)

    pe = pefile.PE(data=made)
    sections = [s for s in pe.sections if s.Name.rstrip(b'\0') == b'.dropset']
    expect(len(sections) == 1, 'one settings section')
    if not sections:
        return 1
    start, end = sections[0].PointerToRawData, sections[0].PointerToRawData + sections[0].SizeOfRawData
    checksum = pe.OPTIONAL_HEADER.get_field_absolute_offset('CheckSum')
    outside = [i for i in range(min(len(made), len(original)))
               if made[i] != original[i] and not start <= i < end
               and not checksum <= i < checksum + 4]
    expect(len(made) == len(original) and not outside,
           'the same bytes as the droplet outside the settings section and the checksum')
    expect(made[start:start + 12] == b'DROPSETS\x01\x00\x00\x00', 'a stamped settings block')
    expect(pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum(),
           'PE checksum 0x%08x, as Windows computes it' % pe.OPTIONAL_HEADER.CheckSum)
    resources = getattr(pe, 'DIRECTORY_ENTRY_RESOURCE', None)
    types = {e.id for e in resources.entries} if resources else set()
    expect({RT_GROUP_ICON, RT_VERSION, RT_MANIFEST} <= types,
           'icon group, version resource and manifest kept')
    expect(not pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].Size, 'no signature')
    print('%s: %d bytes, checksum 0x%08x' % (sys.argv[2], len(made), pe.OPTIONAL_HEADER.CheckSum))
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
