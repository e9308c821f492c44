#!/usr/bin/env python3
"""Reads droplet.exe's version resource back, as extracted by wrestool
(icoutils), and checks it against the project version: the fixed file and
product versions, and the strings the Properties dialog shows.

    check_version.py droplet.exe 1.2.3

Prints the resource as read and one line per check; exits 1 when any fails.
"""
import struct
import subprocess
import sys

COPYRIGHT_START = 'Copyright (c) '
DESCRIPTION = 'Repairs damaged documents dropped on it and opens them in the host editor'


def node(data, at):
    """One VS_VERSIONINFO-style block: (key, value, children, end)."""
    length, value_length, kind = struct.unpack_from('<HHH', data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[at + 6:key_end].decode('utf-16-le')
    pos = (key_end + 2 + 3) & ~3
    if kind == 1:  # text: the length counts UTF-16 units, the terminator too
        raw = data[pos:pos + 2 * value_length]
        value = raw.decode('utf-16-le').split('\0', 1)[0]
        pos += 2 * value_length
    else:
        value = data[pos:pos + value_length]
        pos += value_length
    pos = (pos + 3) & ~3
    children = []
    while pos < end:
        child = node(data, pos)
        children.append(child)
        pos = (child[3] + 3) & ~3
    return key, value, children, end


def read(path):
    raw = subprocess.run(['wrestool', '-x', '--raw', '--type=16', path], check=True,
                         capture_output=True).stdout
    if not raw:
        raise ValueError('no version resource')
    key, fixed, children, _ = node(raw, 0)
    if key != 'VS_VERSION_INFO' or len(fixed) != 52:
        raise ValueError('not a version resource (%r)' % key)
    fields = struct.unpack('<13I', fixed)
    if fields[0] != 0xFEEF04BD:
        raise ValueError('bad VS_FIXEDFILEINFO signature 0x%x' % fields[0])
    strings, translations = {}, []
    for ckey, _, blocks, _ in children:
        if ckey == 'StringFileInfo':
            for table_key, _, entries, _ in blocks:
                for name, value, _, _ in entries:
                    strings[(table_key, name)] = value
        elif ckey == 'VarFileInfo':
            for _, value, _, _ in blocks:
                translations += [struct.unpack_from('<HH', value, i)
                                 for i in range(0, len(value), 4)]
    return fields, strings, translations


def four(ms, ls):
    return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path, version = sys.argv[1:3]
    try:
        fields, strings, translations = read(path)
    except (OSError, ValueError, struct.error, subprocess.CalledProcessError) as e:
        print('FAILED  cannot read the version resource of %s: %s' % (path, e))
        return 1
    file_version, product_version = four(fields[2], fields[3]), four(fields[4], fields[5])
    print('FileVersion (fixed)    %s' % file_version)
    print('ProductVersion (fixed) %s' % product_version)
    for (table, name), value in sorted(strings.items()):
        print('%s %-16s %s' % (table, name, value))

    failures = []

    def expect(ok, text):
        print(('ok      ' if ok else 'FAILED  ') + text)
        if not ok:
            failures.append(text)

    expect(file_version == version + '.0', 'fixed file version is %s.0' % version)
    expect(product_version == version + '.0', 'fixed product version is %s.0' % version)
    expect(fields[8] == 0x40004 and fields[9] == 1, 'an application for 32-bit Windows (NT)')
    expect(translations == [(0x409, 1200)], 'one translation: U.S. English, Unicode')
    text = {name: value for (table, name), value in strings.items() if table == '040904B0'}
    for name, want in [('FileVersion', version), ('ProductVersion', version),
                       ('ProductName', 'droplet'), ('OriginalFilename', 'droplet.exe'),
                       ('InternalName', 'droplet'), ('FileDescription', DESCRIPTION)]:
        expect(text.get(name) == want, '%s is %r' % (name, want))
    expect(text.get('LegalCopyright', '').startswith(COPYRIGHT_START),
           'LegalCopyright is %r' % text.get('LegalCopyright'))
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
