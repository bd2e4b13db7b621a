#include "LhaDecoder.h"
#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include "Crc16.h"
#include <string.h>

// The member loop's steps are inlined into it even where the program is built for size
// (a call per step costs more than the code it saves); the other callers share one copy.
#define DECODER_STEP inline __attribute__((always_inline))

namespace {

const int kCorrupt = kArchiveCorrupt;

// A table entry: a symbol with the length of its code above it, so that the lookup
// needs no second read; or, for a code longer than the table, the tree node where it
// goes on (length 0). Nodes are numbered below kNodes, which fits the value's bits.
const int kEntryLengthShift = 10;
const unsigned kEntryValue = (1u << kEntryLengthShift) - 1;
static_assert(LhaDecoder::kNodes <= (1 << kEntryLengthShift), "a node fits an entry");

const int kWordBits = 8 * static_cast<int>(sizeof(LhaBitWord));
// Bits in view after a refill while input is left.
const int kRefilled = kWordBits - 8;
// Below this many bits, the member loop refills before a symbol: on a 64-bit word once
// for the longest symbol, distance and extra bits (44 bits); on a 32-bit word for the
// symbol alone, and again before the distance and before its extra bits.
const int kSymbolRoom = kWordBits == 64 ? 48 : 16;
// Below this many bits, the reads outside the member loop refill (each takes at most 16).
const int kKeep = kWordBits == 64 ? 32 : 16;

DECODER_STEP LhaBitWord LoadBigEndianWord(const unsigned char* p) {
    LhaBitWord value;
    memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (sizeof value == 8)
        value = static_cast<LhaBitWord>(__builtin_bswap64(value));
    else
        value = static_cast<LhaBitWord>(__builtin_bswap32(static_cast<uint32_t>(value)));
#endif
    return value;
}

// Tops the buffer up to at least kRefilled bits while input is left; below them lies
// the zero fill.
DECODER_STEP void RefillStep(LhaBitReader& r) {
    if (r.end - r.next >= static_cast<int>(sizeof(LhaBitWord))) {
        // Bits below bitCount receive the same input again: OR keeps them.
        r.bitBuffer |= LoadBigEndianWord(r.next) >> r.bitCount;
        r.next += (kWordBits - 1 - r.bitCount) >> 3;
        r.bitCount |= kRefilled;
        return;
    }
    while (r.bitCount <= kRefilled && r.next < r.end) {
        r.bitBuffer |= static_cast<LhaBitWord>(*r.next++) << (kRefilled - r.bitCount);
        r.bitCount += 8;
    }
}

DECODER_STEP unsigned Peek(const LhaBitReader& r, int count) {
    return count == 0 ? 0 : static_cast<unsigned>(r.bitBuffer >> (kWordBits - count));
}

// One consumption step. The input is not limited to the member: bits are taken
// as long as the stream has bytes. Consuming a bit past its end means the data
// is cut off or corrupt (Exhausted); the zero fill merely in view (the 16-bit
// look-ahead) harms nothing, so a member whose last code ends in the last byte is
// sound.
DECODER_STEP void Take(LhaBitReader& r, int count) {
    r.bitBuffer <<= count;
    r.bitCount -= count;
}

// A code longer than its table: the rest of its path through the tree from the bits in
// view. The symbol, or -1 when the tree leads nowhere, which only damaged data does. Rare
// enough to stay out of the member loop, which keeps its bit reader in registers.
int LongCodeSymbol(LhaBitWord bits, unsigned j, int tableBits, unsigned symbolCount,
                   const uint8_t* lengths, const uint16_t* left, const uint16_t* right) {
    LhaBitWord path = bits << tableBits;
    for (int step = 0; j >= symbolCount; ++step) {
        if (step == LhaDecoder::kLongestCode - tableBits || j >= LhaDecoder::kNodes)
            return -1;
        j = (path >> (kWordBits - 1)) ? right[j] : left[j];
        path <<= 1;
    }
    return lengths[j] < tableBits ? -1 : static_cast<int>(j);
}

// A code of a table of tableBits and its tree, consumed whole: the symbol, or -1.
DECODER_STEP int ReadCode(LhaBitReader& r, const uint16_t* table, int tableBits,
                          unsigned symbolCount, const uint8_t* lengths, const uint16_t* left,
                          const uint16_t* right) {
    const unsigned entry = table[r.bitBuffer >> (kWordBits - tableBits)];
    unsigned j = entry & kEntryValue;
    if (j >= symbolCount) {
        const int symbol = LongCodeSymbol(r.bitBuffer, j, tableBits, symbolCount, lengths, left, right);
        if (symbol < 0)
            return -1;
        Take(r, lengths[symbol]);
        return symbol;
    }
    Take(r, static_cast<int>(entry >> kEntryLengthShift));
    return static_cast<int>(j);
}

// Symbol code: a 12-bit table, and a tree for the few longer codes.
DECODER_STEP int ReadSymbolCodeStep(LhaBitReader& r, const uint16_t* table,
                                    const uint8_t* lengths, const uint16_t* left,
                                    const uint16_t* right) {
    return ReadCode(r, table, LhaDecoder::kSymbolTableBits, LhaDecoder::kSymbols, lengths, left,
                    right);
}

// An auxiliary code (code-length code or distance code): an 8-bit table and a tree.
DECODER_STEP int ReadAuxCode(LhaBitReader& r, const uint16_t* table, const uint8_t* lengths,
                             const uint16_t* left, const uint16_t* right, unsigned symbolCount) {
    return ReadCode(r, table, LhaDecoder::kAuxTableBits, symbolCount, lengths, left, right);
}

// Distance minus one, from a distance-code symbol and its extra bits.
DECODER_STEP int ReadDistanceStep(LhaBitReader& r, const uint16_t* table,
                                  const uint8_t* lengths, const uint16_t* left,
                                  const uint16_t* right, unsigned symbolCount) {
    if (kWordBits < 64 && r.bitCount < 16)
        RefillStep(r);
    int j = ReadAuxCode(r, table, lengths, left, right, symbolCount);
    if (j <= 0)
        return j;
    int extraBits = j - 1;
    if (kWordBits < 64 && r.bitCount < extraBits)
        RefillStep(r);
    unsigned extra = Peek(r, extraBits);
    Take(r, extraBits);
    return static_cast<int>((1u << extraBits) + extra);
}

// The copies the block headers and the single-step calls share.
void Refill(LhaBitReader& r) { RefillStep(r); }

int ReadSymbolCode(LhaBitReader& r, const uint16_t* table, const uint8_t* lengths,
                   const uint16_t* left, const uint16_t* right) {
    return ReadSymbolCodeStep(r, table, lengths, left, right);
}

int ReadDistance(LhaBitReader& r, const uint16_t* table, const uint8_t* lengths,
                 const uint16_t* left, const uint16_t* right, unsigned symbolCount) {
    return ReadDistanceStep(r, table, lengths, left, right, symbolCount);
}

// Repeats length bytes from src at dst inside the window (no wrap). Source and
// destination may overlap: the copy then repeats the bytes it has just written.
DECODER_STEP void CopyMatch(unsigned char* dst, const unsigned char* src, unsigned length) {
    if (src > dst || dst - src >= 8) {
        while (length >= 8) {
            uint64_t chunk;
            memcpy(&chunk, src, 8);
            memcpy(dst, &chunk, 8);
            dst += 8;
            src += 8;
            length -= 8;
        }
        while (length--)
            *dst++ = *src++;
    } else if (dst - src == 1) {
        memset(dst, *src, length);
    } else {
        while (length--)
            *dst++ = *src++;
    }
}

} // namespace

