#!/usr/bin/env bash
# tools/make-payload.sh with a team's own files: a file that does not get smaller
# is stored, every file keeps its time stamp, SETUP.EXE (made by the build) gets
# the fixed one, and SOURCE_DATE_EPOCH stamps SETUP.EXE alone. Read back with lzhx -l,
# checked with lhasa and extracted byte for byte.
# usage: make-payload-test.sh LZHX
set -euo pipefail
LZHX=$1
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/make-payload-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir "$work/files"
n=0
for name in QUORIN32.EXE QUORIN32.TXT QUORIN32.DLL QUORIN32.CNT TIPS.TXT HISTORY.TXT quorin.url; do
  n=$((n + 1))
  for i in $(seq 200); do echo "$name line $i"; done > "$work/files/$name"
  touch -d "2019-0$n-1$n 0$n:1$n:2$n UTC" "$work/files/$name"
done
head -c 30000 /dev/urandom > "$work/files/QUORIN32.HLP" # does not get smaller
touch -d "2003-04-05 06:07:08 UTC" "$work/files/QUORIN32.HLP"
for i in $(seq 100); do echo "a stand-in for the setup program"; done > "$work/SETUP.EXE"

# pack [ENV...]: packs into $work/out.lzh, listing and extracting it.
pack() {
  rm -rf "$work/out.lzh" "$work/list" "$work/extracted"
  if ! env -u SOURCE_DATE_EPOCH -u PAYLOAD_TIME "$@" bash "$ROOT/tools/make-payload.sh" \
        "$work/out.lzh" "$work/SETUP.EXE" "$work/files" 2>"$work/log"; then
    cat "$work/log" >&2
    fail "make-payload.sh failed ($*)"
    return 1
  fi
  lhasa t "$work/out.lzh" >/dev/null 2>&1 || fail "lhasa t rejects the archive ($*)"
  "$LZHX" -l "$work/out.lzh" > "$work/list"
  mkdir "$work/extracted"
  "$LZHX" "$work/out.lzh" "$work/extracted" >/dev/null || fail "lzhx cannot extract the archive ($*)"
  for name in $(ls "$work/files"); do
    cmp -s "$work/files/$name" "$work/extracted/$name" || fail "$name differs after extraction ($*)"
  done
}

# member NAME METHOD "TIME": the listing has NAME with METHOD and TIME (UTC).
member() {
  awk -v n="$1" -v m="$2" -v t="$3" '$NF == n && $2 == m && ($6 " " $7) == t { found = 1 }
      END { exit !found }' "$work/list" || { fail "expected $1 $2 $3 in:"; cat "$work/list" >&2; }
}

if pack; then
  grep -q "stored without compression.*QUORIN32.HLP" "$work/log" || fail "the stored member is not named"
  member QUORIN32.HLP -lh0- "2003-04-05 06:07:08"
  member quorin.url -lh0- "2019-07-17 07:17:27"
  member QUORIN32.EXE -lh5- "2019-01-11 01:11:21"
  member HISTORY.TXT -lh5- "2019-06-16 06:16:26"
  member SETUP.EXE -lh5- "2026-12-01 09:00:00"
  [ "$(grep -c '^ *2 ' "$work/list")" = 9 ] || fail "not nine level-2 members"
fi

if pack SOURCE_DATE_EPOCH=1700000000; then
  member SETUP.EXE -lh5- "2023-11-14 22:13:20"
  member QUORIN32.HLP -lh0- "2003-04-05 06:07:08"
  member QUORIN32.EXE -lh5- "2019-01-11 01:11:21"
  [ "$(grep -c '2023-11-14 22:13:20' "$work/list")" = 1 ] || fail "SOURCE_DATE_EPOCH stamps a team's file"
fi

# A ready archive is carried only when the install's own check passes it.
if pack; then
  ready() { env LZHX="$LZHX" bash "$ROOT/tools/make-payload.sh" "$work/ready-out.lzh" --archive "$1" 2>"$work/log"; }
  ready "$work/out.lzh" || { cat "$work/log" >&2; fail "a sound ready archive is refused"; }
  cmp -s "$work/out.lzh" "$work/ready-out.lzh" || fail "the ready archive is not carried as it is"
  rm -f "$work/ready-out.lzh"
  # Member 3's level byte (offset 20 of its header) made 3: the install says "unknown format".
  third=$(python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read(); p=0
for i in range(2):
    p+=struct.unpack_from("<H",d,p)[0]+struct.unpack_from("<I",d,p+7)[0]
print(p)' "$work/out.lzh")
  python3 -c 'import sys; d=bytearray(open(sys.argv[1],"rb").read()); d[int(sys.argv[2])+20]=3; open(sys.argv[3],"wb").write(d)' \
    "$work/out.lzh" "$third" "$work/damaged.lzh"
  if ready "$work/damaged.lzh"; then
    fail "a ready archive with an unreadable header is carried"
  fi
  grep -q "member 3 (no name): header level above 2" "$work/log" || { cat "$work/log" >&2; fail "the refusal does not name member 3 and its cause"; }
  [ -e "$work/ready-out.lzh" ] && fail "a refused archive was written"
fi

[ $failures = 0 ] && echo "make-payload: all checks passed"
exit $((failures > 0))
