#include "Crc16.h"

namespace {

uint16_t CrcTableEntry(unsigned index) {
    unsigned value = index;
    for (int bit = 0; bit < 8; ++bit)
        value = (value & 1) ? (value >> 1) ^ 0xA001u : value >> 1;
    return static_cast<uint16_t>(value);
}

// Slice k advances a byte through k further zero bytes, so eight input bytes fold
// into one step. Built on first use rather than stored: 4 KB less in the program.
uint16_t crcSlices[8][256];
bool crcSlicesBuilt;

const uint16_t (&CrcSlices())[8][256] {
    if (!crcSlicesBuilt) {
        for (unsigned i = 0; i < 256; ++i)
            crcSlices[0][i] = CrcTableEntry(i);
        for (int k = 1; k < 8; ++k)
            for (unsigned i = 0; i < 256; ++i)
                crcSlices[k][i] = static_cast<uint16_t>((crcSlices[k - 1][i] >> 8) ^
                                                        crcSlices[0][crcSlices[k - 1][i] & 0xFF]);
        crcSlicesBuilt = true;
    }
    return crcSlices;
}

} // namespace

void BuildCrcTable(uint16_t table[256]) {
    for (unsigned i = 0; i < 256; ++i)
        table[i] = CrcTableEntry(i);
}

uint16_t UpdateCrc16(uint16_t crc, const unsigned char* data, size_t count) {
    unsigned value = crc;
    const auto& t = CrcSlices();
    while (count >= 8) {
        unsigned x = value ^ (data[0] | static_cast<unsigned>(data[1]) << 8);
        value = t[7][x & 0xFF] ^ t[6][x >> 8] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^
                t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        count -= 8;
    }
    while (count--)
        value = (value >> 8) ^ t[0][(value ^ *data++) & 0xFF];
    return static_cast<uint16_t>(value);
}
