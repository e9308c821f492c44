#!/usr/bin/python3
"""Checks a shipped droplet.exe: the expected machine (x86 or x64), GUI
subsystem, system DLLs only, the IDI_ICON1 icon group with its eight images,
and the manifest's identity and dependency on the version 6 common controls,
both for the program's own processor architecture; and its size, with
droplet-maker.exe's when that is given. Ready-made droplets given after the
maker ("Check documents.exe", "Repair folders.exe") are checked as
droplet.exe is, and each must carry an icon of its own.

    tests/pe/check_exe.py x86|x64 build/windows/droplet.exe [droplet-maker.exe [made.exe ...]]

Prints one line per finding and exits 1 when any check fails.
"""
import struct
import sys
import xml.etree.ElementTree as ET

import pefile  # from python3-pefile, for Debian's python3: hence the first line

# Machine field, optional header magic and manifest architecture per build.
ARCHES = {'x86': (0x14C, 0x10B, 'x86'), 'x64': (0x8664, 0x20B, 'amd64')}
SUBSYSTEM_WINDOWS_GUI = 2
RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24

SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'ole32.dll', 'oleaut32.dll', 'msvcrt.dll',
    'advapi32.dll', 'shell32.dll', 'comctl32.dll', 'comdlg32.dll', 'shlwapi.dll',
    'version.dll', 'ntdll.dll', 'rpcrt4.dll', 'ws2_32.dll',
}

# (side, bits per pixel) of every image the icon group must hold.
EXPECTED_ICONS = sorted([(16, 4), (16, 8), (16, 32), (32, 4), (32, 8), (32, 32), (48, 8), (48, 32)])

# Sizes the shipped programs stay within (the droplet with its settings
# section's small reserve).
DROPLET_LIMIT = 256 * 1024
MAKER_LIMIT = 400 * 1024

COMMON_CONTROLS = {'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0'}


def resources(pe):
    """{(type, name): bytes} with the first language of each; a name is
    an int id or a string."""
    def key(entry):
        return entry.id if entry.name is None else str(entry.name)
    out = {}
    if not hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE'):
        return out
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for rname in rtype.directory.entries:
            leaves = [e.data.struct for e in rname.directory.entries if hasattr(e, 'data')]
            if leaves:
                out[(key(rtype), key(rname))] = pe.get_data(leaves[0].OffsetToData, leaves[0].Size)
    return out


def icon_images(res):
    """The bytes of every icon image a program carries, in id order."""
    return [data for (kind, _), data in sorted(res.items(), key=lambda i: str(i[0]))
            if kind == RT_ICON]


def check(arch, path, maker=None, *made):
    failures = []

    def expect(ok, text):
        print(('ok      ' if ok else 'FAILED  ') + text)
        if not ok:
            failures.append(text)

    if maker is not None:
        pe = pefile.PE(maker, fast_load=True)
        size = len(pe.__data__)
        expect(size <= MAKER_LIMIT and pe.FILE_HEADER.Machine == ARCHES[arch][0],
               '%s: %d bytes, at most %d, for %s' % (maker, size, MAKER_LIMIT, arch))
    first = check_droplet(arch, path, expect)
    for other in made:
        icons = check_droplet(arch, other, expect)
        expect(icons and icons != first, '%s has an icon of its own' % other)
    return failures


def check_droplet(arch, path, expect):
    """Checks one droplet program; gives its icon images."""
    machine, magic, manifest_arch = ARCHES[arch]
    print(path)
    pe = pefile.PE(path)
    size = len(pe.__data__)
    expect(size <= DROPLET_LIMIT, '%s: %d bytes, at most %d' % (path, size, DROPLET_LIMIT))
    last = pe.sections[-1] if pe.sections else None
    # A signature, when there is one, follows the image's own bytes.
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
    end = security.VirtualAddress if security.Size else size
    expect(last is not None and last.Name.rstrip(b'\0') == b'.dropset' and
           last.PointerToRawData + last.SizeOfRawData == end,
           'the settings section ends the image and the file')
    found_machine, found_magic = pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic
    expect(found_machine == machine and found_magic == magic,
           'machine is %s (0x%x, optional header 0x%x)' % (arch, found_machine, found_magic))
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    expect(subsystem == SUBSYSTEM_WINDOWS_GUI, 'subsystem is Windows GUI (%d)' % subsystem)

    dlls = [d.dll.decode('ascii', 'replace') for kind in ('IMPORT', 'DELAY_IMPORT')
            for d in getattr(pe, 'DIRECTORY_ENTRY_' + kind, [])]
    expect(len(dlls) > 0, 'imports: %s' % ', '.join(dlls))
    for dll in dlls:
        expect(dll.lower() in SYSTEM_DLLS, 'imported %s is a system DLL' % dll)

    res = resources(pe)
    group = res.get((RT_GROUP_ICON, 'IDI_ICON1'))
    expect(group is not None, 'icon group IDI_ICON1 present')
    if group is not None:
        _, kind, count = struct.unpack_from('<HHH', group, 0)
        expect(kind == 1, 'icon group holds icons (type %d)' % kind)
        found = []
        for i in range(count):
            w, h, colours, _, planes, bits, size, ident = struct.unpack_from(
                '<BBBBHHIH', group, 6 + 14 * i)
            side = w or 256
            icon = res.get((RT_ICON, ident))
            expect(icon is not None, 'icon image %d present' % ident)
            if icon is None:
                continue
            expect(len(icon) == size, 'icon image %d has the size its entry states' % ident)
            hsize, bw, bh, bplanes, bbits = struct.unpack_from('<IiiHH', icon, 0)
            expect(hsize == 40 and bw == side and bh == 2 * side and bbits == bits,
                   'icon image %d is %dx%d at %d bpp' % (ident, bw, bh // 2, bbits))
            found.append((side, bits))
        expect(sorted(found) == EXPECTED_ICONS,
               'icon group images %s' % ', '.join('%dx%d/%d' % (s, s, b) for s, b in found))

    manifest = res.get((RT_MANIFEST, 1))
    expect(manifest is not None, 'manifest present as resource 24/1')
    if manifest is not None:
        root = ET.fromstring(manifest.lstrip(b'\xef\xbb\xbf'))
        ns = {'a': 'urn:schemas-microsoft-com:asm.v1'}
        own = root.find('a:assemblyIdentity', ns)
        own_arch = '' if own is None else own.get('processorArchitecture', '')
        expect(own_arch.lower() == manifest_arch,
               'manifest identity for processor architecture %s' % own_arch)
        identities = root.findall('a:dependency/a:dependentAssembly/a:assemblyIdentity', ns)
        match = [i.attrib for i in identities
                 if i.get('name') == COMMON_CONTROLS['name']]
        expect(len(match) == 1, 'manifest depends on %s' % COMMON_CONTROLS['name'])
        for attrs in match:
            expect(attrs.get('version') == COMMON_CONTROLS['version'],
                   'common controls version %s' % attrs.get('version'))
            arch = attrs.get('processorArchitecture', '')
            expect(arch.lower() == manifest_arch,
                   'common controls for processor architecture %s' % arch)

    return icon_images(res)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ARCHES:
        print('usage: check_exe.py x86|x64 droplet.exe [droplet-maker.exe [made.exe ...]]',
              file=sys.stderr)
        return 2
    try:
        failures = check(*sys.argv[1:])
    except (OSError, pefile.PEFormatError, struct.error, ET.ParseError) as e:
        print('FAILED  cannot read %s: %s' % (getattr(e, 'filename', None) or sys.argv[2], e))
        return 1
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
