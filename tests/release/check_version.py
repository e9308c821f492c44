#!/usr/bin/python3
"""Reads a shipped program's version resource back and checks it against
the project version: the fixed file and product versions, and the strings the
Properties dialog shows, which name the program and say what it does. The
program is known by its file name: droplet.exe, droplet-maker.exe,
"Check documents.exe" or "Repair folders.exe".

    check_version.py droplet.exe ["Check documents.exe" ...] 1.2.3

Prints each resource as read and one line per check; exits 1 when any fails.
"""
import os
import sys

import pefile  # from python3-pefile, for Debian's python3: hence the first line

COPYRIGHT_START = 'Copyright (c) '
# What each program's Properties dialog says it does.
DESCRIPTIONS = {
    'droplet.exe': 'Repairs damaged documents dropped on it and opens them in the host editor',
    'Check documents.exe': 'Checks dropped documents and folders for damaged values; changes nothing',
    'Repair folders.exe': 'Repairs the documents in dropped folders and their subfolders; '
                          'opens the repaired ones in the host editor',
    'droplet-maker.exe': 'Makes droplets: copies of droplet.exe with settings of their own stamped in',
}


def read(path):
    pe = pefile.PE(path)
    if not hasattr(pe, 'VS_FIXEDFILEINFO'):
        raise ValueError('no version resource')
    fixed = pe.VS_FIXEDFILEINFO[0]
    if fixed.Signature != 0xFEEF04BD:
        raise ValueError('bad VS_FIXEDFILEINFO signature 0x%x' % fixed.Signature)
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        for table in getattr(info, 'StringTable', []):
            for name, value in table.entries.items():
                strings[(table.LangID.decode(), name.decode())] = value.decode()
        # pefile keeps a Var's last language and code page pair: its length
        # tells whether there were more.
        translations += [(var.ValueLength // 4, var.entry) for var in getattr(info, 'Var', [])]
    return fixed, strings, translations


def four(ms, ls):
    return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check(path, version):
    """The failures found in one program's version resource."""
    program = os.path.basename(path)
    print(program)
    if program not in DESCRIPTIONS:
        text = '%s is none of %s' % (program, ', '.join(DESCRIPTIONS))
        print('FAILED  ' + text)
        return [text]
    try:
        fixed, strings, translations = read(path)
    except (OSError, ValueError, pefile.PEFormatError) as e:
        text = 'cannot read the version resource of %s: %s' % (path, e)
        print('FAILED  ' + text)
        return [text]
    file_version = four(fixed.FileVersionMS, fixed.FileVersionLS)
    product_version = four(fixed.ProductVersionMS, fixed.ProductVersionLS)
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
    expect(fixed.FileOS == 0x40004 and fixed.FileType == 1,
           'an application for 32-bit Windows (NT)')
    expect(translations == [(1, {b'Translation': '0x0409 0x04b0'})],
           'one translation: U.S. English, Unicode')
    text = {name: value for (table, name), value in strings.items() if table == '040904B0'}
    for name, want in [('FileVersion', version), ('ProductVersion', version),
                       ('ProductName', 'droplet'), ('OriginalFilename', program),
                       ('InternalName', program[:-len('.exe')]),
                       ('FileDescription', DESCRIPTIONS[program])]:
        expect(text.get(name) == want, '%s is %r' % (name, want))
    expect(text.get('LegalCopyright', '').startswith(COPYRIGHT_START),
           'LegalCopyright is %r' % text.get('LegalCopyright'))
    return failures


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    version = sys.argv[-1]
    failures = [f for path in sys.argv[1:-1] for f in check(path, version)]
    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
