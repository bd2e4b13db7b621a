#!/usr/bin/env bash
# Throughput of the archive module's decoder against lhasa and 7-Zip, side by
# side in one run: "t" (decode and check, no output files) over one archive of
# about 40 MB of real files (documentation, libraries, programs), written once
# with jlha (level 2, -lh5-) into build/bench/. Best of three runs each. Where
# 32-bit programs run, the decoder also as the product has it: lzhx built -m32.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BENCH="$ROOT/build/bench"
LZHX="${LZHX:-$ROOT/build/host/lzhx}"
ARCHIVE="$BENCH/bench.lzh"
TARGET_BYTES=$((40 * 1024 * 1024))
RUNS=3

if [ ! -x "$LZHX" ]; then
  echo "bench: building lzhx (host preset)" >&2
  (cd "$ROOT" && cmake --preset host >/dev/null && cmake --build --preset host --target lzhx -j2 >/dev/null)
fi
LZHX32="${LZHX32:-$ROOT/build/host32/lzhx}"
if "$ROOT/tools/runs-i386"; then
  (cd "$ROOT" && { [ -f build/host32/build.ninja ] || cmake --preset host32 >/dev/null; } &&
   cmake --build --preset host32 --target lzhx -j2 >/dev/null)
else
  echo "bench: this machine cannot run 32-bit programs; 64-bit decoder only" >&2
  LZHX32=""
fi

if [ ! -s "$ARCHIVE" ]; then
  echo "bench: collecting files and packing $ARCHIVE (once)" >&2
  rm -rf "$BENCH/src" && mkdir -p "$BENCH/src"
  total=0 n=0
  # A fixed, sorted selection: text, libraries and programs; short flat names
  # keep every header within the 100-byte name limit.
  while IFS= read -r file; do
    size=$(stat -c %s "$file")
    [ "$size" -ge 4096 ] && [ "$size" -le $((4 * 1024 * 1024)) ] || continue
    n=$((n + 1))
    cp "$file" "$BENCH/src/$(printf 'f%05d' "$n").bin"
    total=$((total + size))
    [ "$total" -lt "$TARGET_BYTES" ] || break
  done < <( { find /usr/share/doc /usr/share/common-licenses -type f ! -name '*.gz' 2>/dev/null
              find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' 2>/dev/null
              find /usr/bin -maxdepth 1 -type f 2>/dev/null; } | LC_ALL=C sort )
  (cd "$BENCH/src" && LC_ALL=C jlha a2o5 "$ARCHIVE.tmp" $(LC_ALL=C ls) >/dev/null)
  mv "$ARCHIVE.tmp" "$ARCHIVE"
  rm -rf "$BENCH/src"
fi

ORIGINAL=$("$LZHX" -l "$ARCHIVE" | awk '$1 ~ /^[0-9]+$/ && NF >= 7 { s += $4 } END { print s }')
PACKED=$(stat -c %s "$ARCHIVE")
echo "archive: $ARCHIVE, $(("$ORIGINAL" / 1024 / 1024)) MB original, $(("$PACKED" / 1024 / 1024)) MB packed"

best_time() { # command... -> best wall time in seconds over RUNS runs
  local best="" t0 t1 t
  for _ in $(seq "$RUNS"); do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "bench: '$*' failed" >&2; exit 1; }
    t1=$(date +%s.%N)
    t=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

T_LZHX=$(best_time "$LZHX" -t "$ARCHIVE")
[ -z "$LZHX32" ] || T_LZHX32=$(best_time "$LZHX32" -t "$ARCHIVE")
T_LHASA=$(best_time /usr/bin/lhasa t "$ARCHIVE")
T_7Z=$(best_time 7z t "$ARCHIVE")

rate() { echo "scale=1; $ORIGINAL / 1048576 / $1" | bc -l; }
printf '%-12s %8s s %8s MB/s\n' "lzhx" "$T_LZHX" "$(rate "$T_LZHX")"
[ -z "$LZHX32" ] || printf '%-12s %8s s %8s MB/s\n' "lzhx -m32" "$T_LZHX32" "$(rate "$T_LZHX32")"
printf '%-12s %8s s %8s MB/s\n' lhasa "$T_LHASA" "$(rate "$T_LHASA")" 7z "$T_7Z" "$(rate "$T_7Z")"
printf 'lzhx / lhasa: %.2fx   lzhx / 7z: %.2fx\n' "$(echo "$T_LHASA / $T_LZHX" | bc -l)" \
       "$(echo "$T_7Z / $T_LZHX" | bc -l)"
