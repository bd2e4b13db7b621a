#include "ArchivePlatformTestHooks.h"
#include "ExtractArchive.h"
#include "ExtractPayload.h"
#include "StagedFiles.h"
#include "TestArchiveBuilder.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <time.h>

namespace {

int Extract(const Bytes& archive, const std::string& folder) {
    return ExtractArchive(archive.data(), static_cast<long>(archive.size()), folder.c_str());
}

class ExtractArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ResetArchiveFaults(); }
    void TearDown() override { ResetArchiveFaults(); }

    Bytes FileAt(const std::string& name) {
        Bytes content;
        EXPECT_TRUE(ReadWholeFile(folder_ / name, content)) << name;
        return content;
    }
    std::vector<std::string> Entries() { return folder_.Entries(); }
    const std::string& Dest() { return folder_.Path(); }

    ScratchFolder folder_;
};

const Bytes kEnd = {0};

Bytes Url() {
    return ToBytes("[InternetShortcut]\r\nURL=http://www.example.jp/q\r\n\r\n");
}

TEST_F(ExtractArchiveTest, StoredAndDecodedMembersWithTimeStamps) {
    ASSERT_EQ(51u, Url().size());
    MemberLayout stored = StoredMember("quorin.url", Url());
    stored.rawTime = 1234567890u;
    std::vector<Token> tokens;
    for (int i = 0; i < 3000; ++i)
        tokens.push_back(Token::Literal("household account "[i % 18]));
    tokens.push_back(Token::Match(256, 18));
    MemberLayout packed = Lh5Member("QUORIN32.TXT", tokens);
    packed.rawTime = 987654321u;
    MemberLayout undated = StoredMember("TIPS.TXT", ToBytes("tips"), 1);
    undated.rawTime = 0x3DA10000u; // 2010, month 13: the file keeps the time it was written
    Bytes archive = Concat({BuildMember(packed), BuildMember(stored), BuildMember(undated), kEnd});
    time_t before = time(nullptr);
    ASSERT_EQ(0, Extract(archive, Dest()));
    EXPECT_EQ((std::vector<std::string>{"QUORIN32.TXT", "TIPS.TXT", "quorin.url"}), Entries());
    struct stat info; // before reading, which may touch the access time
    ASSERT_EQ(0, stat((folder_ / "TIPS.TXT").c_str(), &info));
    EXPECT_LE(before, info.st_mtime);
    EXPECT_GE(time(nullptr), info.st_mtime);
    ASSERT_EQ(0, stat((folder_ / "quorin.url").c_str(), &info));
    EXPECT_EQ(1234567890, info.st_mtime);
    EXPECT_EQ(1234567890, info.st_atime);
    ASSERT_EQ(0, stat((folder_ / "QUORIN32.TXT").c_str(), &info));
    EXPECT_EQ(987654321, info.st_mtime);
    EXPECT_EQ(Url(), FileAt("quorin.url"));
    EXPECT_EQ(ExpandTokens(tokens), FileAt("QUORIN32.TXT"));
}

TEST_F(ExtractArchiveTest, DestinationWithOrWithoutTrailingSeparator) {
    Bytes archive = Concat({BuildMember(StoredMember("a.txt", ToBytes("A"))), kEnd});
    ASSERT_EQ(0, Extract(archive, Dest() + "/"));
    EXPECT_EQ(ToBytes("A"), FileAt("a.txt"));
}

TEST_F(ExtractArchiveTest, EmptyArchivesAndNamelessMembers) {
    EXPECT_EQ(0, Extract(Bytes(), Dest()));
    EXPECT_EQ(0, Extract(Concat({kEnd, BuildMember(StoredMember("late", ToBytes("x")))}), Dest()));
    MemberLayout nameless = StoredMember("", ToBytes("nothing"));
    nameless.nameExtension = false;
    EXPECT_EQ(0, Extract(Concat({BuildMember(nameless), kEnd}), Dest()));
    EXPECT_TRUE(Entries().empty());
}