LhaDecoder::LhaDecoder(ArchiveStream& input)
    : status(0), stream(input), bits(), inputAvailable(0), left(), right(), symbolLengths(),
      auxLengths(), symbolTable(), auxTable(), blockRemaining(0), window(nullptr), produced(0),
      dictionaryBits(13), windowPosition(0), lengthBias(253), windowSize(0), windowMask(0),
      distanceSymbols(14), distanceCountBits(4) {}

unsigned LhaDecoder::PeekBits(int count) const { return Peek(bits, count); }

void LhaDecoder::FillBits(int count) {
    Take(bits, count);
    if (bits.Exhausted())
        status = kCorrupt;
    if (bits.bitCount < kKeep)
        Refill(bits);
}

void LhaDecoder::StartBits() {
    inputAvailable = stream.Available();
    bits.bitBuffer = 0;
    bits.bitCount = 0;
    bits.next = stream.current;
    bits.end = stream.current + inputAvailable;
    Refill(bits);
    blockRemaining = 0;
}

// Leaves the stream where a byte-at-a-time reader with a 16-bit view would
// stand: past every byte taken into that view, and at end of data once the view
// reached past the input.
void LhaDecoder::ReturnUnusedInput() {
    const int64_t kView = 16;
    int64_t unviewed = bits.Slack() - kView; // input bits beyond the view
    int64_t taken = unviewed < 0 ? inputAvailable : inputAvailable - unviewed / 8;
    stream.Seek(static_cast<int32_t>(taken), 1);
    if (unviewed < 0)
        stream.status = kStreamEndOfData;
}

