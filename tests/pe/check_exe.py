#!/usr/bin/env python3
"""Checks a shipped droplet.exe: the expected machine (x86 or x64), GUI
subsystem, system DLLs only, the IDI_ICON1 icon group with its eight images,
and the manifest's identity and dependency on the version 6 common controls,
both for the program's own processor architecture.

    python3 tests/pe/check_exe.py x86|x64 build/windows/droplet.exe

Prints one line per finding and exits 1 when any check fails.
"""
import struct
import sys
import xml.etree.ElementTree as ET

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

COMMON_CONTROLS = {'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0'}


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        coff = pe + 4
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from('<HHIIIHH', data, coff)
        opt = coff + 20
        self.magic = struct.unpack_from('<H', data, opt)[0]
        if self.magic not in (0x10B, 0x20B):
            raise ValueError('not a PE32 or PE32+ optional header (magic 0x%x)' % self.magic)
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        # PE32+ has 64-bit stack and heap sizes: its directories start 16 bytes later.
        dirs = opt + (96 if self.magic == 0x10B else 112)
        count = struct.unpack_from('<I', data, dirs - 4)[0]
        self.directories = [struct.unpack_from('<II', data, dirs + 8 * i)
                            for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from('<8sIIII', data,
                                                                     table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rawsize:
                    raise ValueError('RVA 0x%x lies outside the file' % rva)
                return rawptr + rva - vaddr
        raise ValueError('RVA 0x%x in no section' % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode('ascii', 'replace')

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        rva, _ = self.directory(1)
        names = []
        if rva == 0:
            return names
        at = self.offset(rva)
        while True:
            entry = struct.unpack_from('<IIIII', self.data, at)
            if entry == (0, 0, 0, 0, 0):
                return names
            names.append(self.cstring(entry[3]))
            at += 20

    def delay_imports(self):
        rva, _ = self.directory(13)
        names = []
        if rva == 0:
            return names
        at = self.offset(rva)
        while True:
            entry = struct.unpack_from('<8I', self.data, at)
            if entry[1] == 0:
                return names
            names.append(self.cstring(entry[1]))
            at += 32

    def resources(self):
        """{(type, name): bytes} with the first language of each; a name is
        an int id or a string."""
        rva, _ = self.directory(2)
        if rva == 0:
            return {}
        base = self.offset(rva)
        out = {}

        def entries(at):
            named, ids = struct.unpack_from('<HH', self.data, base + at + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from('<II', self.data, base + at + 16 + 8 * i)
                if name & 0x80000000:
                    p = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from('<H', self.data, p)[0]
                    name = self.data[p + 2:p + 2 + 2 * length].decode('utf-16-le')
                yield name, target

        for rtype, t in entries(0):
            for rname, n in entries(t & 0x7FFFFFFF):
                for _, leaf in entries(n & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        continue
                    data_rva, size = struct.unpack_from('<II', self.data, base + leaf)
                    start = self.offset(data_rva)
                    out.setdefault((rtype, rname), self.data[start:start + size])
        return out


def check(arch, path):
    machine, magic, manifest_arch = ARCHES[arch]
    failures = []

    def expect(ok, text):
        print(('ok      ' if ok else 'FAILED  ') + text)
        if not ok:
            failures.append(text)

    with open(path, 'rb') as f:
        image = Image(f.read())

    expect(image.machine == machine and image.magic == magic,
           'machine is %s (0x%x, optional header 0x%x)' % (arch, image.machine, image.magic))
    expect(image.subsystem == SUBSYSTEM_WINDOWS_GUI,
           'subsystem is Windows GUI (%d)' % image.subsystem)

    dlls = image.imports() + image.delay_imports()
    expect(len(dlls) > 0, 'imports: %s' % ', '.join(dlls))
    for dll in dlls:
        expect(dll.lower() in SYSTEM_DLLS, 'imported %s is a system DLL' % dll)

    res = image.resources()
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

    return failures


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ARCHES:
        print('usage: check_exe.py x86|x64 droplet.exe', file=sys.stderr)
        return 2
    try:
        failures = check(sys.argv[1], sys.argv[2])
    except (OSError, ValueError, struct.error, ET.ParseError) as e:
        print('FAILED  cannot read %s: %s' % (sys.argv[2], e))
        return 1
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
