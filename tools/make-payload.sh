#!/usr/bin/env bash
# Builds the LHA archive that the setup program carries as its payload.
#
# usage: make-payload.sh [--built] OUTPUT.lzh SETUP_STUB.EXE FOLDER
#          packs the nine installed files: eight from FOLDER, SETUP.EXE from
#          SETUP_STUB.EXE (always; a SETUP.EXE in FOLDER is ignored)
#        LZHX=HOST_LZHX make-payload.sh OUTPUT.lzh --archive READY.lzh
#          takes a ready archive once the install's own check (lzhx -c) passes it
#
# The archive: level-2 headers, members in the carried order with their bare
# names (no directory), method -lh5- for the program files and -lh0- (stored) for
# quorin.url; a file that does not get smaller is stored too, and the script says
# which. Time stamps: each file of FOLDER keeps its own modification time; files
# the build makes itself (SETUP.EXE, and FOLDER's files with --built, as for the
# sample application) get one fixed stamp: SOURCE_DATE_EPOCH where it is set (the
# build sets it to its fixed time, tools/fixed-time), else PAYLOAD_TIME (default
# 2026-12-01 09:00:00 UTC). A team's own files keep their dates either way.
# It is packed with jlha and then checked header by header; any deviation (method,
# level, name, order, size, time stamp, CRC-16, header length of 256 or more,
# trailing bytes) makes the script fail and leaves OUTPUT untouched.
#
# jlha's behaviour, as measured (jlha-utils 0.1.6): "a2" writes level-2 headers;
# "o5" (also the default) asks for -lh5-, but a member whose compressed data would not
# be smaller than the file is written as -lh0- instead, whatever its size; "z"
# stores without compression (-lh0-). Members are written in command-line order and
# a later "a" appends to the existing archive. Names are stored as given, so the
# files are added from inside the staging folder. jlha exits with 0 even when a
# named file is missing, which is one more reason for the check below.
set -euo pipefail

die() { echo "make-payload.sh: $*" >&2; exit 1; }

