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
    expect(len(sections) == 1 and sections[0] == pe.sections[-1], 'one settings section, the last')
    if not sections:
        return 1
    section = sections[0]
    start, end = section.PointerToRawData, section.PointerToRawData + section.SizeOfRawData
    used = int.from_bytes(made[start + 12:start + 16], 'little')
    alignment = pe.OPTIONAL_HEADER.FileAlignment
    # What the section grows by: the settings section's size fields, the
    # image size, the initialized-data size and the checksum.
    fields = [pe.OPTIONAL_HEADER.get_field_absolute_offset(f)
              for f in ('CheckSum', 'SizeOfImage', 'SizeOfInitializedData')]
    fields += [section.get_field_absolute_offset(f) for f in ('Misc_VirtualSize', 'SizeOfRawData')]
    outside = [i for i in range(start) if made[i] != original[i]
               and not any(f <= i < f + 4 for f in fields)]
    expect(end == len(made) and not outside and len(original) >= start,
           'the same bytes as the droplet up to the settings section, but its sizes and checksum')
    expect(made[start:start + 12] == b'DROPSETS\x01\x00\x00\x00', 'a stamped settings block')
    expect(len(made) <= len(original) + (used + alignment - 1) // alignment * alignment,
           '%d bytes, at most the droplet\'s %d and the %d of the block, rounded'
           % (len(made), len(original), used))
    expect(section.Misc_VirtualSize >= used and pe.OPTIONAL_HEADER.SizeOfImage ==
           -(-(section.VirtualAddress + section.Misc_VirtualSize) // pe.OPTIONAL_HEADER.SectionAlignment)
           * pe.OPTIONAL_HEADER.SectionAlignment, 'the section maps the block; the image size fits')
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