TEST_F(ExtractArchiveTest, CrcMismatchDeletesTheFileAndEndsWithCorrupt) {
    MemberLayout good = StoredMember("first.txt", ToBytes("first"));
    MemberLayout badStored = StoredMember("bad.txt", ToBytes("stored"));
    badStored.crc ^= 0x0100;
    MemberLayout after = StoredMember("after.txt", ToBytes("never"));
    EXPECT_EQ(4, Extract(Concat({BuildMember(good), BuildMember(badStored), BuildMember(after), kEnd}),
                         Dest()));
    EXPECT_EQ((std::vector<std::string>{"first.txt"}), Entries());

    MemberLayout badPacked = Lh5Member("packed.txt", {Token::Literal('p'), Token::Match(100, 1)});
    badPacked.crc ^= 1;
    EXPECT_EQ(4, Extract(Concat({BuildMember(badPacked), BuildMember(after), kEnd}), Dest()));
    EXPECT_EQ((std::vector<std::string>{"first.txt"}), Entries());
}

TEST_F(ExtractArchiveTest, ZeroLengthMembersNeedCrcZero) {
    MemberLayout empty = StoredMember("empty.txt", Bytes());
    EXPECT_EQ(0, Extract(Concat({BuildMember(empty), kEnd}), Dest()));
    EXPECT_TRUE(FileAt("empty.txt").empty());
    MemberLayout emptyPacked = StoredMember("empty.lh5", Bytes());
    emptyPacked.method = "-lh5-";
    emptyPacked.data = {0x00, 0x00};
    EXPECT_EQ(0, Extract(Concat({BuildMember(emptyPacked), kEnd}), Dest()));
    emptyPacked.crc = 0x0001;
    emptyPacked.fileName = "bad.lh5";
    EXPECT_EQ(4, Extract(Concat({BuildMember(emptyPacked), kEnd}), Dest()));
    EXPECT_EQ((std::vector<std::string>{"empty.lh5", "empty.txt"}), Entries());
}

TEST_F(ExtractArchiveTest, MethodsWithoutDecoderAreCopiedOrSkipped) {
    MemberLayout copied = StoredMember("copied.lh6", ToBytes("raw bytes of another method"));
    copied.method = "-lh6-";
    MemberLayout skipped = StoredMember("skipped.lz5", ToBytes("short"));
    skipped.method = "-lz5-";
    skipped.originalSize = 6; // packed data smaller than the original: cannot copy
    MemberLayout last = StoredMember("last.txt", ToBytes("still extracted"));
    ASSERT_EQ(0, Extract(Concat({BuildMember(copied), BuildMember(skipped), BuildMember(last), kEnd}),
                         Dest()));
    EXPECT_EQ((std::vector<std::string>{"copied.lh6", "last.txt"}), Entries());
    EXPECT_EQ(ToBytes("raw bytes of another method"), FileAt("copied.lh6"));
}

TEST_F(ExtractArchiveTest, ReadOnlyFileIsReplaced) {
    WriteWholeFile(folder_ / "QUORIN32.HLP", ToBytes("old help file"));
    ASSERT_EQ(0, chmod((folder_ / "QUORIN32.HLP").c_str(), 0444));
    ASSERT_EQ(0, Extract(Concat({BuildMember(StoredMember("QUORIN32.HLP", ToBytes("new"))), kEnd}),
                         Dest()));
    EXPECT_EQ(ToBytes("new"), FileAt("QUORIN32.HLP"));
    struct stat info;
    ASSERT_EQ(0, stat((folder_ / "QUORIN32.HLP").c_str(), &info));
    EXPECT_TRUE(info.st_mode & S_IWUSR); // normal attributes again
}

TEST_F(ExtractArchiveTest, UncreatableFilesEndWithWriteError) {
    Bytes archive = Concat({BuildMember(StoredMember("a.txt", ToBytes("a"))),
                            BuildMember(StoredMember("b.txt", ToBytes("b"))), kEnd});
    EXPECT_EQ(8, Extract(archive, folder_ / "missing-folder"));
    EXPECT_TRUE(Entries().empty());

    MemberLayout inSubfolder = StoredMember("c.txt", ToBytes("c"));
    inSubfolder.directory = "sub\xFF";
    Bytes nested = Concat({BuildMember(inSubfolder), kEnd});
    EXPECT_EQ(8, Extract(nested, Dest())); // folders are not created
    ASSERT_EQ(0, mkdir((folder_ / "sub").c_str(), 0755));
    EXPECT_EQ(0, Extract(nested, Dest()));
    EXPECT_EQ(ToBytes("c"), FileAt("sub/c.txt"));
    inSubfolder.directory = "\xFF\xFFsub\xFF"; // leading separators: still below the destination
    inSubfolder.fileName = "d.txt";
    EXPECT_EQ(0, Extract(Concat({BuildMember(inSubfolder), kEnd}), Dest()));
    EXPECT_EQ(ToBytes("c"), FileAt("sub/d.txt"));
}