# The order of the carried archive; the last one is stored, all others compressed.
mapfile -t NAMES < <("$(dirname "${BASH_SOURCE[0]}")/install-files" --archive)
[ ${#NAMES[@]} -eq 9 ] || die "the list of the nine installed files cannot be read"
STORED=quorin.url
PAYLOAD_TIME=${PAYLOAD_TIME:-2026-12-01 09:00:00 UTC}

built=0
if [ "${1:-}" = "--built" ]; then built=1; shift; fi
[ $# -eq 3 ] || die "usage: make-payload.sh [--built] OUTPUT.lzh SETUP_STUB.EXE FOLDER | make-payload.sh OUTPUT.lzh --archive READY.lzh"
output=$1
mkdir -p "$(dirname "$output")"
output_abs=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")

work=$(mktemp -d "${TMPDIR:-/tmp}/make-payload.XXXXXX")
trap 'rm -rf "$work"' EXIT

# check_archive MODE ARCHIVE [STAGING]: MODE strict checks the packed archive against
# the staged files and fails on any deviation; MODE list only describes the members.
check_archive() {
  python3 - "$@" <<'PYEOF'
import os, struct, sys

mode, path = sys.argv[1], sys.argv[2]
staging = sys.argv[3] if len(sys.argv) > 3 else None
names = os.environ['PAYLOAD_NAMES'].split()
stored = os.environ['PAYLOAD_STORED']
data = open(path, 'rb').read()
errors = []

def crc16(buf):
    crc = 0
    for b in buf:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc

members = []
pos = 0
while pos < len(data) and data[pos] != 0:
    if pos + 22 > len(data):
        errors.append('truncated header at offset %d' % pos)
        break
    method = data[pos + 2:pos + 7].decode('latin-1')
    packed, original, mtime = struct.unpack_from('<III', data, pos + 7)
    level = data[pos + 20]
    name, directory = '', None
    if level == 2:
        total = struct.unpack_from('<H', data, pos)[0]
        crc = struct.unpack_from('<H', data, pos + 21)[0]
        ext = pos + 24
        while True:
            size = struct.unpack_from('<H', data, ext)[0]
            if size == 0:
                break
            kind = data[ext + 2]
            body = data[ext + 3:ext + 3 + size - 3]
            if kind == 0x01:
                name = body.decode('cp932', 'replace')
            elif kind == 0x02:
                directory = body
            ext += size
        body_start = pos + total
        if ext + 2 != body_start:
            errors.append('%s: extended headers end at %d, header length says %d' % (name, ext + 2 - pos, total))
    elif level in (0, 1):
        total = data[pos] + 2
        n = data[pos + 21]
        name = data[pos + 22:pos + 22 + n].decode('cp932', 'replace')
        crc = struct.unpack_from('<H', data, pos + 22 + n)[0]
        body_start = pos + total
        if level == 1:  # packed size includes the extended headers
            ext = body_start - 2
            while True:
                size = struct.unpack_from('<H', data, ext)[0]
                if size == 0:
                    break
                ext += size
            packed -= ext + 2 - body_start
            body_start = ext + 2
    else:
        errors.append('unknown header level %d at offset %d' % (level, pos))
        break
    members.append(dict(name=name, method=method, level=level, header=total, packed=packed,
                        original=original, mtime=mtime, crc=crc, directory=directory,
                        body=data[body_start:body_start + packed]))
    pos = body_start + packed
trailer = data[pos:]

for m in members:
    print('  %-13s %s level %d header %3d bytes packed %7d original %7d time %d crc %04x' % (
        m['name'], m['method'], m['level'], m['header'], m['packed'], m['original'], m['mtime'], m['crc']),
        file=sys.stderr)

if mode == 'strict':
    got = [m['name'] for m in members]
    if got != names:
        errors.append('members %s, expected %s' % (got, names))
    if trailer != b'\0':
        errors.append('archive does not end with one 0 byte after the last member (%d bytes left)' % len(trailer))
    for m in members:
        n = m['name']
        allowed = ['-lh0-'] if n == stored else ['-lh5-', '-lh0-']
        if m['method'] not in allowed:
            errors.append('%s: method %s, expected %s' % (n, m['method'], ' or '.join(allowed)))
        if m['level'] != 2:
            errors.append('%s: header level %d, expected 2' % (n, m['level']))
        if m['header'] >= 256:
            errors.append('%s: level-2 header of %d bytes, must be shorter than 256' % (n, m['header']))
        if m['directory'] is not None or '\\' in n or '/' in n:
            errors.append('%s: stored with a directory' % n)
        f = os.path.join(staging, n)
        if os.path.isfile(f):
            stamp = int(os.stat(f).st_mtime)
            if m['mtime'] != stamp:
                errors.append('%s: time stamp %d, expected %d' % (n, m['mtime'], stamp))
            content = open(f, 'rb').read()
            if m['original'] != len(content):
                errors.append('%s: original size %d, file has %d bytes' % (n, m['original'], len(content)))
            if m['crc'] != crc16(content):
                errors.append('%s: CRC-16 %04x, file has %04x' % (n, m['crc'], crc16(content)))
            if m['method'] == '-lh0-' and m['body'] != content:
                errors.append('%s: stored data differs from the file' % n)
    kept = [m['name'] for m in members if m['method'] == '-lh0-' and m['name'] != stored]
    if kept:
        print('make-payload.sh: stored without compression (not smaller compressed): ' + ' '.join(kept),
              file=sys.stderr)
else:
    got = sorted(m['name'].upper() for m in members)
    if got != sorted(x.upper() for x in names):
        print('make-payload.sh: note: the ready archive holds %s' % [m['name'] for m in members], file=sys.stderr)

for e in errors:
    print('make-payload.sh: ' + e, file=sys.stderr)
sys.exit(1 if errors else 0)
PYEOF
}
export PAYLOAD_NAMES="${NAMES[*]}" PAYLOAD_STORED=$STORED

if [ "$2" = "--archive" ]; then
  ready=$3
  [ -f "$ready" ] || die "no archive $ready"
  # The install's own check (lzhx -c): an archive it would refuse is never carried.
  [ -n "${LZHX:-}" ] && [ -x "$LZHX" ] || die "no archive checker (LZHX names the host lzhx)"
  check_archive list "$ready" || true
  if ! "$LZHX" -c "$ready" >"$work/check.out" 2>"$work/check.err"; then
    sed 's/^lzhx: /make-payload.sh: /' "$work/check.err" >&2
    die "the install would refuse $ready; $output not written"
  fi
  echo "make-payload.sh: taking $ready, checked as the install checks it" >&2
  cp "$ready" "$work/payload.lzh"
  mv -f "$work/payload.lzh" "$output_abs"
  exit 0
fi

stub=$2
folder=$3
[ -f "$stub" ] || die "no setup program $stub"
[ -d "$folder" ] || die "no folder $folder"
command -v jlha >/dev/null || die "jlha is not installed (Debian package jlha-utils)"

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH is not a number of seconds"
  fixed_time="@$SOURCE_DATE_EPOCH"
else
  fixed_time=$PAYLOAD_TIME
fi
date -d "$fixed_time" +%s >/dev/null 2>&1 || die "not a time: $fixed_time"

stage=$work/stage
mkdir "$stage"
for name in "${NAMES[@]}"; do
  if [ "$name" = SETUP.EXE ]; then source=$stub; else source=$folder/$name; fi
  [ -f "$source" ] || die "missing $source"
  cp -p "$source" "$stage/$name"
  chmod 644 "$stage/$name"
  if [ "$name" = SETUP.EXE ] || [ $built = 1 ]; then
    touch -d "$fixed_time" "$stage/$name"
  fi
done

compressed=()
for name in "${NAMES[@]}"; do
  [ "$name" = "$STORED" ] || compressed+=("$name")
done
archive=$work/payload.lzh
(cd "$stage" && jlha a2o5q "$archive" "${compressed[@]}" >&2 && jlha a2zq "$archive" "$STORED" >&2)
[ -f "$archive" ] || die "jlha wrote no archive"

echo "make-payload.sh: packed $output" >&2
check_archive strict "$archive" "$stage" || die "the archive is not as required; $output not written"
if command -v lhasa >/dev/null; then
  lhasa t "$archive" >/dev/null 2>"$work/lhasa.err" || { cat "$work/lhasa.err" >&2; die "lhasa t failed on the archive"; }
fi
mv -f "$archive" "$output_abs"
