#!/usr/bin/env bash
# Builds the archive fuzzer (clang, libFuzzer + ASan + UBSan) into build/fuzz and
# runs it for the given number of seconds (default 300), seeded with the LHA corpus.
# Crashes are written to build/fuzz/artifacts/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
corpus="$(cd "$ROOT/.." && pwd)/shared/lha-corpus"
SECONDS_TO_RUN="${1:-300}"
OUT="$ROOT/build/fuzz"
ARCHIVE="$ROOT/Setup/ShareArchive/archive"
mkdir -p "$OUT/obj" "$OUT/corpus" "$OUT/artifacts"

# clang knows no execution character set but UTF-8; the module's narrow literals are ASCII.
FLAGS=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fexec-charset=UTF-8 -Wall -Wextra -Werror -fno-exceptions -fno-rtti -I"$ARCHIVE")
SOURCES=(ArchiveStream.cpp Crc16.cpp ExtractArchive.cpp LhaDecoder.cpp MemberHeader.cpp
         MemberPath.cpp ArchivePlatformPosix.cpp)
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

# Seeds: every archive and raw stream of the shared corpus, plus our own crash regressions.
if [ -z "$(ls -A "$OUT/corpus")" ]; then
  find "$corpus"/archives "$corpus"/local-jlha \
       "$corpus"/compressed -type f ! -name 'README*' -size -1M \
       -exec cp {} "$OUT/corpus/" \; 2>/dev/null || true
fi
if [ -d "$ROOT/tests/archive/data/fuzz-regressions" ]; then
  cp "$ROOT"/tests/archive/data/fuzz-regressions/* "$OUT/corpus/" 2>/dev/null || true
fi

cd "$OUT"
exec ./fuzz_extract -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
     -max_len=65536 -artifact_prefix="$OUT/artifacts/" -print_final_stats=1 corpus