TEST_F(ExtractArchiveTest, ShortWritesEndWithWriteError) {
    std::vector<Token> tokens = {Token::Literal('w'), Token::Match(256, 1)};
    for (int i = 0; i < 60; ++i)
        tokens.push_back(Token::Match(256, 1));
    Bytes archive = Concat({BuildMember(StoredMember("ok.txt", ToBytes("fits"))),
                            BuildMember(Lh5Member("big.bin", tokens)),
                            BuildMember(StoredMember("never.txt", ToBytes("n"))), kEnd});
    ArchiveFaults.writeBudget = 4 + 8192; // the second window write comes up short
    EXPECT_EQ(8, Extract(archive, Dest()));
    EXPECT_EQ((std::vector<std::string>{"ok.txt"}), Entries());

    ResetArchiveFaults();
    Bytes stored = Concat({BuildMember(StoredMember("stored.bin", Bytes(30000, 's'))), kEnd});
    ArchiveFaults.writeBudget = 10240 + 5;
    EXPECT_EQ(8, Extract(stored, Dest()));
    EXPECT_EQ((std::vector<std::string>{"ok.txt"}), Entries());
}

TEST_F(ExtractArchiveTest, WindowFailuresEndTheExtraction) {
    Bytes archive = Concat({BuildMember(Lh5Member("one", {Token::Literal('1')})),
                            BuildMember(StoredMember("two", ToBytes("2"))), kEnd});
    ArchiveFaults.failWindowAllocations = 1;
    EXPECT_EQ(5, Extract(archive, Dest()));
    EXPECT_TRUE(Entries().empty());
    ArchiveFaults.failWindowLocks = 1;
    EXPECT_EQ(6, Extract(archive, Dest()));
    EXPECT_TRUE(Entries().empty());
}

struct UnsafeCase {
    const char* what;
    const char* directory;
    const char* fileName;
    int level;
};

class ExtractUnsafe : public ExtractArchiveTest, public ::testing::WithParamInterface<UnsafeCase> {};

TEST_P(ExtractUnsafe, WritesNothingAnywhere) {
    const UnsafeCase& c = GetParam();
    ScratchFolder outer;
    std::string dest = outer / "dest";
    ASSERT_EQ(0, mkdir(dest.c_str(), 0755));
    ASSERT_EQ(0, mkdir((outer / "tmp").c_str(), 0755));
    MemberLayout layout = StoredMember(c.fileName, ToBytes("evil"), c.level);
    layout.directory = c.directory;
    Bytes archive = Concat({BuildMember(StoredMember("fine.txt", ToBytes("ok"))), BuildMember(layout),
                            BuildMember(StoredMember("later.txt", ToBytes("no"))), kEnd});
    EXPECT_EQ(4, Extract(archive, dest)) << c.what;
    EXPECT_EQ((std::vector<std::string>{"fine.txt"}), ScratchFolder::EntriesOf(dest)) << c.what;
    EXPECT_EQ((std::vector<std::string>{"dest", "tmp"}), outer.Entries()) << c.what;
    EXPECT_TRUE(ScratchFolder::EntriesOf(outer / "tmp").empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtractUnsafe,
    ::testing::Values(UnsafeCase{"dot-dot name", "", "../evil1.txt", 0},
                      UnsafeCase{"dot-dot inside", "", "foo\\..\\..\\evil2.txt", 1},
                      UnsafeCase{"dot-dot directory", "..\xFF", "evil.txt", 2},
                      UnsafeCase{"rooted dot-dot directory", "\xFF..\xFF", "evil.txt", 2},
                      UnsafeCase{"absolute name", "", "/tmp/evil.txt", 0},
                      UnsafeCase{"drive", "", "C:evil.txt", 1},
                      UnsafeCase{"device", "", "NUL", 2}));

TEST_F(ExtractArchiveTest, LevelThreeEndsQuietly) {
    Bytes level3 = BuildMember(StoredMember("three", ToBytes("3")));
    level3[20] = 3;
    EXPECT_EQ(0, Extract(Concat({BuildMember(StoredMember("one", ToBytes("1"))), level3,
                                 BuildMember(StoredMember("four", ToBytes("4"))), kEnd}),
                         Dest()));
    EXPECT_EQ((std::vector<std::string>{"one"}), Entries());
}

TEST_F(ExtractArchiveTest, JunkBetweenMembersWithinTheScanBudget) {
    Bytes first = BuildMember(StoredMember("one", ToBytes("1")));
    Bytes second = BuildMember(StoredMember("two", ToBytes("2")));
    // The scan resumes two bytes past the data: on the method of a directly
    // following header, or on junk that the budget has to cover.
    EXPECT_EQ(0, Extract(Concat({first, Bytes(2046, 'j'), second, kEnd}), Dest()));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), Entries());
    ScratchFolder other;
    EXPECT_EQ(0, Extract(Concat({first, Bytes(2048, 'j'), second, kEnd}), other.Path()));
    EXPECT_EQ((std::vector<std::string>{"one"}), other.Entries());
}

