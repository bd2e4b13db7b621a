#include "Crc16.h"
#include "TestArchiveBuilder.h"
#include <gtest/gtest.h>

namespace {

TEST(Crc16, ClassicTableEntries) {
    uint16_t table[256];
    BuildCrcTable(table);
    EXPECT_EQ(0x0000, table[0]);
    EXPECT_EQ(0xC0C1, table[1]);
    EXPECT_EQ(0xC181, table[2]);
    EXPECT_EQ(0x4040, table[255]);
}

TEST(Crc16, CheckValueOfCrc16Arc) {
    const unsigned char text[] = "123456789";
    EXPECT_EQ(0xBB3D, UpdateCrc16(0, text, 9));
}

TEST(Crc16, EverySplitAndLengthMatchesTheBitwiseCrc) {
    Bytes data;
    uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        data.push_back(static_cast<unsigned char>(seed >> 16));
    }
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 300u}) {
        Bytes part(data.begin(), data.begin() + static_cast<long>(length));
        uint16_t expected = ReferenceCrc16(part);
        EXPECT_EQ(expected, UpdateCrc16(0, part.data(), length)) << length;
        for (size_t split = 0; split <= length; split += 3) {
            uint16_t crc = UpdateCrc16(0, part.data(), split);
            EXPECT_EQ(expected, UpdateCrc16(crc, part.data() + split, length - split))
                << length << " split " << split;
        }
    }
}

} // namespace
