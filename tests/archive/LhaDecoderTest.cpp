#include "ArchivePlatformTestHooks.h"
#include "ArchiveResult.h"
#include "ArchiveStream.h"
#include "LhaDecoder.h"
#include "TestArchiveBuilder.h"
#include "TestFiles.h"
#include <gtest/gtest.h>

namespace {

struct Decoded {
    int result;
    Bytes output;
    int32_t streamStatus;
};

// Decodes input as one member into a scratch file and reads the file back.
Decoded RunDecoder(const Bytes& input, uint32_t originalSize, uint16_t crc) {
    ScratchFolder folder;
    std::string path = folder / "out";
    ArchiveStream stream(input.data(), static_cast<int32_t>(input.size()));
    LhaDecoder decoder(stream);
    ArchiveFile file = ArchiveCreateFile(path.c_str());
    Decoded decoded;
    decoded.result = decoder.Decode(file, originalSize, crc);
    ArchiveCloseFile(file);
    ReadWholeFile(path, decoded.output);
    decoded.streamStatus = stream.status;
    return decoded;
}

Decoded RunTokens(const std::vector<Token>& tokens, const BlockOptions& options = BlockOptions()) {
    Bytes expected = ExpandTokens(tokens);
    return RunDecoder(EncodeTokens(tokens, options), static_cast<uint32_t>(expected.size()),
                      ReferenceCrc16(expected));
}

std::vector<Token> Literals(const std::string& text) {
    std::vector<Token> tokens;
    for (unsigned char c : text)
        tokens.push_back(Token::Literal(c));
    return tokens;
}

std::vector<Token> PseudoRandomLiterals(size_t count, uint32_t seed) {
    std::vector<Token> tokens;
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        tokens.push_back(Token::Literal(static_cast<int>((seed >> 16) & 0xFF)));
    }
    return tokens;
}

class LhaDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetArchiveFaults(); }
    void TearDown() override { ResetArchiveFaults(); }
};

TEST_F(LhaDecoderTest, LiteralsAndMatches) {
    std::vector<Token> tokens = Literals("abcab");
    tokens.push_back(Token::Match(6, 3));     // overlapping: "cabcab"
    tokens.push_back(Token::Match(4, 11));    // "abca"
    tokens.push_back(Token::Literal('!'));
    Decoded d = RunTokens(tokens);
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(ToBytes("abcabcabcababca!"), d.output);
}

TEST_F(LhaDecoderTest, MatchBeforeTheFirstByteCopiesSpaces) {
    std::vector<Token> tokens = {Token::Match(5, 100), Token::Literal('a'), Token::Match(3, 8192)};
    Decoded d = RunTokens(tokens);
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(ToBytes("     a   "), d.output);
}

TEST_F(LhaDecoderTest, LongestMatchAtDistanceOneRepeatsTheLastByte) {
    Decoded d = RunTokens({Token::Literal('x'), Token::Match(256, 1), Token::Literal('y')});
    EXPECT_EQ(0, d.result);
    Bytes expected(257, 'x');
    expected.push_back('y');
    EXPECT_EQ(expected, d.output);
}

TEST_F(LhaDecoderTest, OutputsOfWholeWindowsAndMatchesAcrossTheWindowEnd) {
    for (size_t windows : {1u, 2u, 3u}) {
        std::vector<Token> tokens = PseudoRandomLiterals(8000, static_cast<uint32_t>(windows));
        tokens.push_back(Token::Match(100, 8000)); // crosses the end of the first window
        tokens.push_back(Token::Match(60, 8192));
        while (ExpandTokens(tokens).size() < windows * 8192) {
            size_t missing = windows * 8192 - ExpandTokens(tokens).size();
            if (missing >= 3)
                tokens.push_back(Token::Match(missing > 256 ? 256 : static_cast<int>(missing),
                                              static_cast<int>(1 + missing % 8000)));
            else
                tokens.push_back(Token::Literal('.'));
        }
        Bytes expected = ExpandTokens(tokens);
        ASSERT_EQ(windows * 8192, expected.size());
        Decoded d = RunTokens(tokens);
        EXPECT_EQ(0, d.result) << windows;
        EXPECT_EQ(expected, d.output) << windows; // no window written twice or left out
    }
}

TEST_F(LhaDecoderTest, LastMatchIsCutToTheOriginalSize) {
    Bytes input = EncodeTokens({Token::Literal('a'), Token::Match(10, 1)});
    Decoded d = RunDecoder(input, 5, ReferenceCrc16(ToBytes("aaaaa")));
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(ToBytes("aaaaa"), d.output);
}