TEST_F(ExtractArchiveTest, LongLevelTwoHeadersDoNotHideTheNextMember) {
    MemberLayout big = StoredMember("big-header", ToBytes("payload of a member with a long header"));
    big.extensions = {{0x41, Bytes(300, 0x41)}}; // header of 300+ bytes
    MemberLayout padded = StoredMember("padded", ToBytes("pad"));
    padded.extensions = {{0x41, Bytes(218, 0x41)}};
    padded.padding = 1; // 257 bytes, as archivers write a header that would be 256
    Bytes paddedMember = BuildMember(padded);
    ASSERT_EQ(1, paddedMember[0]);
    ASSERT_EQ(1, paddedMember[1]);
    Bytes archive = Concat({BuildMember(big), paddedMember,
                            BuildMember(StoredMember("tail", ToBytes("t"))), kEnd});
    ASSERT_EQ(0, Extract(archive, Dest()));
    EXPECT_EQ((std::vector<std::string>{"big-header", "padded", "tail"}), Entries());
    EXPECT_EQ(ToBytes("pad"), FileAt("padded"));
}

TEST_F(ExtractArchiveTest, HeaderOfExactly256BytesReadsAsTheEnd) {
    MemberLayout exact = StoredMember("exact", ToBytes("e"));
    exact.extensions = {{0x41, Bytes(256 - 24 - 8 - 3 - 2, 0x00)}};
    Bytes exactMember = BuildMember(exact);
    ASSERT_EQ(0, exactMember[0]); // its first byte is the end marker
    ASSERT_EQ(1, exactMember[1]);
    EXPECT_EQ(0, Extract(Concat({BuildMember(StoredMember("one", ToBytes("1"))), exactMember,
                                 BuildMember(StoredMember("two", ToBytes("2"))), kEnd}),
                         Dest()));
    EXPECT_EQ((std::vector<std::string>{"one"}), Entries());
}

