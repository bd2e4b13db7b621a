// Decoder of the LHA method "-lh5-": LZSS over an 8 KB window, with literals,
// match lengths and distances coded by static Huffman codes sent per block.
#pragma once
#include "ArchivePlatform.h"
#include <stdint.h>

class ArchiveStream;

// The bit buffer is a machine word: 64 bits where the registers hold them, 32 bits
// in the 32-bit program, where every 64-bit shift costs several instructions.
typedef uintptr_t LhaBitWord;

// Bit input in the order of the format: most significant bit first. The buffer
// always shows at least 16 bits to the table lookups; past the end of the input it
// is filled with zero bits.
struct LhaBitReader {
    LhaBitWord bitBuffer;
    // Bits of bitBuffer that hold input. Below zero once a code took bits past the end
    // of the input (the zero fill), which makes the data corrupt: while input is left,
    // every refill brings it to a byte short of the word and more, and no step takes
    // more than that.
    int32_t bitCount;
    const unsigned char* next;
    const unsigned char* end;

    bool Exhausted() const { return bitCount < 0; }
    // Input bits not yet consumed (below zero: taken past the end).
    int64_t Slack() const { return bitCount + 8 * static_cast<int64_t>(end - next); }
};

class LhaDecoder final {
public:
    static const int kSymbols = 510;        // 256 literals and 254 match lengths
    static const int kNodes = 2 * kSymbols - 1;
    static const int kCodeLengthSymbols = 19;
    static const int kSymbolTableBits = 12;
    static const int kAuxTableBits = 8;
    static const int kLongestCode = 16;

    explicit LhaDecoder(ArchiveStream& input);

    // 0 success; 4 corrupt data or CRC mismatch; 5 window not allocated; 6 window
    // not locked; 8 the output file did not take every byte. With kNoArchiveFile
    // the output is checked but not written.
    virtual int Decode(ArchiveFile outputFile, uint32_t originalSize, uint16_t expectedCrc);
    virtual int DecodeSymbol();   // 0..509, reading a block header first when due
    virtual int DecodePosition(); // match distance minus one, 0..8191
    virtual void StartBits();

    int32_t status;
    ArchiveStream& stream;
    LhaBitReader bits;
    int32_t inputAvailable; // stream bytes after the member's data start
    uint16_t left[kNodes];
    uint16_t right[kNodes];
    uint8_t symbolLengths[kSymbols];
    uint8_t auxLengths[128];
    uint16_t symbolTable[1 << kSymbolTableBits];
    uint16_t auxTable[1 << kAuxTableBits];
    uint16_t blockRemaining;
    unsigned char* window;
    uint32_t produced;
    int32_t dictionaryBits;
    int32_t windowPosition;
    int32_t lengthBias;
    int32_t windowSize;
    int32_t windowMask;
    int32_t distanceSymbols;
    int32_t distanceCountBits;

private:
    unsigned PeekBits(int count) const;
    void FillBits(int count);
    void ReadAuxLengths(int count, int countBits, int specialIndex);
    void ReadSymbolLengths();
    void BuildDecodeTable(int symbolCount, const uint8_t* lengths, int tableBits, uint16_t* table);
    void ReadBlockHeader();
    void DecodeMember(ArchiveFile outputFile, uint32_t originalSize, uint16_t& crc);
    bool FlushWindow(ArchiveFile outputFile, uint32_t count, uint16_t& crc);
    void ReturnUnusedInput();
};