TEST_F(LhaDecoderTest, SingleSymbolCodesTakeNoBitsPerSymbol) {
    std::vector<Token> tokens(40, Token::Match(256, 1)); // spaces from the initial window
    Bytes input = EncodeTokens(tokens);
    EXPECT_EQ(7u, input.size()); // block size, three single-symbol forms, nothing per symbol
    Decoded d = RunTokens(tokens);
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(Bytes(40 * 256, ' '), d.output);

    ArchiveStream stream(input.data(), static_cast<int32_t>(input.size()));
    LhaDecoder decoder(stream);
    decoder.StartBits();
    EXPECT_EQ(509, decoder.DecodeSymbol());
    int64_t slack = decoder.bits.Slack();
    EXPECT_EQ(509, decoder.DecodeSymbol());
    EXPECT_EQ(0, decoder.DecodePosition());
    EXPECT_EQ(slack, decoder.bits.Slack());
    EXPECT_EQ(0, decoder.status);
}

TEST_F(LhaDecoderTest, CodesLongerThanTheTables) {
    std::vector<int> symbolLengths(510, 0);
    for (int i = 0; i < 15; ++i)
        symbolLengths[static_cast<size_t>('a' + i)] = i + 1;
    symbolLengths['p'] = 16;
    symbolLengths[509] = 16; // the longest match shares the deepest level
    std::vector<int> distanceLengths(14, 0);
    for (int j = 0; j < 12; ++j)
        distanceLengths[static_cast<size_t>(j)] = j + 1;
    distanceLengths[12] = 13;
    distanceLengths[13] = 13;
    std::vector<Token> tokens = Literals("abcdefghijklmnopponmlkjihgfedcba");
    for (int j = 0; j < 14; ++j) {
        tokens.push_back(Token::Literal('o'));
        tokens.push_back(Token::Match(256, j == 0 ? 1 : (1 << (j - 1)) + 1));
    }
    BlockOptions options;
    options.symbolLengths = symbolLengths;
    options.distanceLengths = distanceLengths;
    Decoded d = RunTokens(tokens, options);
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(ExpandTokens(tokens), d.output);
}

TEST_F(LhaDecoderTest, ManyBlocks) {
    BitWriter w;
    std::vector<Token> first = PseudoRandomLiterals(3000, 7);
    std::vector<Token> second = {Token::Match(256, 2999), Token::Literal('z')};
    WriteBlock(w, first);
    WriteBlock(w, second);
    std::vector<Token> all = first;
    all.insert(all.end(), second.begin(), second.end());
    Bytes expected = ExpandTokens(all);
    Decoded d = RunDecoder(w.Finish(), static_cast<uint32_t>(expected.size()),
                           ReferenceCrc16(expected));
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(expected, d.output);
}

// The longest token (16-bit symbol code, 13-bit distance code, 12 extra bits)
// as a block's last one leaves the fewest bits for the next block header. One-bit
// literals in front move it across every byte and refill position.
TEST_F(LhaDecoderTest, ABlockEndingInTheLongestTokenLeavesTheNextHeaderWhole) {
    BlockOptions longest;
    longest.symbolLengths.assign(510, 0);
    for (int i = 0; i < 15; ++i)
        longest.symbolLengths[static_cast<size_t>('a' + i)] = i + 1;
    longest.symbolLengths['p'] = 16;
    longest.symbolLengths[509] = 16; // match length 256
    longest.distanceLengths.assign(14, 0);
    for (int j = 0; j < 12; ++j)
        longest.distanceLengths[static_cast<size_t>(j)] = j + 1;
    longest.distanceLengths[12] = 13;
    longest.distanceLengths[13] = 13; // distances 4097..8192
    // A long second block is read through the 64-bit loads, a short one byte by byte.
    std::vector<Token> longSecond = PseudoRandomLiterals(300, 11);
    longSecond.push_back(Token::Match(200, 6000));
    for (int variant = 0; variant < 2 * 72; ++variant) {
        const std::vector<Token> second =
            variant < 72 ? longSecond : std::vector<Token>{Token::Literal('z')};
        std::vector<Token> first = Literals("bcdefghijklmno");
        first.insert(first.end(), static_cast<size_t>(variant % 72), Token::Literal('a'));
        first.push_back(Token::Match(256, 8192 - variant % 72));
        BitWriter w;
        WriteBlock(w, first, longest);
        WriteBlock(w, second);
        std::vector<Token> all = first;
        all.insert(all.end(), second.begin(), second.end());
        Bytes expected = ExpandTokens(all);
        Decoded d = RunDecoder(w.Finish(), static_cast<uint32_t>(expected.size()),
                               ReferenceCrc16(expected));
        EXPECT_EQ(0, d.result) << "variant " << variant;
        EXPECT_EQ(expected, d.output) << "variant " << variant;
    }
}

