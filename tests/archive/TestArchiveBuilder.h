// Test-only helpers that craft LHA archives byte by byte: member headers of
// levels 0-2, and "-lh5-" blocks written with explicit code lengths.
#pragma once
#include <stdint.h>
#include <string>
#include <utility>
#include <vector>

typedef std::vector<unsigned char> Bytes;

// Bitwise CRC-16/ARC, independent of the module's table code.
uint16_t ReferenceCrc16(const Bytes& data);
uint32_t ReferenceCrc32(const unsigned char* data, size_t size);
inline uint32_t ReferenceCrc32(const Bytes& data) { return ReferenceCrc32(data.data(), data.size()); }
Bytes ToBytes(const std::string& text);

struct MemberLayout {
    int level = 2;
    std::string method = "-lh0-";
    std::string fileName;          // level 0/1: base header; level 2: extension 0x01
    bool nameExtension = true;     // level 2: write extension 0x01 at all
    std::string directory;         // extension 0x02 (raw bytes, 0xFF separators); none if empty
    bool directoryExtension = false;
    Bytes data;                    // packed data
    uint32_t originalSize = 0;
    uint16_t crc = 0;
    uint32_t rawTime = 0;          // level 2: Unix time; level 0/1: MS-DOS date and time
    std::vector<std::pair<int, Bytes>> extensions; // further extended headers
    int padding = 0;               // level 2: bytes between the chain and the data
    int declaredLengthDelta = 0;   // level 2: added to the header length field
};

Bytes BuildMember(const MemberLayout& layout);
// A stored member with the right size and CRC.
MemberLayout StoredMember(const std::string& name, const Bytes& content, int level = 2);
Bytes Concat(std::initializer_list<Bytes> parts);

class BitWriter {
public:
    void Put(uint32_t value, int count); // most significant bit first
    Bytes Finish() const;                // padded with zero bits to a whole byte
    size_t BitLength() const { return bitCount_; }

private:
    Bytes bytes_;
    size_t bitCount_ = 0;
};

// One "-lh5-" token: a literal byte, or a match of length 3..256 at distance 1..8192.
struct Token {
    int literal;   // -1 for a match
    int length;
    int distance;
    static Token Literal(int c) { return Token{c, 0, 0}; }
    static Token Match(int length, int distance) { return Token{-1, length, distance}; }
};

// Writes one block holding tokens. Codes are canonical over the symbols used;
// with lengths given they are taken as they are (for long codes). A code with
// one symbol is sent in the single-symbol form (count 0).
struct BlockOptions {
    std::vector<int> symbolLengths;   // 510 entries, or empty: derived from the tokens
    std::vector<int> distanceLengths; // 14 entries, or empty
    int blockSize = -1;               // -1: the number of tokens
};
void WriteBlock(BitWriter& writer, const std::vector<Token>& tokens,
                const BlockOptions& options = BlockOptions());
// The tokens' output, as the decoder must produce it.
Bytes ExpandTokens(const std::vector<Token>& tokens);
// A complete "-lh5-" stream of one block, and the member carrying it.
Bytes EncodeTokens(const std::vector<Token>& tokens, const BlockOptions& options = BlockOptions());
MemberLayout Lh5Member(const std::string& name, const std::vector<Token>& tokens, int level = 2);

// Canonical code lengths of a complete code over the symbols marked in used.
std::vector<int> FlatLengths(const std::vector<bool>& used);
