#!/usr/bin/env bash
# Throughput of the archive module's decoder against lhasa and 7-Zip, side by
# side in one run: "t" (decode and check, no output files) over one archive of
# about 40 MB of real files (documentation, libraries, programs), written once
# with jlha (level 2, -lh5-) into build/bench/. Best of three runs each. Where
# 32-bit programs run, the decoder also as the product has it: lzhx built -m32. Then the
# install's one pass against the payload check alone, and an unattended install of a
# vendor build side by side with installers of NSIS that do the same work, and with
# Wine's copy (see below).
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
cmake --build "$VBUILD" -j"${JOBS:-2}" >/dev/null

echo
echo "the install's one pass (lzhx -i: decode, write, put in place) against the payload check alone (lzhx -c), host, best of $RUNS:"
for payload in "$ROOT/$product/payload/payload.lzh" "$VBUILD/payload/payload.lzh"; do
  out="$BENCH/installed"
  install_payload() { rm -rf "$out" && mkdir -p "$out" && "$LZHX" -i "$payload" "$out"; }
  T_INSTALL=$(best_time install_payload)
  T_CHECK=$(best_time "$LZHX" -c "$payload")
  size=$("$LZHX" -l "$payload" | awk '$1 ~ /^[0-9]+$/ && NF >= 7 { s += $4 } END { print s }')
  printf '  %-52s %6.1f MB: install %7.3f s, check alone %7.3f s\n' \
    "${payload#$ROOT/}" "$(echo "$size / 1048576" | bc -l)" "$T_INSTALL" "$T_CHECK"
  rm -rf "$out"
done

# ---- The unattended install side by side ------------------------------------------------------
# SETUP.EXE /S of the vendor build; installers that makensis (Debian's nsis) makes of the same
# nine files doing the same work (the files, an uninstaller, an uninstall entry, the document
# type, a group of four shortcuts and one on the desktop), in its default compression (zlib)
# and its strongest (solid LZMA); and Wine's copy of the nine files. One prefix, each kind run
# in turn in every round, best of $RUNS; Wine's menu builder is switched off for all of them.
command -v makensis >/dev/null || { echo "bench: installing nsis" >&2; apt-get install -y nsis >/dev/null; }
NSIS="$BENCH/nsis"
mkdir -p "$NSIS/files"
cp -p "$VENDOR/files/"* "$NSIS/files/" && cp -p "$VBUILD/stub/SETUP.EXE" "$NSIS/files/SETUP.EXE"
cat > "$NSIS/peer.nsi" <<'NSIEOF'
Unicode true
!ifdef SOLID_LZMA
SetCompressor /SOLID lzma
!endif
Name "Quorin"
OutFile "${OUTFILE}"
InstallDir "C:\nsisdst"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "$INSTDIR"
  File "${FILES}/QUORIN32.EXE"
  File "${FILES}/QUORIN32.HLP"
  File "${FILES}/QUORIN32.TXT"
  File "${FILES}/QUORIN32.DLL"
  File "${FILES}/QUORIN32.CNT"
  File "${FILES}/TIPS.TXT"
  File "${FILES}/SETUP.EXE"
  File "${FILES}/HISTORY.TXT"
  File "${FILES}/quorin.url"
  WriteUninstaller "$INSTDIR\uninst.exe"
  CreateDirectory "$SMPROGRAMS\Quorin"
  CreateShortCut "$SMPROGRAMS\Quorin\Quorin.lnk" "$INSTDIR\QUORIN32.EXE"
  CreateShortCut "$SMPROGRAMS\Quorin\Help.lnk" "$INSTDIR\QUORIN32.HLP"
  CreateShortCut "$SMPROGRAMS\Quorin\Guide.lnk" "$INSTDIR\QUORIN32.TXT"
  CreateShortCut "$SMPROGRAMS\Quorin\Home page.lnk" "$INSTDIR\quorin.url"
  CreateShortCut "$DESKTOP\Quorin.lnk" "$INSTDIR\QUORIN32.EXE"
  WriteRegStr HKCR ".QRBN" "" "QuorinNsis.Document"
  WriteRegStr HKCR "QuorinNsis.Document\DefaultIcon" "" "$INSTDIR\QUORIN32.EXE,1"
  WriteRegStr HKCR "QuorinNsis.Document\shell\open\command" "" "$INSTDIR\QUORIN32.EXE /n %1"
  WriteRegExpandStr HKCU "Software\QuorinNsis" "InstallLocation" "$INSTDIR"
  !define ENTRY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorinNsis"
  WriteRegStr HKLM "${ENTRY}" "DisplayName" "Quorin"
  WriteRegStr HKLM "${ENTRY}" "UninstallString" "$INSTDIR\uninst.exe"
  WriteRegExpandStr HKLM "${ENTRY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${ENTRY}" "DisplayIcon" "$INSTDIR\QUORIN32.EXE,0"
  WriteRegDWORD HKLM "${ENTRY}" "NoModify" 1
  WriteRegDWORD HKLM "${ENTRY}" "NoRepair" 1
