#!/usr/bin/env python3
"""droplet-maker as a user meets it, with the Linux droplet: the bad-input
table, --show, the made bytes, and a made droplet's request or its refusal
of a damaged block.  maker_test.py <droplet-maker> <droplet>
"""
import json
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile

MAGIC = b'DROPSETS'
BLOCK_SIZE = 0x102000
COMPONENTS = ('name, lowerCase, upperCase, oneDigit, twoDigit, threeDigit, fourDigit, '
              'lowerCaseSerial, upperCaseSerial, mmddyy, mmdd, yyyymmdd, yymmdd, yyddmm, '
              'ddmmyy, ddmm, lowerCaseExtension, upperCaseExtension, ')
DAMAGED = b'/Values [ --.-00000'
REPAIRED = b'/Values [ 1.0000000'

failures = []


def expect(ok, text):
    print(('ok      ' if ok else 'FAILED  ') + text)
    if not ok:
        failures.append(text)


def signed_program(path, signed=True, trailing=8, characteristics=0x22):
    """A PE program whose last section holds an unstamped block, with a
    signature (a security directory) and data after the section or not."""
    block = MAGIC + bytes(BLOCK_SIZE - len(MAGIC))
    optional = bytearray(240)
    struct.pack_into('<H', optional, 0, 0x20B)
    struct.pack_into('<II', optional, 32, 0x1000, 0x200)
    struct.pack_into('<I', optional, 56, 0x1000 + (len(block) + 0xFFF & ~0xFFF))
    struct.pack_into('<I', optional, 108, 16)
    if signed:
        struct.pack_into('<II', optional, 112 + 8 * 4, 0x200 + len(block), 8)
    coff = struct.pack('<HHIIIHH', 0x8664, 1, 0, 0, 0, len(optional), characteristics)
    section = struct.pack('<8sIIIIIIHHI', b'.dropset', len(block), 0x1000, len(block), 0x200,
                          0, 0, 0, 0, 0x40000040)
    head = b'MZ' + bytes(0x3A) + struct.pack('<I', 0x40) + b'PE\0\0' + coff + optional + section
    with open(path, 'wb') as f:
        f.write(head + bytes(0x200 - len(head)) + block + bytes(trailing))


def elf_settings_header(program):
    """The file offset of the settings section's header in an ELF program."""
    table, size, count, names = (struct.unpack_from('<Q', program, 0x28)[0],
                                 *struct.unpack_from('<HHH', program, 0x3A))
    strings = struct.unpack_from('<Q', program, table + size * names + 0x18)[0]
    for i in range(count):
        name = struct.unpack_from('<I', program, table + size * i)[0]
        if program[strings + name:strings + name + 9] == b'.dropset\0':
            return table + size * i
    raise ValueError('no settings section')


def elf_with(program, offset, form, value):
    """The program as another kind of ELF file: its type (0x10), its entry point (0x18)."""
    program = bytearray(program)
    struct.pack_into(form, program, offset, value)
    return bytes(program)


def main():
    maker, droplet = (os.path.abspath(p) for p in sys.argv[1:3])
    with tempfile.TemporaryDirectory(prefix='droplet-maker-') as work:
        return check(maker, droplet, work)


