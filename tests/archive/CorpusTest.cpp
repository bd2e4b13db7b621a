// The shared LHA corpus: archives of many archivers. Every header is read as
// the manifest and the recorded header dumps describe it, every "-lh0-" and
// "-lh5-" member decodes to the recorded size and CRC-32, and whole archives
// extract with the expected result.
#include "ArchiveStream.h"
#include "ExtractPayload.h"
#include "LhaDecoder.h"
#include "MemberHeader.h"
#include "TestArchiveBuilder.h"
#include "TestFiles.h"
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <time.h>

namespace {

struct ManifestRow {
    std::string archive;
    int level;
    std::string method;
    std::string path;
    uint32_t originalSize;
    uint32_t compressedSize;
    unsigned crc16;
    std::string crc32;
};

std::map<std::string, std::vector<ManifestRow>> LoadManifest() {
    std::map<std::string, std::vector<ManifestRow>> archives;
    std::ifstream in(std::string(LHA_CORPUS_DIR) + "/MANIFEST.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.compare(0, 8, "archive\t") == 0)
            continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t'))
            f.push_back(field);
        if (f.size() < 10)
            continue;
        // Sizes as the headers' 32 bits hold them; one recorded size is above 4 GB,
        // which unsigned long does not hold at 32 bits.
        ManifestRow row{f[0], std::stoi(f[2]), f[3], f[5],
                        static_cast<uint32_t>(std::stoull(f[6])),
                        static_cast<uint32_t>(std::stoull(f[7])),
                        static_cast<unsigned>(std::stoul(f[8], nullptr, 16)), f[9]};
        archives[row.archive].push_back(row);
    }
    return archives;
}

const std::map<std::string, std::vector<ManifestRow>>& Manifest() {
    static const auto manifest = LoadManifest();
    return manifest;
}

bool LoadArchive(const std::string& name, Bytes& bytes) {
    return ReadWholeFile(std::string(LHA_CORPUS_DIR) + "/" + name, bytes);
}

struct Member {
    int read;
    MemberHeader header;
    int32_t dataOffset;
    int32_t dataEnd;
};

std::vector<Member> ScanMembers(const Bytes& bytes) {
    std::vector<Member> members;
    ArchiveStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    int32_t resume = 0;
    while (FindNextMember(stream, resume)) {
        int32_t start = stream.Tell();
        Member m;
        m.read = ReadMemberHeader(m.header, stream);
        if (m.read != 0) {
            if (m.read != 3)
                members.push_back(m);
            break;
        }
        m.dataOffset = stream.Tell();
        resume = NextMemberPoint(m.header, start);
        m.dataEnd = m.header.level == 2 ? resume - 2 : resume;
        members.push_back(m);
    }
    return members;
}

// Archives whose headers our reader cannot take as the other tools do.
const std::map<std::string, std::string> kHeaderExceptions = {
    {"local-jlha/l2_hdr256_pad.lzh",
     "names of 214-218 bytes exceed the 100-byte extended name: the second header is malformed"},
};

// Too slow for a unit test: 400 MB of zeros behind a wrapped 32-bit size.
const char kHugeArchive[] = "archives/morphos_lha_2717/h2_huge.lzh";

bool ScannedMethod(const std::string& method) {
    return method.size() == 5 && method[0] == '-' && method[1] == 'l' &&
           (method[2] == 'h' || method[2] == 'z') && method[4] == '-';
}

bool Decodable(const ManifestRow& row) {
    return row.level <= 2 && (row.method == "-lh0-" || row.method == "-lh5-");
}

std::string Hex32(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::vector<std::string> ArchiveNames() {
    std::vector<std::string> names;
    for (const auto& entry : Manifest())
        if (entry.second[0].level <= 2)
            names.push_back(entry.first);
    return names;
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST(CorpusManifest, IsThere) { EXPECT_GT(ArchiveNames().size(), 150u); }

TEST_P(Corpus, HeadersMatchTheManifest) {
    const std::vector<ManifestRow>& rows = Manifest().at(GetParam());
    Bytes bytes;
    ASSERT_TRUE(LoadArchive(GetParam(), bytes));
    std::vector<Member> members = ScanMembers(bytes);
    auto exception = kHeaderExceptions.find(GetParam());
    if (exception != kHeaderExceptions.end()) {
        ASSERT_FALSE(members.empty());
        EXPECT_EQ(2, members.back().read) << exception->second;
        return;
    }
    if (!ScannedMethod(rows[0].method)) {
        EXPECT_TRUE(members.empty()) << "the scan knows only -lh?- and -lz?- identifiers";
        return;
    }
    ASSERT_EQ(rows.size(), members.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const MemberHeader& h = members[i].header;
        ASSERT_EQ(0, members[i].read) << i;
        EXPECT_EQ(rows[i].level, h.level) << i;
        EXPECT_EQ(rows[i].method, h.method) << i;
        EXPECT_EQ(rows[i].originalSize, h.originalSize) << i;
        EXPECT_EQ(rows[i].crc16, h.dataCrc) << i;
        EXPECT_EQ(rows[i].compressedSize,
                  static_cast<uint32_t>(members[i].dataEnd - members[i].dataOffset))
            << i << " data size";
    }
}

TEST_P(Corpus, Lh0AndLh5MembersDecodeToTheRecordedBytes) {
    const std::vector<ManifestRow>& rows = Manifest().at(GetParam());
    if (kHeaderExceptions.count(GetParam()))
        return;
    Bytes bytes;
    ASSERT_TRUE(LoadArchive(GetParam(), bytes));
    std::vector<Member> members = ScanMembers(bytes);
    if (!ScannedMethod(rows[0].method) || GetParam() == kHugeArchive)
        return;
    ASSERT_EQ(rows.size(), members.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!Decodable(rows[i]) || rows[i].crc32.empty())
            continue;
        const MemberHeader& h = members[i].header;
        Bytes output;
        if (rows[i].method == "-lh0-") {
            ASSERT_LE(h.originalSize, h.packedSize) << i;
            ASSERT_LE(members[i].dataOffset + static_cast<int64_t>(h.originalSize),
                      static_cast<int64_t>(bytes.size())) << i;
            output.assign(bytes.begin() + members[i].dataOffset,
                          bytes.begin() + members[i].dataOffset + h.originalSize);
            EXPECT_EQ(h.dataCrc, ReferenceCrc16(output)) << i;
        } else {
            ScratchFolder folder;
            ArchiveStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
            stream.Seek(members[i].dataOffset, 0);
            LhaDecoder decoder(stream);
            std::string path = folder / "member";
            ArchiveFile file = ArchiveCreateFile(path.c_str());
            EXPECT_EQ(0, decoder.Decode(file, h.originalSize, h.dataCrc)) << i << " " << h.fileName;
            ArchiveCloseFile(file);
            ReadWholeFile(path, output);
        }
        EXPECT_EQ(rows[i].originalSize, output.size()) << i;
        EXPECT_EQ(rows[i].crc32, Hex32(ReferenceCrc32(output))) << i << " " << rows[i].path;
    }
}

// Whole archives through the extraction loop, with the folders the members
// name created beforehand (extraction creates none). Codes other than 0:
const std::map<std::string, int> kExtractResults = {
    // A level-0 name "\subdir\..." is absolute. (A directory "\subdir\" of a
    // level-1/2 header, as lhmelt, MacLHA and others write, lies below the destination.)
    {"archives/lhmelt_16536/h0_subdir.lzh", 4},
    {"archives/regression/badterm.lzh", 4},      // "\tmp\..."
    {"archives/regression/dotdot.lzh", 4},
    {"archives/regression/symlink2.lzh", 4},     // "etc|..\..\etc"
    {"archives/regression/truncated.lzh", 4},    // data cut off at 3000 bytes
    // Level-0 folder entries ("subdir\") are files that cannot be created.
    {"archives/explzh_723/h0_subdir.lzh", 8},
    {"local-jlha/l0_lh0_dirs.lzh", 8},
    {"local-jlha/l0_lh5_dirs.lzh", 8},
    // An OS/2 extended-attribute entry named like the folder the next member needs.
    {"archives/lh2_222/easubdir.lzh", 8},
    // Symbolic links ("name|target") are no Windows names.
    {"archives/regression/symlink1.lzh", 8},
    {"archives/regression/symlink3.lzh", 8},
    {"archives/lha_unix114i/h0_symlink.lzh", 8},
    {"archives/lha_unix114i/h1_symlink.lzh", 8},
    {"archives/lha_unix114i/h1_symlink2.lzh", 8},
    {"archives/lha_unix114i/h1_symlink3.lzh", 8},
    {"archives/lha_unix114i/h2_symlink.lzh", 8},
    {"archives/lha_unix114i/h2_symlink2.lzh", 8},
    {"archives/lha_unix114i/h2_symlink3.lzh", 8},
};

bool OnlyOurMethods(const std::vector<ManifestRow>& rows) {
    for (const ManifestRow& row : rows)
        if (row.level > 2 || (row.method != "-lh0-" && row.method != "-lh5-" && row.method != "-lhd-"))
            return false;
    return true;
}

// The member's path below the destination, as the host names it.
std::string HostPath(const MemberHeader& header) {
    std::string path = std::string(header.directory) + header.fileName;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

TEST_P(Corpus, ExtractsWithTheExpectedResult) {
    const std::vector<ManifestRow>& rows = Manifest().at(GetParam());
    if (!OnlyOurMethods(rows) || kHeaderExceptions.count(GetParam()) || GetParam() == kHugeArchive)
        return;
    Bytes bytes;
    ASSERT_TRUE(LoadArchive(GetParam(), bytes));
    std::vector<Member> members = ScanMembers(bytes);
    ASSERT_EQ(rows.size(), members.size());
    ScratchFolder folder;
    for (const Member& member : members) {
        std::string path = HostPath(member.header);
        for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            if (slash > 0)
                mkdir((folder / path.substr(0, slash)).c_str(), 0755);
    }
    auto expected = kExtractResults.find(GetParam());
    int code = expected == kExtractResults.end() ? 0 : expected->second;
    ASSERT_EQ(code, ExtractArchive(bytes.data(), static_cast<long>(bytes.size()), folder.Path().c_str()));
    if (code != 0)
        return;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!Decodable(rows[i]))
            continue;
        std::string path = HostPath(members[i].header);
        Bytes content;
        ASSERT_TRUE(ReadWholeFile(folder / path, content)) << path;
        EXPECT_EQ(rows[i].crc32, Hex32(ReferenceCrc32(content))) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, Corpus, ::testing::ValuesIn(ArchiveNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