TEST_F(LhaDecoderTest, ZeroLengthMemberSucceedsOnlyWithCrcZero) {
    Bytes input = {0x12, 0x34, 0x56};
    EXPECT_EQ(0, RunDecoder(input, 0, 0).result);
    EXPECT_EQ(4, RunDecoder(input, 0, 0x1234).result);
    EXPECT_EQ(0, RunDecoder(Bytes(), 0, 0).result); // nothing past the header at all
    EXPECT_TRUE(RunDecoder(input, 0, 0).output.empty());
}

TEST_F(LhaDecoderTest, CrcMismatchIsCorrupt) {
    Bytes input = EncodeTokens(Literals("hello"));
    Decoded d = RunDecoder(input, 5, static_cast<uint16_t>(ReferenceCrc16(ToBytes("hello")) ^ 1));
    EXPECT_EQ(4, d.result);
}

TEST_F(LhaDecoderTest, LastCodeInTheLastByteIsNotCutOff) {
    // Two one-bit literal codes: the stream ends with the member's last code.
    std::vector<Token> tokens = Literals(std::string(8 * 20, 'a') + "b");
    Bytes input = EncodeTokens(tokens);
    Bytes expected = ExpandTokens(tokens);
    Decoded whole = RunDecoder(input, static_cast<uint32_t>(expected.size()), ReferenceCrc16(expected));
    EXPECT_EQ(0, whole.result);
    EXPECT_EQ(kStreamEndOfData, whole.streamStatus); // the 16-bit view ran past the input
    Bytes cut(input.begin(), input.end() - 1);
    EXPECT_EQ(4, RunDecoder(cut, static_cast<uint32_t>(expected.size()), ReferenceCrc16(expected)).result);

    Bytes followed = Concat({input, Bytes(2, 0)});
    EXPECT_EQ(0, RunDecoder(followed, static_cast<uint32_t>(expected.size()),
                            ReferenceCrc16(expected)).streamStatus);
}

TEST_F(LhaDecoderTest, TruncatedStreamsAreCorrupt) {
    std::vector<Token> tokens = PseudoRandomLiterals(500, 3);
    tokens.push_back(Token::Match(100, 250));
    Bytes input = EncodeTokens(tokens);
    Bytes expected = ExpandTokens(tokens);
    for (size_t keep = 0; keep + 1 < input.size(); ++keep) {
        Bytes part(input.begin(), input.begin() + static_cast<long>(keep));
        Decoded d = RunDecoder(part, static_cast<uint32_t>(expected.size()), ReferenceCrc16(expected));
        EXPECT_EQ(4, d.result) << "kept " << keep;
    }
}

// Block headers built field by field: a valid one, and variants with one field
// beyond what the format can carry.
struct HeaderFields {
    unsigned blockSize = 2;
    unsigned codeLengthCount = 4;            // code-length code: four symbols of length 2
    std::vector<int> codeLengths = {2, 2, 2, 2};
    unsigned symbolCount = 2;                // two literals, one bit each (code-length symbol 3)
    std::vector<unsigned> symbolCodes = {3, 3};
    unsigned zeroRun = 0;                    // extra: a 9-bit run written after the lengths
    bool writeZeroRun = false;
    unsigned distanceCount = 0;
    unsigned distanceConstant = 0;
    int codeLengthConstant = -1;             // >= 0: code-length code in single-symbol form
    int symbolConstant = -1;
};

Bytes WriteHeader(const HeaderFields& f) {
    BitWriter w;
    w.Put(f.blockSize, 16);
    if (f.codeLengthConstant >= 0) {
        w.Put(0, 5);
        w.Put(static_cast<uint32_t>(f.codeLengthConstant), 5);
    } else {
        w.Put(f.codeLengthCount, 5);
        for (size_t i = 0; i < f.codeLengths.size(); ++i) {
            int length = f.codeLengths[i];
            if (length < 7) {
                w.Put(static_cast<uint32_t>(length), 3);
            } else {
                w.Put(7, 3);
                for (int k = 7; k < length; ++k)
                    w.Put(1, 1);
                w.Put(0, 1);
            }
            if (i == 2)
                w.Put(0, 2);
        }
    }
    if (f.symbolConstant >= 0) {
        w.Put(0, 9);
        w.Put(static_cast<uint32_t>(f.symbolConstant), 9);
    } else {
        w.Put(f.symbolCount, 9);
        for (unsigned code : f.symbolCodes)
            w.Put(code, 2); // code-length symbols 0..3 are 00, 01, 10, 11
        if (f.writeZeroRun) {
            w.Put(2, 2);
            w.Put(f.zeroRun, 9);
        }
    }
    w.Put(f.distanceCount, 4);
    if (f.distanceCount == 0)
        w.Put(f.distanceConstant, 4);
    w.Put(0x5, 3); // literals 1, 0, 1
    w.Put(0, 16);
    return w.Finish();
}

