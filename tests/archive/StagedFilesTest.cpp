// Files put into a folder all or nothing, on the host's stand-in platform layer, which
// reports every file made, renamed and deleted, and refuses a chosen rename.
#include "ArchivePlatformTestHooks.h"
#include "StagedFiles.h"
#include "TestFiles.h"
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Trace {
    std::string folder;
    std::vector<std::string> steps;
};

std::string Short(const Trace& trace, const char* path) {
    std::string text = path;
    return text.compare(0, trace.folder.size() + 1, trace.folder + "/") == 0
               ? text.substr(trace.folder.size() + 1)
               : text;
}

void Record(void* context, const char* operation, const char* path, const char* to) {
    Trace& trace = *static_cast<Trace*>(context);
    trace.steps.push_back(std::string(operation) + " " + Short(trace, path) +
                          (to ? " " + Short(trace, to) : ""));
}

void Heard(void* context, const char* path, const char* aside, StagedOutcome outcome) {
    Trace& trace = *static_cast<Trace*>(context);
    static const char* const kOutcomes[] = {"removed", "restored", "not restored"};
    trace.steps.push_back(std::string(kOutcomes[outcome]) + " " + Short(trace, path) +
                          (aside ? " " + Short(trace, aside) : ""));
}

class StagedFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetArchiveFaults();
        trace_.folder = folder_.Path();
        WriteWholeFile(folder_ / "A", ToBytes("earlier A"));
        chmod((folder_ / "A").c_str(), 0444); // read-only
        WriteWholeFile(folder_ / "B", ToBytes("earlier B"));
        ASSERT_TRUE(staged_.Begin(folder_.Path().c_str()));
        for (const char* name : {"A", "B", "C"}) {
            ArchiveFile file = staged_.Create(name);
            ASSERT_NE(kNoArchiveFile, file);
            ASSERT_TRUE(ArchiveWriteBuffer(file, reinterpret_cast<const unsigned char*>(name), 1));
            ArchiveCloseFile(file);
        }
        ArchiveFaults.trace = Record;
        ArchiveFaults.traceContext = &trace_;
    }
    void TearDown() override { ResetArchiveFaults(); }
    std::string Content(const char* name) {
        Bytes bytes;
        return ReadWholeFile(folder_ / name, bytes) ? std::string(bytes.begin(), bytes.end()) : "";
    }

    ScratchFolder folder_;
    StagedFiles staged_;
    Trace trace_;
};

// A rename refused half-way: the roll-back goes from the last file to the first, deletes
// what is new and moves back what was moved aside, read-only file included.
TEST_F(StagedFilesTest, RollBackUndoesEveryStepLastFirst) {
    ArchiveFaults.failMove = 4; // B's new file cannot take its name
    EXPECT_EQ(1, staged_.PlaceAll());
    staged_.RollBack(Heard, &trace_);
    EXPECT_EQ((std::vector<std::string>{
                  "move A ~QS00003.TMP", "move ~QS00000.TMP A", "move B ~QS00004.TMP",
                  "delete ~QS00002.TMP", "delete ~QS00001.TMP", "move ~QS00004.TMP B",
                  "restored B ~QS00004.TMP", "delete A", "removed A", "move ~QS00003.TMP A",
                  "restored A ~QS00003.TMP"}),
              trace_.steps);
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), folder_.Entries());
    EXPECT_EQ("earlier A", Content("A"));
    EXPECT_EQ("earlier B", Content("B"));
    EXPECT_FALSE(staged_.Pending());
}

// Trying again goes on where the refused step stopped; the commit deletes what was
// moved aside.
TEST_F(StagedFilesTest, PlaceAgainThenCommitKeepsOnlyTheNewFiles) {
    ArchiveFaults.failMove = 4;
    ASSERT_FALSE(staged_.Place(0) && staged_.Place(1));
    EXPECT_TRUE(staged_.Place(1));
    EXPECT_EQ(-1, staged_.PlaceAll());
    staged_.Commit();
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), folder_.Entries());
    EXPECT_EQ("AB", Content("A") + Content("B"));
    EXPECT_EQ("delete ~QS00004.TMP", trace_.steps.back());
}

// An earlier file that cannot be moved back is named, and kept where it was moved to.
TEST_F(StagedFilesTest, AFileThatCannotBeMovedBackIsKeptAndNamed) {
    ASSERT_EQ(-1, staged_.PlaceAll());
    trace_.steps.clear();
    ArchiveFaults.failMove = 2; // A's, the second move back
    staged_.RollBack(Heard, &trace_);
    EXPECT_EQ("not restored A ~QS00003.TMP", trace_.steps.back());
    EXPECT_EQ((std::vector<std::string>{"B", "~QS00003.TMP"}), folder_.Entries());
    EXPECT_EQ("earlier A", Content("~QS00003.TMP"));
}

} // namespace