// Every prefix and every single-byte change of a small archive: no crash, a
// result code, and no file left whose content differs from the member's.
TEST_F(ExtractArchiveTest, TruncatedAndFlippedArchivesLeaveOnlyGoodFiles) {
    std::vector<Token> tokens;
    for (int i = 0; i < 200; ++i)
        tokens.push_back(Token::Literal("setup "[i % 6]));
    tokens.push_back(Token::Match(40, 7));
    std::map<std::string, Bytes> expected = {{"A.TXT", ExpandTokens(tokens)},
                                             {"B.URL", ToBytes("stored member")}};
    MemberLayout a = Lh5Member("A.TXT", tokens, 1);
    MemberLayout b = StoredMember("B.URL", expected["B.URL"], 2);
    Bytes archive = Concat({BuildMember(a), BuildMember(b), kEnd});

    auto check = [&](const Bytes& variant, const std::string& label) {
        ScratchFolder out;
        int result = Extract(variant, out.Path());
        EXPECT_TRUE(result == 0 || result == 4 || result == 8) << label << " result " << result;
        for (const std::string& name : out.Entries()) {
            auto it = expected.find(name);
            Bytes content;
            ReadWholeFile(out / name, content);
            if (it == expected.end()) {
                // A renamed member (a changed name byte) must still be a good one.
                bool matches = false;
                for (const auto& e : expected)
                    matches |= e.second == content;
                EXPECT_TRUE(matches) << label << " left " << name;
            } else {
                EXPECT_EQ(it->second, content) << label << " " << name;
            }
        }
    };
    for (size_t cut = 0; cut < archive.size(); ++cut)
        check(Bytes(archive.begin(), archive.begin() + static_cast<long>(cut)),
              "cut " + std::to_string(cut));
    for (size_t at = 0; at < archive.size(); ++at)
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Bytes flipped = archive;
            flipped[at] ^= mask;
            check(flipped, "flip " + std::to_string(at) + "^" + std::to_string(mask));
        }
}

struct Seen {
    std::vector<std::string> lines;
};

void Collect(void* context, const MemberHeader& header, MemberOutcome outcome, int result) {
    static_cast<Seen*>(context)->lines.push_back(std::string(header.fileName) + " " +
                                                 std::to_string(outcome) + " " +
                                                 std::to_string(result));
}

TEST_F(ExtractArchiveTest, TestRunChecksEveryMemberAndWritesNothing) {
    MemberLayout bad = StoredMember("bad", ToBytes("bad"));
    bad.crc ^= 1;
    MemberLayout unsafe = StoredMember("..", ToBytes("x"));
    Bytes archive = Concat({BuildMember(StoredMember("good", ToBytes("good"))), BuildMember(bad),
                            BuildMember(unsafe),
                            BuildMember(Lh5Member("packed", {Token::Literal('p')})), kEnd});
    Seen seen;
    EXPECT_EQ(4, TestArchive(archive.data(), static_cast<long>(archive.size()), Collect, &seen));
    EXPECT_EQ((std::vector<std::string>{"good 0 0", "bad 3 4", ".. 2 4", "packed 0 0"}), seen.lines);
}

// The payload the build carries (build/win32, else the twin's in build/win64).
bool LoadRealPayload(Bytes& payload) {
    for (const char* candidate : {REAL_PAYLOAD_32, REAL_PAYLOAD_64})
        if (ReadWholeFile(candidate, payload))
            return true;
    return false;
}

// Where member index starts in a payload of level-2 headers laid one after another.
size_t MemberStart(const Bytes& archive, int index) {
    size_t at = 0;
    for (int i = 0; i < index; ++i)
        at += (archive[at] | archive[at + 1] << 8) +
              (archive[at + 7] | archive[at + 8] << 8 | archive[at + 9] << 16 |
               static_cast<size_t>(archive[at + 10]) << 24);
    return at;
}

struct DamageCase {
    const char* label;
    void (*damage)(Bytes& archive);
    int result;
    const char* lastReport; // name, outcome and result of the last member reported
};

const DamageCase kDamage[] = {
    {"sound", [](Bytes&) {}, 0, "quorin.url 0 0"},
    {"member 3's level byte is 3", [](Bytes& a) { a[MemberStart(a, 2) + 20] = 3; }, 3, " 4 3"},
    {"member 3's header cut short", [](Bytes& a) { a.resize(MemberStart(a, 2) + 30); }, 4, " 4 4"},
    {"member 1 packed with -lh6-", [](Bytes& a) { a[MemberStart(a, 0) + 5] = '6'; }, 3,
     "QUORIN32.EXE 5 3"},
    {"a byte of member 3's data flipped",
     [](Bytes& a) { a[MemberStart(a, 3) - 100] ^= 0x55; }, 4, "SETUP.EXE 3 4"},
    {"member 5 missing",
     [](Bytes& a) { a.erase(a.begin() + MemberStart(a, 4), a.begin() + MemberStart(a, 5)); }, 4,
     "QUORIN32.TXT 8 4"},
    {"member 4's original size one larger", [](Bytes& a) { ++a[MemberStart(a, 3) + 11]; }, 4,
     "QUORIN32.DLL 3 4"},
    {"the stored member's original size one larger", [](Bytes& a) { ++a[MemberStart(a, 8) + 11]; },
     4, "quorin.url 3 4"},
    {"a byte after the end mark", [](Bytes& a) { a.push_back('x'); }, 4, " 6 4"},
};

