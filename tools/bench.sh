#!/usr/bin/env bash
# Throughput of the archive module's decoder against lhasa and 7-Zip, side by
# side in one run: "t" (decode and check, no output files) over one archive of
# about 40 MB of real files (documentation, libraries, programs), written once
# with jlha (level 2, -lh5-) into build/bench/. Best of three runs each. Where
# 32-bit programs run, the decoder also as the product has it: lzhx built -m32. Then the
# install's archive check against the extraction, and an unattended install of a vendor
# build against Wine's copy (see below).
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

# ---- The install with the check before it, and with nobody at the screen ---------------------
# A vendor build that carries about 64 MB of generated files over the nine names: what the
# check of the carried archive costs next to its extraction (host, lzhx -c against lzhx x),
# for the sample payload and this one; and the unattended install under Wine
# (SETUP.EXE /S /D=...) next to Wine's own copy of the same nine files, in one run.
VENDOR="$BENCH/vendor"
if [ ! -s "$VENDOR/files/QUORIN32.EXE" ]; then
  echo "bench: generating the vendor files (once)" >&2
  rm -rf "$VENDOR/files" && mkdir -p "$VENDOR/files"
  python3 - "$VENDOR/files" <<'PYEOF'
import os, random, sys
folder = sys.argv[1]
rng = random.Random(64)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9)))
         for _ in range(4000)]
def text(size):  # compressible, like help and text files
    out, n = [], 0
    while n < size:
        line = ' '.join(rng.choice(words) for _ in range(12)) + '\r\n'
        out.append(line); n += len(line)
    return ''.join(out).encode()[:size]
def program(size):  # half code-like repetition, half noise
    chunk = rng.randbytes(4096)
    out = bytearray()
    while len(out) < size:
        out += chunk if rng.random() < 0.5 else rng.randbytes(4096)
    return bytes(out[:size])
mb = 1024 * 1024
files = {'QUORIN32.EXE': program(24 * mb), 'QUORIN32.DLL': program(12 * mb),
         'QUORIN32.HLP': text(16 * mb), 'QUORIN32.TXT': text(4 * mb), 'QUORIN32.CNT': text(2 * mb),
         'TIPS.TXT': text(2 * mb), 'HISTORY.TXT': text(4 * mb),
         'quorin.url': b'[InternetShortcut]\r\nURL=http://www.example.jp/q\r\n\r\n'}
for name, data in files.items():
    open(os.path.join(folder, name), 'wb').write(data)
PYEOF
fi
if "$ROOT/tools/wine-runs-i386"; then
  toolchain=mingw-i686 product=build/win32
else
  toolchain=mingw-x86_64 product=build/win64
  echo "bench: Wine here cannot run 32-bit programs; the vendor build is the 64-bit twin" >&2
fi
VBUILD="$BENCH/vendor-build"
if [ ! -f "$VBUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$VBUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DSETUP_BUILD_TESTS=OFF -DSETUP_PAYLOAD_DIR="$VENDOR/files" >/dev/null
fi
echo "bench: the vendor build (packing 64 MB takes a while the first time)" >&2
cmake --build "$VBUILD" -j2 >/dev/null

echo
echo "the install's check of the carried archive against its extraction (host, best of $RUNS):"
for payload in "$ROOT/$product/payload/payload.lzh" "$VBUILD/payload/payload.lzh"; do
  out="$BENCH/extracted"
  extract() { rm -rf "$out" && mkdir -p "$out" && "$LZHX" "$payload" "$out"; }
  T_EXTRACT=$(best_time extract)
  T_CHECK=$(best_time "$LZHX" -c "$payload")
  size=$("$LZHX" -l "$payload" | awk '$1 ~ /^[0-9]+$/ && NF >= 7 { s += $4 } END { print s }')
  printf '  %-52s %6.1f MB: extract %7.3f s, check %7.3f s (+%3.0f%%)\n' \
    "${payload#$ROOT/}" "$(echo "$size / 1048576" | bc -l)" "$T_EXTRACT" "$T_CHECK" \
    "$(echo "100 * $T_CHECK / $T_EXTRACT" | bc -l)"
  rm -rf "$out"
done

echo
echo "the unattended install of the vendor build under Wine against Wine's copy (best of $RUNS):"
export WINEPREFIX="$BENCH/wineprefix" WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
unset DISPLAY
"$ROOT/tools/wine-prefix" >/dev/null
C="$WINEPREFIX/drive_c"
rm -rf "$C/benchsrc" && mkdir -p "$C/benchsrc"
cp "$VENDOR/files/"* "$C/benchsrc/" && cp "$VBUILD/stub/SETUP.EXE" "$C/benchsrc/SETUP.EXE"
install_quietly() { rm -rf "$C/benchdst" && wine "$VBUILD/SETUP.EXE" /S '/D=C:\benchdst'; }
copy_files() { rm -rf "$C/benchcopy" && mkdir -p "$C/benchcopy" && wine cmd /c copy 'C:\benchsrc\*' 'C:\benchcopy' >/dev/null; }
T_SETUP=$(best_time install_quietly)
T_COPY=$(best_time copy_files)
[ "$(ls "$C/benchdst" | wc -l)" = 9 ] || { echo "bench: the unattended install wrote $(ls "$C/benchdst" | wc -l) files" >&2; exit 1; }
printf '  SETUP.EXE /S /D=...  %7.3f s\n  cmd /c copy          %7.3f s\n  ratio                %7.2fx\n' \
  "$T_SETUP" "$T_COPY" "$(echo "$T_SETUP / $T_COPY" | bc -l)"
wine "$C/benchdst/SETUP.EXE" /r /S >/dev/null 2>&1 || true
wineserver -k 2>/dev/null || true