def check(maker, droplet, work):
    def run(*args, program=maker):
        # The time limit only keeps a hang (the old reading of a FIFO) from
        # stopping the whole suite; no result depends on it.
        try:
            return subprocess.run([program, *args], cwd=work, capture_output=True,
                                  stdin=subprocess.DEVNULL, timeout=300)
        except subprocess.TimeoutExpired:
            return subprocess.CompletedProcess(args, -1, b'', b'(hung)')

    write = lambda name, data: pathlib.Path(work, name).write_bytes(data)
    read = lambda name: pathlib.Path(work, name).read_bytes()

    write('action.bin', b'\x00act\x00ion\x00' * 40)
    write('big.bin', bytes(0x100001))
    write('notes.txt', b'not a program\n')
    write('existing', b'keep me\n')
    write('object.o', elf_with(read(droplet), 0x10, '<H', 1))
    write('library.so', elf_with(read(droplet), 0x18, '<Q', 0))
    os.mkfifo(os.path.join(work, 'fifo'))
    with open(os.path.join(work, 'huge'), 'wb') as f:
        f.truncate((64 << 20) + 1)
    signed_program(os.path.join(work, 'signed.exe'))
    signed_program(os.path.join(work, 'trailing.exe'), signed=False)
    signed_program(os.path.join(work, 'library.dll'), signed=False, trailing=0,
                   characteristics=0x2022)
    signed_program(os.path.join(work, 'windows.exe'), signed=False, trailing=0)
    shutil.copy(droplet, os.path.join(work, 'mine'))
    # A droplet built before send: its unstamped block marks versions 1-2 as read.
    old = bytearray(read(droplet))
    old[old.find(MAGIC + bytes(12)) + 20] = 2
    write('old', bytes(old))
    save = ['--save-to', 'D:\\Out']

    # ---- Bad input: one line naming the option and the reason, exit 2, no file.
    not_regular = ": not a regular file (a device, a FIFO or a socket)"
    bad = [
        (['--bogus', 'out'], "--bogus: unknown option (see droplet-maker --help)"),
        (['-x', 'out'], "-x: unknown option (see droplet-maker --help)"),
        (['-', 'out'], "-: unknown option (see droplet-maker --help)"),
        # Every input is checked before it is read: never read whole, never waited on.
        (['--action', '/dev/zero', 'out'], "--action: cannot read '/dev/zero'" + not_regular),
        (['--from', '/dev/zero', 'out'], "--from: cannot read '/dev/zero'" + not_regular),
        (['--action', 'fifo', 'out'], "--action: cannot read 'fifo'" + not_regular),
        (['--from', 'fifo', 'out'], "--from: cannot read 'fifo'" + not_regular),
        (['--action', '.', 'out'], "--action: cannot read '.': it is a folder"),
        (['--from', 'huge', 'out'], "--from: 'huge' is not a droplet: it has 67108865 bytes, "
         "more than the 67108864 a droplet has"),
        # Programs only, never an object file or a library.
        (['--from', 'object.o', 'out'],
         "--from: 'object.o' is not a droplet: a library or an object file, not a program"),
        (['--show', 'library.so'],
         "--show: 'library.so' is not a droplet: a library or an object file, not a program"),
        (['--flag', 'ovro', 'out'], "--flag: unknown flag 'ovro' (OvrO, Ovrd or Fldr)"),
        (save + ['--name', 'Name', 'out'],
         "--name: unknown component 'Name' (one of " + COMPONENTS + "or text:TEXT)"),
        (save + ['--compat', 'mac', 'out'],
         "--compat: unknown switch 'mac' (macintosh, windows or unix)"),
        (save + ['--name', 'name'] * 7 + ['out'], "--name: more than six naming components"),
        (['--name', 'name', 'out'], "--name: only together with --save-to"),
        (['--compat', 'unix', 'out'], "--compat: only together with --save-to"),
        (save + ['--save-and-close', 'out'],
         "--save-to: not together with --save-and-close: a droplet saves into a folder or "
         "saves and closes"),
    ]
    not_windows = (" is not an absolute Windows path: a drive path (D:\\Folder) or a UNC path "
                   "(\\\\server\\share\\Folder), without / * ? \" < > | or control characters")
    for option, path in [('--save-to', 'Repaired'), ('--save-to', 'D:Out'), ('--save-to', 'D:\\Out\\*.psd'),
                         ('--save-to', '\\\\server'), ('--log', 'drop.log')]:
        bad.append(([option, path, 'out'], option + ": '" + path + "'" + not_windows))
    long_path = 'D:\\' + 'x' * 509
    bad += [
        (['--save-to', long_path, 'out'],
         "--save-to: the path has 512 characters, more than the 511 a droplet carries"),
        (['--log', 'C:\\logs\\', 'out'], "--log: 'C:\\logs\\' names a folder, not a file"),
        (['--save-to', b'D:\\caf\xe9', 'out'], b"--save-to: 'D:\\caf\xe9' is not valid UTF-8"),
        (save + ['--name', 'text:café', 'out'],
         "--name: text 'café' holds characters outside printable ASCII, which code pages "
         "differ in"),
        (save + ['--name', 'text:a/b', 'out'],
         "--name: text 'a/b' holds a character no file name holds (\\ / : * ? \" < > |)"),
        (save + ['--name', 'text:' + 'x' * 256, 'out'],
         "--name: text of 256 characters, more than 255"),
        (['--host', 'Pix mantle', 'out'],
         "--host: 'Pix mantle' is not a host name: a letter, then letters, digits and dots, "
         "at most 241 characters"),
        (['--host', 'A', '--host', 'B', 'out'], "--host: given twice"),
        (['out', '--save-to'], "--save-to: needs a value"),
        (['--action', 'missing.bin', 'out'], "--action: cannot read 'missing.bin': no such file"),
        (['--action', 'big.bin', 'out'],
         "--action: 'big.bin' has 1048577 bytes, more than the 1048576 a droplet holds"),
        (['--from', 'notes.txt', 'out'],
         "--from: 'notes.txt' is not a droplet: neither a Windows nor a Linux program"),
        (['--from', maker, 'out'],
         "--from: '" + maker + "' is not a droplet: no settings section"),
        (['--from', 'signed.exe', 'out'],
         "--from: 'signed.exe' is signed, and stamping drops the signature: make the droplet "
         "from an unsigned one, then sign the output"),
        (['--from', 'trailing.exe', 'out.exe'],
         "--from: 'trailing.exe' cannot take these settings: its settings section is not the "
         "last part of the file (data follows it): make the droplet from one built by this "
         "project"),
        (['--from', 'library.dll', 'out.exe'],
         "--from: 'library.dll' is not a droplet: a library or an object file, not a program"),
        (['--from', 'windows.exe', 'out'],
         "OUTPUT: 'out' does not end in .exe, which a Windows droplet needs to run "
         "(try 'out.exe')"),
        (['--from', 'mine', './mine', '--force'], "OUTPUT: './mine' is the --from droplet itself"),
        (['existing'], "OUTPUT: 'existing' already exists (--force replaces it)"),
        ([], "OUTPUT: missing (droplet-maker [--from DROPLET] [options] OUTPUT)"),
        (['one', 'two'], "OUTPUT: one output file only, not 'two' as well"),
        (['--show', 'mine', '--force'], "--show: takes a droplet and no other options"),
        (['--send', 'some', 'out'], "--send: unknown value 'some' (all, repaired or none)"),
        # A droplet that would take the block for a damaged one is not stamped.
        (['--from', 'old', '--send', 'none', 'out'], "--send: 'old' reads settings of versions 1 "
         "to 2 only and cannot take this one: make the droplet from a droplet of this release"),
        (['--from', 'windows.exe', '--send', 'repaired', 'out.exe'], "--send: 'windows.exe' reads "
         "settings of versions 1 to 2 only and cannot take this one: make the droplet from a "
         "droplet of this release"),
    ]
    before = sorted(os.listdir(work))
    # The bug hunt's run: a file of the old temporary name is someone else's.
    r = subprocess.run(['bash', '-c', 'echo precious > out.$$.tmp; exec "$0" --from "$1" out',
                        maker, droplet], cwd=work, capture_output=True, stdin=subprocess.DEVNULL)
    kept = [f for f in os.listdir(work) if f.startswith('out.') and f.endswith('.tmp')]
    expect(r.returncode == 0 and len(kept) == 1 and read(kept[0]) == b'precious\n' and
           len(read('out')) == len(read(droplet)) and sorted(os.listdir(work)) == sorted(before + ['out'] + kept),
           "a file of another's temporary name is left as it was; the droplet is made")
    for name in ['out'] + kept:
        os.remove(os.path.join(work, name))
    long_name = 'n' * os.pathconf(work, 'PC_NAME_MAX')
    r = run('--from', droplet, long_name)
    expect(r.returncode == 0 and len(read(long_name)) == len(read(droplet)),
           'an output name of %d bytes, the file system\'s limit' % len(long_name))
    os.remove(os.path.join(work, long_name))
    usage = [run(*args) for args in (['-h'], ['--help'], ['/?'], ['--from', 'x', '-h'])]
    expect(all(u.returncode == 0 and not u.stderr and u.stdout == usage[0].stdout for u in usage)
           and usage[0].stdout.endswith(b'\nSee droplet-maker(1).\n'),
           '-h, --help and /? print the usage, which names the manual page')

    for args, message in bad:
        line = message if isinstance(message, bytes) else message.encode()
        r, want = run(*args), b'droplet-maker: ' + line + b'\n'
        expect(r.returncode == 2 and r.stderr == want and not r.stdout and
               sorted(os.listdir(work)) == before,
               'refused, exit 2, nothing written: ' + line.decode('utf-8', 'backslashreplace') +
               ('' if r.stderr == want else '\n  got: %r (exit %d)' % (r.stderr, r.returncode)))
    expect(read('existing') == b'keep me\n' and read('mine') == read(droplet),
           'an existing OUTPUT and --from are left as they were')

    # ---- The settings read back.
    r = run('--show', droplet)
    expect(r.returncode == 0 and json.loads(r.stdout) == {
        'host': 'Pixmantle', 'action': '', 'flag': [], 'save-and-close': False, 'save-to': None,
        'name': [], 'compat': [], 'suppress-warnings': False, 'log': None, 'recursive': False,
        'keep-going': False, 'check': False, 'report': False, 'send': 'all'},
        'an unstamped droplet shows the defaults')
    options = ['--action', 'action.bin', '--flag', 'OvrO', '--flag', 'Fldr', '--flag', 'OvrO',
               '--save-to', 'D:\\Repaired', '--name', 'name', '--name', 'text:_fixed',
               '--name', 'text:', '--name', 'yyyymmdd', '--name', 'text:.',
               '--name', 'lowerCaseExtension', '--compat', 'windows', '--compat', 'unix',
               '--suppress-warnings', '--log', '\\\\server\\logs\\droplet.log']
    r = run(*options, 'made')
    expect(r.returncode == 0 and not r.stdout and not r.stderr, 'a droplet is made, silently')
    shown = run('--show', 'made')
    print('        --show: ' + shown.stdout.decode().strip())
    want = {'host': 'Pixmantle', 'action': (b'\x00act\x00ion\x00' * 40).hex(),
            'flag': ['OvrO', 'Fldr'], 'save-and-close': False, 'save-to': 'D:\\Repaired',
            'name': ['name', 'text:_fixed', 'text:', 'yyyymmdd', 'text:.', 'lowerCaseExtension'],
            'compat': ['windows', 'unix'], 'suppress-warnings': True,
            'log': '\\\\server\\logs\\droplet.log', 'recursive': False, 'keep-going': False,
            'check': False, 'report': False, 'send': 'all'}
    expect(shown.returncode == 0 and json.loads(shown.stdout) == want, '--show reads every option back')
    # The archive options go into a block of the next version; the rest reads as before.
    r = run('--recursive', '--keep-going', '--report', 'folders')
    shown = json.loads(run('--show', 'folders').stdout or b'{}')
    expect(r.returncode == 0 and MAGIC + b'\x02\x00\x00\x00' in read('folders') and
           [shown.get(k) for k in ('recursive', 'keep-going', 'check', 'report', 'host')] ==
           [True, True, False, True, 'Pixmantle'], '--recursive, --keep-going and --report read back')
    # Send goes into version 3.
    r = run('--recursive', '--send', 'repaired', 'sends')
    shown = run('--show', 'sends')
    print('        --show: ' + shown.stdout.decode().strip())
    expect(r.returncode == 0 and MAGIC + b'\x03\x00\x00\x00' in read('sends') and
           json.loads(shown.stdout).get('send') == 'repaired', '--send repaired reads back')
    # A droplet made here, without send, still reads it as a base: the mark goes with it.
    r = run('--from', 'folders', '--send', 'none', 'resent')
    expect(r.returncode == 0 and json.loads(run('--show', 'resent').stdout or b'{}').get('send') ==
           'none', 'a made droplet is a base for --send')

    # ---- The made program: the droplet's bytes but the block; the same every time.
    made, original = read('made'), read(droplet)
    at = made.find(MAGIC + b'\x01\x00\x00\x00')
    while at >= 0 and original[at:at + 12] != MAGIC + bytes(4):
        at = made.find(MAGIC + b'\x01\x00\x00\x00', at + 1)
    diffs = [i for i in range(len(made)) if made[i] != original[i]] if len(made) == len(original) else None
    expect(at > 0 and diffs and all(at <= i < at + BLOCK_SIZE for i in diffs),
           'the same bytes as --from but in the settings block (%d differ)' % len(diffs or []))
    run(*options, 'again')
    expect(read('again') == made, 'the same inputs give the same bytes')
    r = run('--force', '--host', 'Other.Host', '--save-and-close', '--flag', 'Ovrd', 'existing')
    shown = json.loads(run('--show', 'existing').stdout or b'null') or {}
    expect(r.returncode == 0 and (shown.get('host'), shown.get('save-and-close'),
                                  shown.get('flag'), shown.get('save-to'))
           == ('Other.Host', True, ['Ovrd'], None),
           '--force replaces an existing OUTPUT; --host, --save-and-close, --flag Ovrd read back')
    expect(not [f for f in os.listdir(work) if f.endswith('.tmp')], 'no temporary file left')

    # ---- A Windows program's settings section, the last, sized to the block.
    r = run('--from', 'windows.exe', '--host', 'Small', 'small.exe')
    small = read('small.exe') if r.returncode == 0 else b''
    shown = json.loads(run('--show', 'small.exe').stdout or b'null') or {}
    sizes = (struct.unpack_from('<I', small, 0x40 + 24 + 56) +
             struct.unpack_from('<4xI4xI', small, 0x40 + 24 + 240 + 4)) if small else ()
    expect(len(small) == 0x200 + 0x1000 and sizes == (0x2000, 0x1000, 0x1000) and
           shown.get('host') == 'Small',
           'a PE program\'s last section is sized to its block: %d bytes' % len(small))

    # ---- The bug hunt's crafted program: a copy of another block, moved to
    # the end, with the section header pointed at it. The loader still maps
    # the first, so --show must not report the copy.
    crafted = bytearray(made)
    header = elf_settings_header(crafted)
    offset = struct.unpack_from('<Q', crafted, header + 0x18)[0]
    copy = read('existing')[offset:offset + BLOCK_SIZE]
    struct.pack_into('<Q', crafted, header + 0x18, len(crafted))
    write('moved', bytes(crafted) + copy)
    r = run('--show', 'moved')
    expect(r.returncode == 2 and r.stderr == b"droplet-maker: --show: 'moved' is not a droplet: a "
           b"settings section that no loaded segment holds where its address says\n",
           'a section header pointed at a moved copy of a block is refused')

    # ---- The made droplet on two files: the request it sends.
    for name in ('a.psd', 'b.psd'):
        write(name, b'head ' + DAMAGED + b' tail\n')
    r = run('a.psd', os.path.join(work, 'b.psd'), program=os.path.join(work, 'made'))
    request = json.loads(r.stdout or b'null')
    text = lambda t: {'kind': 'object', 'class': 'fileNamingComponents',
                      'value': [{'key': 'textKey', 'kind': 'text', 'value': t}]}
    component = lambda c: {'kind': 'object', 'class': 'fileNamingComponents',
                           'value': [{'key': 'component', 'kind': 'enum',
                                      'type': 'fileNamingComponent', 'value': c}]}
    boolean = lambda key, value: {'key': key, 'kind': 'boolean', 'value': value}
    expect(request == {
        'event': 'BtcF', 'dialogMode': 2, 'typeIdLookups': 24, 'items': [
            {'key': 'File', 'kind': 'list', 'value': [
                {'kind': 'path', 'value': os.path.join(work, 'a.psd')},
                {'kind': 'path', 'value': os.path.join(work, 'b.psd')}]},
            {'key': 'null', 'kind': 'data', 'value': want['action']},
            boolean('OvrO', True), boolean('Ovrd', False), boolean('Fldr', True),
            boolean('SvAn', False),
            {'key': 'T   ', 'kind': 'path', 'value': 'D:\\Repaired'},
            {'key': 'fileNamingRules', 'kind': 'object', 'class': 'fileNamingRules', 'value': [
                {'key': 'fileNamingComponents', 'kind': 'list', 'value': [
                    component('name'), text('_fixed'), text(''), component('yyyymmdd'),
                    text('.'), component('lowerCaseExtension')]},
                boolean('macintosh', False), boolean('windows', True), boolean('unix', True)]},
            boolean('suppressWarnings', True),
            {'key': 'Log ', 'kind': 'path', 'value': '\\\\server\\logs\\droplet.log'}]},
        'the made droplet sends the request it was made with, with 24 look-ups')
    expect(read('a.psd') == read('b.psd') == b'head ' + REPAIRED + b' tail\n',
           'and repairs both files')

    # ---- A droplet that sends only what it repaired: no request when nothing was.
    os.chmod(os.path.join(work, 'sends'), 0o755)
    write('d.psd', b'head ' + DAMAGED + b' tail\n')
    write('s.psd', b'sound\n')
    r = run('s.psd', 'd.psd', program=os.path.join(work, 'sends'))
    listed = [f['value'] for f in (json.loads(r.stdout or b'null') or {'items': [{}]})['items'][0].get('value', [])]
    expect(r.returncode == 0 and listed == [os.path.join(work, 'd.psd')],
           'a made droplet with send repaired lists the repaired file alone')
    r = run('s.psd', 'd.psd', program=os.path.join(work, 'sends'))
    expect(r.returncode == 0 and not r.stdout and not r.stderr,
           'and sends no request when nothing needed repair')

    # ---- A damaged block: nothing is touched, the internal error with -50.
    damaged = bytearray(made)
    damaged[at + 20] ^= 1
    write('damaged', bytes(damaged))
    os.chmod(os.path.join(work, 'damaged'), 0o755)
    write('c.psd', b'head ' + DAMAGED + b' tail\n')
    r = run('c.psd', program=os.path.join(work, 'damaged'))
    expect(r.returncode == 1 and not r.stdout and r.stderr ==
           b'damaged: The droplet had an internal error. Please try again. (Error code -50.)\n'
           b'damaged: No file was changed.\n',
           'a damaged block: ' + r.stderr.decode().strip())
    expect(read('c.psd') == b'head ' + DAMAGED + b' tail\n', 'and the file is untouched')
    r = run('--show', 'damaged')
    expect(r.returncode == 2 and
           r.stderr == b"droplet-maker: --show: the settings block of 'damaged' is damaged\n",
           '--show refuses a damaged block')

    print('%d check(s) failed' % len(failures) if failures else 'all checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
