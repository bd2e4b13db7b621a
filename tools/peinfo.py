#!/usr/bin/env python3
"""Reads what the release build needs from a Windows program (PE32 or PE32+).

usage: peinfo.py version PROGRAM          the product version of its version record, a.b.c.d
       peinfo.py record PROGRAM           its version record: the four numbers of the file
                                          and product versions and every string, one a line
       peinfo.py timestamp PROGRAM        the PE header's time stamp (seconds since 1970)
       peinfo.py resource PROGRAM TYPE ID one resource's bytes (numeric type and id) to stdout
       peinfo.py version-header OUTPUT (--version a.b.c.d | --program FILE | --archive LZH)
           writes the header of SETUP.EXE's version record: the given version, else the
           product version of the program (in the archive: its QUORIN32.EXE), else 1.0.0.0.
           OUTPUT is rewritten only when it changes.
"""
import os
import struct
import subprocess
import sys

RT_VERSION = 16


class PE:
    def __init__(self, data):
        self.data = d = data
        if d[:2] != b'MZ':
            raise ValueError('not a Windows program')
        pe = struct.unpack_from('<I', d, 0x3C)[0]
        if d[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.timestamp = struct.unpack_from('<I', d, pe + 8)[0]
        nsections, opt_size = struct.unpack_from('<H', d, pe + 6)[0], struct.unpack_from('<H', d, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from('<H', d, opt)[0]
        dirs = opt + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from('<I', d, dirs + 8 * 2)[0]
        self.sections = []
        for i in range(nsections):
            _, vsize, va, rsize, raw = struct.unpack_from('<8sIIII', d, opt + opt_size + 40 * i)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('address %#x outside the sections' % rva)

    def resource(self, rtype, rid):
        """The bytes of the first language of resource (rtype, rid), numeric ids; None if absent."""
        if not self.resource_rva:
            return None
        base = self.offset(self.resource_rva)
        d = self.data

        def find(directory, wanted):
            named, ids = struct.unpack_from('<HH', d, directory + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from('<II', d, directory + 16 + 8 * i)
                if wanted is None or (not name & 0x80000000 and name == wanted):
                    return target
            return None

        node = base
        for wanted in (rtype, rid, None):
            target = find(node, wanted)
            if target is None:
                return None
            node = base + (target & 0x7FFFFFFF)
        rva, size = struct.unpack_from('<II', d, node)
        start = self.offset(rva)
        return d[start:start + size]


def read_record(data):
    """(file version, product version, {string: value}) of a VS_VERSIONINFO block."""
    def block(o):
        length, value_length, kind = struct.unpack_from('<HHH', data, o)
        end = data.index(b'\0\0', o + 6)
        while (end - o - 6) % 2:
            end = data.index(b'\0\0', end + 1)
        key = data[o + 6:end].decode('utf-16-le')
        value = (end + 2 + 3) & ~3
        return length, value_length, kind, key, value

    length, value_length, _, key, fixed = block(0)
    if key != 'VS_VERSION_INFO' or value_length < 52:
        raise ValueError('no version record')
    signature, _, fms, fls, pms, pls = struct.unpack_from('<IIIIII', data, fixed)
    if signature != 0xFEEF04BD:
        raise ValueError('no fixed version information')
    numbers = lambda ms, ls: '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}

    def walk(o, end, depth):
        while o < end:
            size, value_length, kind, key, value = block(o)
            if size == 0:
                break
            if depth == 2 and kind == 1:
                strings[key] = data[value:value + 2 * value_length].decode('utf-16-le').rstrip('\0')
            elif key == 'StringFileInfo' or depth == 1:
                walk(value, o + size, depth + 1)
            o = (o + size + 3) & ~3

    walk((fixed + value_length + 3) & ~3, length, 0)
    return numbers(fms, fls), numbers(pms, pls), strings


def product_version(data):
    record = PE(data).resource(RT_VERSION, 1)
    if record is None:
        raise ValueError('no version record')
    return read_record(record)[1]


def parse_version(text):
    parts = text.split('.')
    if len(parts) != 4 or not all(p.isdigit() and len(p) <= 5 and int(p) <= 65535 for p in parts):
        raise ValueError('%s is not four numbers of 0 to 65535 (a.b.c.d)' % text)
    return [int(p) for p in parts]


def member_of_archive(archive, name):
    """One member of an LHA archive, by name whatever its case (7z keeps the stored name)."""
    result = subprocess.run(['7z', 'e', '-so', '-ssc-', archive, name], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    if result.returncode != 0 or not result.stdout:
        raise ValueError('%s holds no %s' % (archive, name))
    return result.stdout


def version_header(output, how, source):
    if how == '--version':
        version, origin = source, 'as given'
    else:
        try:
            data = member_of_archive(source, 'QUORIN32.EXE') if how == '--archive' else open(source, 'rb').read()
            version, origin = product_version(data), 'the product version of QUORIN32.EXE'
        except (OSError, ValueError, struct.error) as error:
            version, origin = '1.0.0.0', 'none found (%s)' % error
    numbers = parse_version(version)
    text = ('// The version record of SETUP.EXE: %s. Written by tools/peinfo.py.\n'
            '#define SETUP_VERSION_NUMBER %d, %d, %d, %d\n'
            '#define SETUP_VERSION_TEXT "%s"\n' % (origin, *numbers, version))
    try:
        if open(output, encoding='utf-8').read() == text:
            return
    except OSError:
        pass
    print('peinfo.py: SETUP.EXE version %s (%s)' % (version, origin), file=sys.stderr)
    with open(output + '.tmp', 'w', encoding='utf-8') as f:
        f.write(text)
    os.replace(output + '.tmp', output)


def main(argv):
    if len(argv) == 3 and argv[1] in ('version', 'record', 'timestamp'):
        data = open(argv[2], 'rb').read()
        if argv[1] == 'timestamp':
            print(PE(data).timestamp)
        elif argv[1] == 'version':
            print(product_version(data))
        else:
            file_version, product, strings = read_record(PE(data).resource(RT_VERSION, 1) or b'')
            print('FILEVERSION %s' % file_version)
            print('PRODUCTVERSION %s' % product)
            for key, value in strings.items():
                print('%s=%s' % (key, value))
    elif len(argv) == 5 and argv[1] == 'resource':
        found = PE(open(argv[2], 'rb').read()).resource(int(argv[3]), int(argv[4]))
        if found is None:
            sys.exit('peinfo.py: %s has no resource %s/%s' % (argv[2], argv[3], argv[4]))
        sys.stdout.buffer.write(found)
    elif len(argv) == 5 and argv[1] == 'version-header' and argv[3] in ('--version', '--program', '--archive'):
        version_header(argv[2], argv[3], argv[4])
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    try:
        main(sys.argv)
    except (OSError, ValueError, struct.error) as error:
        sys.exit('peinfo.py: %s' % error)