void LhaDecoder::BuildDecodeTable(int symbolCount, const uint8_t* lengths, int tableBits,
                                  uint16_t* table) {
    uint32_t count[kLongestCode + 1] = {};
    uint32_t weight[kLongestCode + 2];
    uint32_t start[kLongestCode + 2];
    for (int s = 0; s < symbolCount; ++s) {
        if (lengths[s] > kLongestCode) {
            status = kCorrupt;
            return;
        }
        ++count[lengths[s]];
    }
    start[1] = 0;
    for (int l = 1; l <= kLongestCode; ++l) {
        weight[l] = 1u << (kLongestCode - l);
        start[l + 1] = start[l] + weight[l] * count[l];
    }
    if (start[kLongestCode + 1] == 0) {
        // No code at all: the table is left as it is, and its symbols now take no bits.
        for (uint32_t k = 0; k < 1u << tableBits; ++k)
            table[k] &= kEntryValue;
        return;
    }
    if (start[kLongestCode + 1] != 1u << kLongestCode) {
        status = kCorrupt; // incomplete or over-full
        return;
    }
    const int shift = kLongestCode - tableBits;
    for (int l = 1; l <= tableBits; ++l) {
        start[l] >>= shift;
        weight[l] >>= shift;
    }
    const uint32_t tableSize = 1u << tableBits;
    uint32_t firstLong = start[tableBits + 1] >> shift;
    if (firstLong != 0 && firstLong < tableSize)
        memset(table + firstLong, 0, (tableSize - firstLong) * sizeof table[0]);

    const uint32_t branchBit = 1u << (kLongestCode - 1 - tableBits);
    unsigned avail = static_cast<unsigned>(symbolCount);
    for (int s = 0; s < symbolCount; ++s) {
        int l = lengths[s];
        if (l == 0)
            continue;
        if (l <= tableBits) {
            for (uint32_t k = start[l]; k < start[l] + weight[l]; ++k)
                table[k] = static_cast<uint16_t>(s | l << kEntryLengthShift);
        } else {
            uint32_t code = start[l];
            uint16_t* slot = &table[code >> shift];
            for (int step = l - tableBits; step > 0; --step) {
                if (*slot == 0) {
                    if (avail >= static_cast<unsigned>(kNodes)) {
                        status = kCorrupt;
                        return;
                    }
                    left[avail] = 0;
                    right[avail] = 0;
                    *slot = static_cast<uint16_t>(avail++);
                }
                slot = (code & branchBit) ? &right[*slot] : &left[*slot];
                code <<= 1;
            }
            *slot = static_cast<uint16_t>(s);
        }
        start[l] += weight[l];
    }
}