SectionEnd
Section "Uninstall"
  RMDir /r "$INSTDIR"
SectionEnd
NSIEOF
for kind in zlib lzma; do # made again when the script or one of the files changed
  stale=$([ -s "$NSIS/$kind.exe" ] && cmp -s "$NSIS/peer.nsi" "$NSIS/$kind.nsi" && echo no || echo yes)
  for f in "$NSIS/files/"*; do [ "$f" -nt "$NSIS/$kind.exe" ] && stale=yes; done
  if [ "$stale" = yes ]; then
    echo "bench: makensis ($kind; solid LZMA takes about a minute)" >&2
    extra=(); [ "$kind" = lzma ] && extra=(-DSOLID_LZMA)
    makensis -V1 "${extra[@]}" -DOUTFILE="$NSIS/$kind.exe" -DFILES="$NSIS/files" "$NSIS/peer.nsi" >/dev/null
    cp "$NSIS/peer.nsi" "$NSIS/$kind.nsi"
  fi
done

echo
echo "the unattended install of the vendor build under Wine, side by side (best of $RUNS):"
export WINEPREFIX="$BENCH/wineprefix" WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
"$ROOT/tools/wine-prefix" >/dev/null
C="$WINEPREFIX/drive_c"
rm -rf "$C/benchsrc" && mkdir -p "$C/benchsrc"
cp "$NSIS/files/"* "$C/benchsrc/"
run_setup() { rm -rf "$C/benchdst" && wine "$VBUILD/SETUP.EXE" /S '/D=C:\benchdst'; }
run_zlib() { rm -rf "$C/nsisdst" && wine "$NSIS/zlib.exe" /S '/D=C:\nsisdst'; }
run_lzma() { rm -rf "$C/nsisdst" && wine "$NSIS/lzma.exe" /S '/D=C:\nsisdst'; }
run_copy() { rm -rf "$C/benchcopy" && mkdir -p "$C/benchcopy" && wine cmd /c copy 'C:\benchsrc\*' 'C:\benchcopy' >/dev/null; }
kinds=(setup zlib lzma copy)
declare -A BEST
for _ in $(seq "$RUNS"); do
  for kind in "${kinds[@]}"; do
    t0=$(date +%s.%N)
    "run_$kind" >/dev/null 2>&1 || { echo "bench: $kind failed" >&2; exit 1; }
    t=$(echo "$(date +%s.%N) - $t0" | bc -l)
    if [ -z "${BEST[$kind]:-}" ] || [ "$(echo "$t < ${BEST[$kind]}" | bc -l)" = 1 ]; then BEST[$kind]=$t; fi
  done
done
[ "$(ls "$C/benchdst" | wc -l)" = 9 ] || { echo "bench: the unattended install wrote $(ls "$C/benchdst" | wc -l) files" >&2; exit 1; }
[ "$(ls "$C/nsisdst" | wc -l)" = 10 ] || { echo "bench: the NSIS install wrote $(ls "$C/nsisdst" | wc -l) files" >&2; exit 1; }
label() { case $1 in setup) echo "SETUP.EXE /S /D=...";; zlib) echo "NSIS zlib /S /D=...";;
                     lzma) echo "NSIS solid LZMA /S /D=...";; copy) echo "cmd /c copy";; esac; }
mb() { echo "scale=1; $(stat -c %s "$1") / 1048576" | bc -l; }
for kind in "${kinds[@]}"; do
  printf '  %-26s %7.3f s  %5.2fx SETUP.EXE\n' "$(label "$kind")" "${BEST[$kind]}" \
    "$(echo "${BEST[$kind]} / ${BEST[setup]}" | bc -l)"
done
printf '  installers: SETUP.EXE %s MB, NSIS zlib %s MB, NSIS solid LZMA %s MB\n' \
  "$(mb "$VBUILD/SETUP.EXE")" "$(mb "$NSIS/zlib.exe")" "$(mb "$NSIS/lzma.exe")"
if [ "$(echo "${BEST[setup]} <= ${BEST[zlib]}" | bc -l)" = 1 ]; then
  echo "  goal met: SETUP.EXE /S is no slower than the zlib installer"
else
  echo "  goal missed: SETUP.EXE /S is slower than the zlib installer"
fi
wine "$C/benchdst/SETUP.EXE" /r /S >/dev/null 2>&1 || true
wineserver -k 2>/dev/null || true
