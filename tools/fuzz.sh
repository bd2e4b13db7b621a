#!/usr/bin/env bash
# Builds the archive fuzzer (clang, libFuzzer + ASan + UBSan) and runs it, in one
# process, for the given number of seconds (default 300), seeded with the archives
# and raw streams of the shared LHA corpus and with our own crash regressions.
# usage: fuzz.sh [SECONDS] [64|32]   (32: the module as the shipped program has it,
#        built with -m32; the build folder is build/fuzz or build/fuzz32)
# Crashes are written to the build folder's artifacts/ and copied into
# tests/archive/data/fuzz-regressions/, which the host tests run through the extraction.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
corpus="$(cd "$ROOT/.." && pwd)/shared/lha-corpus"
SECONDS_TO_RUN="${1:-300}"
BITS="${2:-64}"
ARCHIVE="$ROOT/Setup/ShareArchive/archive"
REGRESSIONS="$ROOT/tests/archive/data/fuzz-regressions"
case "$BITS" in
  64) OUT="$ROOT/build/fuzz"; WORD=() ;;
  32) OUT="$ROOT/build/fuzz32"; WORD=(-m32)
      "$ROOT/tools/runs-i386" || { echo "fuzz.sh: this machine cannot run 32-bit programs" >&2; exit 1; } ;;
  *) echo "fuzz.sh: word size $BITS: 64 or 32" >&2; exit 2 ;;
esac
mkdir -p "$OUT/obj" "$OUT/corpus" "$OUT/artifacts"

# clang knows no execution character set but UTF-8; the module's narrow literals are ASCII.
FLAGS=("${WORD[@]}" -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fexec-charset=UTF-8 -Wall -Wextra -Werror -fno-exceptions -fno-rtti -I"$ARCHIVE")
SOURCES=(ArchiveStream.cpp Crc16.cpp ExtractArchive.cpp LhaDecoder.cpp MemberHeader.cpp
         MemberPath.cpp StagedFiles.cpp ArchivePlatformPosix.cpp)
newest_header=$(ls -t "$ARCHIVE"/*.h | head -1)
objects=()
for s in "${SOURCES[@]}"; do
  o="$OUT/obj/${s%.cpp}.o"
  if [ ! -e "$o" ] || [ "$ARCHIVE/$s" -nt "$o" ] || [ "$newest_header" -nt "$o" ]; then
    clang++ "${FLAGS[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$ARCHIVE/$s" -o "$o"
  fi
  objects+=("$o")
done
clang++ "${FLAGS[@]}" "$ROOT/tests/archive/fuzz_extract.cpp" "${objects[@]}" -o "$OUT/fuzz_extract"

# Seeds: every archive and raw stream of the shared corpus below 1 MiB (find rounds
# sizes up to its unit, so "-size -1M" would match only empty files), named by
# content since many archives share a file name; and our own crash regressions.
if [ -z "$(ls -A "$OUT/corpus")" ]; then
  find "$corpus"/archives "$corpus"/local-jlha "$corpus"/compressed -type f ! -name 'README*' \
       -size -1024k -print0 2>/dev/null |
    while IFS= read -r -d '' seed; do
      cp "$seed" "$OUT/corpus/$(sha1sum < "$seed" | cut -c1-40)"
    done
  echo "fuzz.sh: seeded $(ls "$OUT/corpus" | wc -l) inputs from $corpus" >&2
fi
find "$REGRESSIONS" -type f ! -name 'README*' -exec cp {} "$OUT/corpus/" \; 2>/dev/null || true

status=0
(cd "$OUT" && ./fuzz_extract -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
     -max_len=65536 -artifact_prefix="$OUT/artifacts/" -print_final_stats=1 corpus) || status=$?

# Keep what was found, so that the host tests hold it fixed.
for found in "$OUT"/artifacts/crash-* "$OUT"/artifacts/leak-* "$OUT"/artifacts/timeout-* "$OUT"/artifacts/oom-*; do
  [ -e "$found" ] || continue
  mkdir -p "$REGRESSIONS"
  if [ ! -e "$REGRESSIONS/$(basename "$found")" ]; then
    cp "$found" "$REGRESSIONS/"
    echo "fuzz.sh: kept $(basename "$found") in tests/archive/data/fuzz-regressions/" >&2
  fi
done
exit $status