void LhaDecoder::ReadAuxLengths(int count, int countBits, int specialIndex) {
    int n = static_cast<int>(PeekBits(countBits));
    FillBits(countBits);
    if (n == 0) {
        int constant = static_cast<int>(PeekBits(countBits));
        FillBits(countBits);
        if (constant >= count) {
            status = kCorrupt;
            return;
        }
        memset(auxLengths, 0, static_cast<size_t>(count));
        for (uint16_t& entry : auxTable)
            entry = static_cast<uint16_t>(constant);
        return;
    }
    if (n > count) {
        status = kCorrupt;
        return;
    }
    int i = 0;
    while (i < n) {
        int c = static_cast<int>(PeekBits(3));
        if (c == 7) {
            // Lengths of 7 and more continue in unary: one more per 1 bit.
            for (int bit = kWordBits - 4; bit >= kWordBits - 16 && ((bits.bitBuffer >> bit) & 1);
                 --bit)
                ++c;
            if (c > kLongestCode) {
                status = kCorrupt;
                return;
            }
            FillBits(c - 3);
        } else {
            FillBits(3);
        }
        auxLengths[i++] = static_cast<uint8_t>(c);
        if (i == specialIndex) {
            int zeros = static_cast<int>(PeekBits(2));
            FillBits(2);
            while (zeros-- > 0 && i < count)
                auxLengths[i++] = 0;
        }
    }
    while (i < count)
        auxLengths[i++] = 0;
    BuildDecodeTable(count, auxLengths, kAuxTableBits, auxTable);
}

void LhaDecoder::ReadSymbolLengths() {
    int n = static_cast<int>(PeekBits(9));
    FillBits(9);
    if (n == 0) {
        int constant = static_cast<int>(PeekBits(9));
        FillBits(9);
        if (constant >= kSymbols) {
            status = kCorrupt;
            return;
        }
        memset(symbolLengths, 0, sizeof symbolLengths);
        for (uint16_t& entry : symbolTable)
            entry = static_cast<uint16_t>(constant);
        return;
    }
    if (n > kSymbols) {
        status = kCorrupt;
        return;
    }
    int i = 0;
    while (i < n && status == 0) {
        int c = ReadAuxCode(bits, auxTable, auxLengths, left, right, kCodeLengthSymbols);
        if (bits.Exhausted() || c < 0) {
            status = kCorrupt;
            return;
        }
        if (bits.bitCount < kKeep)
            Refill(bits);
        int zeros = 0;
        if (c == 0) {
            zeros = 1;
        } else if (c == 1) {
            zeros = static_cast<int>(PeekBits(4)) + 3;
            FillBits(4);
        } else if (c == 2) {
            zeros = static_cast<int>(PeekBits(9)) + 20;
            FillBits(9);
        } else {
            symbolLengths[i++] = static_cast<uint8_t>(c - 2);
            continue;
        }
        if (i + zeros > kSymbols) {
            status = kCorrupt;
            return;
        }
        memset(symbolLengths + i, 0, static_cast<size_t>(zeros));
        i += zeros;
    }
    if (status != 0)
        return;
    memset(symbolLengths + i, 0, static_cast<size_t>(kSymbols - i));
    BuildDecodeTable(kSymbols, symbolLengths, kSymbolTableBits, symbolTable);
}

// Reads outside the member loop take at most 16 bits each; every FillBits leaves
// at least kKeep in the buffer, and the header starts with a refill of its own: the
// loop's refill covers only the token it precedes, and a block's last token can
// leave fewer than the 16 bits of the block size.
void LhaDecoder::ReadBlockHeader() {
    if (bits.bitCount < kKeep)
        Refill(bits);
    blockRemaining = static_cast<uint16_t>(PeekBits(16));
    FillBits(16);
    if (blockRemaining == 0)
        status = kCorrupt;
    if (status == 0)
        ReadAuxLengths(kCodeLengthSymbols, 5, 3);
    if (status == 0)
        ReadSymbolLengths();
    if (status == 0)
        ReadAuxLengths(distanceSymbols, distanceCountBits, -1);
}

int LhaDecoder::DecodeSymbol() {
    if (blockRemaining == 0) {
        ReadBlockHeader();
        if (status != 0)
            return 0;
    }
    --blockRemaining;
    if (bits.bitCount < kSymbolRoom)
        Refill(bits);
    int c = ReadSymbolCode(bits, symbolTable, symbolLengths, left, right);
    if (c < 0 || bits.Exhausted()) {
        status = kCorrupt;
        return 0;
    }
    return c;
}

int LhaDecoder::DecodePosition() {
    if (bits.bitCount < kSymbolRoom)
        Refill(bits);
    int d = ReadDistance(bits, auxTable, auxLengths, left, right,
                         static_cast<unsigned>(distanceSymbols));
    if (d < 0 || bits.Exhausted()) {
        status = kCorrupt;
        return 0;
    }
    return d;
}