// Every kind of damage is found, with the code of its message (3003 or 3004): by the
// check of lzhx -c and the vendor build, and by the install's one pass, which decodes
// each member once into a temporary file; its roll-back leaves the folder of an earlier
// installation as it was, and a sound payload replaces that installation whole.
TEST(PayloadCheck, FindsEveryDamageOfTheRealPayload) {
    Bytes payload;
    if (!LoadRealPayload(payload))
        GTEST_SKIP() << "no payload built yet: " << REAL_PAYLOAD_32;
    const char* const names[] = {"QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT",
                                 "QUORIN32.DLL", "QUORIN32.CNT", "TIPS.TXT",
                                 "SETUP.EXE",    "HISTORY.TXT",  "quorin.url"};
    for (const DamageCase& c : kDamage) {
        Bytes archive = payload;
        c.damage(archive);
        Seen seen;
        EXPECT_EQ(c.result, CheckPayloadArchive(archive.data(), static_cast<long>(archive.size()),
                                                names, 9, Collect, &seen))
            << c.label;
        ASSERT_FALSE(seen.lines.empty()) << c.label;
        EXPECT_EQ(c.lastReport, seen.lines.back()) << c.label;

        ScratchFolder earlier;
        for (const char* name : names)
            WriteWholeFile(earlier / name, ToBytes(std::string("earlier ") + name));
        StagedFiles staged;
        ASSERT_TRUE(staged.Begin(earlier.Path().c_str()));
        Seen staging;
        EXPECT_EQ(c.result, StagePayloadArchive(archive.data(), static_cast<long>(archive.size()),
                                                names, 9, staged, Collect, &staging))
            << c.label;
        EXPECT_EQ(seen.lines, staging.lines) << c.label;
        if (c.result == 0) {
            EXPECT_EQ(-1, staged.PlaceAll());
            staged.Commit();
        } else {
            staged.RollBack(nullptr, nullptr);
        }
        ASSERT_EQ(9u, earlier.Entries().size()) << c.label;
        for (const char* name : names) {
            Bytes now;
            ASSERT_TRUE(ReadWholeFile(earlier / name, now));
            EXPECT_EQ(c.result != 0, now == ToBytes(std::string("earlier ") + name))
                << c.label << ": " << name;
        }
    }
}

// Every input on which the fuzzer once found a fault, as tests/archive/fuzz_extract.cpp
// drives it: the extraction and the test run end with a result code, and nothing is
// written beside the destination. (The sanitizer build sees memory and UB faults.)
TEST(FuzzRegressions, StayFixed) {
    std::vector<std::string> inputs;
    for (const std::string& name : ScratchFolder::EntriesOf(FUZZ_REGRESSIONS_DIR))
        if (name.compare(0, 6, "README") != 0)
            inputs.push_back(name);
    ASSERT_FALSE(inputs.empty()) << FUZZ_REGRESSIONS_DIR;
    for (const std::string& name : inputs) {
        SCOPED_TRACE(name);
        Bytes input;
        ASSERT_TRUE(ReadWholeFile(std::string(FUZZ_REGRESSIONS_DIR) + "/" + name, input));
        ScratchFolder outer;
        ASSERT_EQ(0, mkdir((outer / "out").c_str(), 0755));
        int extracted = Extract(input, outer / "out");
        EXPECT_TRUE(extracted >= 0 && extracted <= 9) << extracted;
        EXPECT_EQ(std::vector<std::string>{"out"}, outer.Entries());
        int tested = TestArchive(input.data(), static_cast<long>(input.size()), nullptr, nullptr);
        EXPECT_TRUE(tested >= 0 && tested <= 9) << tested;
    }
}

} // namespace