struct CorruptCase {
    const char* what;
    HeaderFields fields;
};

HeaderFields With(void (*change)(HeaderFields&)) {
    HeaderFields f;
    change(f);
    return f;
}

class LhaDecoderCorrupt : public ::testing::TestWithParam<CorruptCase> {};

TEST(LhaDecoderHeader, TheValidBaseDecodes) {
    Bytes expected = {1, 0};
    Decoded d = RunDecoder(WriteHeader(HeaderFields()), 2, ReferenceCrc16(expected));
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(expected, d.output);
}

TEST_P(LhaDecoderCorrupt, IsReportedAsCorruptData) {
    const CorruptCase& c = GetParam();
    Decoded d = RunDecoder(WriteHeader(c.fields), 2, ReferenceCrc16(Bytes{1, 0}));
    EXPECT_EQ(4, d.result) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    BeyondTheFormat, LhaDecoderCorrupt,
    ::testing::Values(
        CorruptCase{"block size 0", With([](HeaderFields& f) { f.blockSize = 0; })},
        CorruptCase{"code-length count 20 of 19",
                    With([](HeaderFields& f) { f.codeLengthCount = 20; })},
        CorruptCase{"code length 17", With([](HeaderFields& f) {
                        f.codeLengths = {1, 17, 2};
                        f.codeLengthCount = 3;
                    })},
        CorruptCase{"incomplete code-length code", With([](HeaderFields& f) {
                        f.codeLengths = {2, 2, 2, 3};
                    })},
        CorruptCase{"over-full code-length code", With([](HeaderFields& f) {
                        f.codeLengths = {1, 1, 1, 1};
                    })},
        CorruptCase{"code-length constant 19",
                    With([](HeaderFields& f) { f.codeLengthConstant = 19; })},
        CorruptCase{"symbol count 511", With([](HeaderFields& f) { f.symbolCount = 511; })},
        CorruptCase{"symbol constant 510", With([](HeaderFields& f) { f.symbolConstant = 510; })},
        CorruptCase{"zero run past 510 entries", With([](HeaderFields& f) {
                        f.symbolCount = 510;
                        f.writeZeroRun = true;
                        f.zeroRun = 489; // 2 + 509 zeros
                    })},
        CorruptCase{"over-full symbol code", With([](HeaderFields& f) {
                        f.symbolCount = 3;
                        f.symbolCodes = {3, 3, 3};
                    })},
        CorruptCase{"distance count 15 of 14",
                    With([](HeaderFields& f) { f.distanceCount = 15; })},
        CorruptCase{"distance constant 14",
                    With([](HeaderFields& f) { f.distanceConstant = 14; })}));

TEST_F(LhaDecoderTest, ZeroRunThatFillsExactly510EntriesIsFine) {
    HeaderFields f;
    f.symbolCount = 510;
    f.writeZeroRun = true;
    f.zeroRun = 488; // 2 lengths + 508 zeros = 510
    Bytes expected = {1, 0};
    EXPECT_EQ(0, RunDecoder(WriteHeader(f), 2, ReferenceCrc16(expected)).result);
}

TEST_F(LhaDecoderTest, WindowFailuresAndShortWrites) {
    Bytes input = EncodeTokens({Token::Literal('q'), Token::Match(256, 1)});
    uint16_t crc = ReferenceCrc16(Bytes(257, 'q'));
    ArchiveFaults.failWindowAllocations = 1;
    EXPECT_EQ(5, RunDecoder(input, 257, crc).result);
    ArchiveFaults.failWindowLocks = 1;
    EXPECT_EQ(6, RunDecoder(input, 257, crc).result);
    ArchiveFaults.writeBudget = 256;
    EXPECT_EQ(8, RunDecoder(input, 257, crc).result);
    ArchiveFaults.writeBudget = 257;
    EXPECT_EQ(0, RunDecoder(input, 257, crc).result);
}

TEST_F(LhaDecoderTest, WithoutFileTheOutputIsOnlyChecked) {
    Bytes input = EncodeTokens(Literals("check"));
    ArchiveStream stream(input.data(), static_cast<int32_t>(input.size()));
    LhaDecoder decoder(stream);
    EXPECT_EQ(0, decoder.Decode(kNoArchiveFile, 5, ReferenceCrc16(ToBytes("check"))));
    EXPECT_EQ(5u, decoder.produced);
}

} // namespace