bool LhaDecoder::FlushWindow(ArchiveFile outputFile, uint32_t count, uint16_t& crc) {
    crc = UpdateCrc16(crc, window, count);
    if (outputFile != kNoArchiveFile && !ArchiveWriteWindow(outputFile, window, count)) {
        status = kArchiveWriteError;
        return false;
    }
    return true;
}

// The member's main loop, on a local copy of the bit reader so that it stays in
// registers. The refills before a symbol (and, on a 32-bit word, before a distance and
// its extra bits; kSymbolRoom) cover every step without a check per consumption step.
void LhaDecoder::DecodeMember(ArchiveFile outputFile, uint32_t originalSize, uint16_t& crc) {
    LhaBitReader r = bits;
    unsigned char* const win = window;
    const uint32_t size = static_cast<uint32_t>(windowSize);
    const uint32_t mask = static_cast<uint32_t>(windowMask);
    const unsigned distanceCount = static_cast<unsigned>(distanceSymbols);
    const int bias = lengthBias;
    uint32_t pos = 0;
    uint32_t missing = originalSize;
    unsigned blockLeft = blockRemaining;

    while (!r.Exhausted()) {
        if (blockLeft == 0) {
            bits = r;
            ReadBlockHeader();
            r = bits;
            if (status != 0)
                break;
            blockLeft = blockRemaining;
        }
        --blockLeft;
        if (r.bitCount < kSymbolRoom)
            RefillStep(r);
        int c = ReadSymbolCodeStep(r, symbolTable, symbolLengths, left, right);
        if (c < 0) {
            status = kCorrupt;
            break;
        }
        if (c < 256) {
            win[pos] = static_cast<unsigned char>(c);
            if (++pos == size) {
                if (!FlushWindow(outputFile, size, crc))
                    break;
                pos = 0;
            }
            if (--missing == 0)
                break;
            continue;
        }
        uint32_t length = static_cast<uint32_t>(c - bias);
        int d = ReadDistanceStep(r, auxTable, auxLengths, left, right, distanceCount);
        if (d < 0) {
            status = kCorrupt;
            break;
        }
        if (length > missing)
            length = missing;
        missing -= length;
        uint32_t src = (pos - static_cast<uint32_t>(d) - 1) & mask;
        if (pos + length < size && src + length <= size) {
            CopyMatch(win + pos, win + src, length);
            pos += length;
        } else {
            bool written = true;
            for (uint32_t k = 0; k < length; ++k) {
                win[pos] = win[(src + k) & mask];
                if (++pos == size) {
                    if (!(written = FlushWindow(outputFile, size, crc)))
                        break;
                    pos = 0;
                }
            }
            if (!written)
                break;
        }
        if (missing == 0)
            break;
    }
    if (r.Exhausted() && status == 0)
        status = kCorrupt;
    bits = r;
    blockRemaining = static_cast<uint16_t>(blockLeft);
    windowPosition = static_cast<int32_t>(pos);
    produced = originalSize - missing;
}

int LhaDecoder::Decode(ArchiveFile outputFile, uint32_t originalSize, uint16_t expectedCrc) {
    windowSize = 1 << dictionaryBits;
    windowMask = windowSize - 1;
    ArchiveMemory memory;
    int allocation = ArchiveAllocateWindow(memory, static_cast<size_t>(windowSize));
    if (allocation != kArchiveOk)
        return allocation;
    window = memory.data;
    // Matches that reach before the first byte copy spaces.
    memset(window, ' ', static_cast<size_t>(windowSize));
    StartBits();
    windowPosition = 0;
    produced = 0;
    uint16_t crc = 0;
    if (originalSize > 0)
        DecodeMember(outputFile, originalSize, crc);
    if (status == 0 && windowPosition > 0)
        FlushWindow(outputFile, static_cast<uint32_t>(windowPosition), crc);
    ArchiveFreeWindow(memory);
    window = nullptr;
    ReturnUnusedInput();
    if (status != 0)
        return status;
    return crc == expectedCrc ? kArchiveOk : kCorrupt;
}
