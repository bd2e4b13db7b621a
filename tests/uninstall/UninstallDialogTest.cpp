// The uninstall dialog on DLG_MASTER, run modally on this thread and driven from a
// second one; message boxes are answered by a CBT hook; real files in a temp folder.
#include <gtest/gtest.h>

#include "support/HeldFile.h"
#include "support/WineBench.h"
#include "shell/SetupState.h"
#include "uninstall/Uninstall.h"

#include <algorithm>
#include <atomic>
#include <string.h>
#include <string>
#include <vector>

namespace {

using bench::BoxRecord;
using bench::ControlState;

enum {
    Next = 1,
    Cancel = 2,
    Input = 1000,
    InputLabel = 1001,
    Icon = 1002,
    RestartText = 1003,
    RestartWarning = 1004,
    Headline = 1005,
    Instruction = 1006,
    Help = 1007,
    Back = 1008,
    Status = 1009,
    Browse = 1010,
    Check = 1011
};

const char* const StartHeadline = "「くおりん」をアンインストールします。";
const char* const StartInstruction = "「くおりん」で使用したファイルが削除されます。\n必要なデータ"
                                     "のバックアップ後に行なってください。";

std::string LoadText(UINT id) {
    char text[1024] = "";
    LoadStringA(AppInstance, id, text, sizeof text);
    return text;
}

void MakeFiles(const bench::TempFolder& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        bench::WriteFileBytes(folder / name, name);
}

// What the dialog showed once the deletion had run, and how it ended.
struct Removal {
    INT_PTR result = 0;
    bool finished = false; // the finish page was reached
    ControlState headline, instruction, next, cancel, status;
    std::vector<BoxRecord> boxes;
};

class UninstallDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ResetSetupState();
        strcpy(InstallDir, folder.path().c_str());
    }

    // Presses "実行", answers the boxes in order (onBox runs while each is open), waits
    // for the finish page, reads it and ends the dialog with `endAction`.
    Removal RunRemoval(
        std::vector<int> answers, std::function<void(const BoxRecord&, size_t)> onBox = {},
        std::function<void(HWND)> endAction = [](HWND d) { bench::Click(d, Next); }) {
        Removal removal;
        bench::MessageBoxHook hook(std::move(answers));
        size_t index = 0;
        hook.OnBox([&](const BoxRecord& box) {
            if (onBox)
                onBox(box, index);
            ++index;
        });
        removal.result =
            bench::RunDialog(AppInstance, "DLG_MASTER", UninstallDialogProc, [&](HWND d) {
                bench::Click(d, Next);
                removal.finished =
                    bench::WaitUntil([&] { return bench::Control(d, Next).text == "終了"; }, 30000);
                removal.headline = bench::Control(d, Headline);
                removal.instruction = bench::Control(d, Instruction);
                removal.next = bench::Control(d, Next);
                removal.cancel = bench::Control(d, Cancel);
                removal.status = bench::Control(d, Status);
                endAction(d);
            });
        removal.boxes = hook.boxes();
        return removal;
    }

    bench::TempFolder folder{"uninst"};
};

TEST_F(UninstallDialogTest, StartPageShowsTheRemovalTextsAndHidesTheWizardControls) {
    struct Expected {
        int id;
        bool visible;
    };
    const Expected expected[] = {
        {Input, false}, {InputLabel, false},  {Browse, false},         {Help, false},
        {Back, false},  {RestartText, false}, {RestartWarning, false}, {Check, false},
        {Icon, true},   {Headline, true},     {Instruction, true},     {Status, true},
        {Cancel, true}, {Next, true},
    };
    std::string title;
    std::vector<ControlState> controls;
    HWND dialog = nullptr;
    const INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", UninstallDialogProc, [&](HWND d) {
            dialog = d;
            title = bench::WindowText(d);
            for (const Expected& e : expected)
                controls.push_back(bench::Control(d, e.id));
            bench::Command(d, Cancel);
        });
    EXPECT_EQ(2, result);
    EXPECT_EQ(dialog, MainWindow);
    EXPECT_EQ(RemoveCaption, title);
    ASSERT_EQ(14u, controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(expected[i].visible, controls[i].visible) << "control " << expected[i].id;
    }
    EXPECT_EQ(StartHeadline, controls[9].text);
    EXPECT_EQ(StartInstruction, controls[10].text);
    EXPECT_EQ("削除ﾌｫﾙﾀﾞ " + folder.path(), controls[11].text);
    EXPECT_EQ("実行", controls[13].text);
    EXPECT_TRUE(controls[13].enabled);
    EXPECT_EQ(0, UninstallStep);
    EXPECT_EQ(0, UninstallBusy);
}

TEST_F(UninstallDialogTest, NoAtTheConfirmationLeavesEverythingInPlace) {
    const std::vector<std::string> names = {"QUORIN32.EXE", "TIPS.TXT", "MYDATA.QRB"};
    MakeFiles(folder, names);
    // Answered from the script thread once the box is complete (the default button is
    // set only after the box has been activated, too late for a CBT hook to see it).
    BoxRecord confirm;
    ControlState next, cancel, headline;
    int step = -1;
    HWND dialog = nullptr;
    const INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", UninstallDialogProc, [&](HWND d) {
            dialog = d;
            bench::Click(d, Next);
            HWND box = bench::WaitForMessageBox(GetCurrentProcessId(), 20000);
            ASSERT_NE(nullptr, box);
            ASSERT_TRUE(bench::WaitUntil(
                [&] { return bench::ReadMessageBox(box).defaultButton != 0; }, 5000));
            confirm = bench::ReadMessageBox(box);
            bench::AnswerMessageBox(box, IDNO);
            ASSERT_TRUE(bench::WaitUntil([&] { return !IsWindow(box); }, 20000));
            // The box is gone: the dialog reads the next message only after the step returned.
            next = bench::Control(d, Next);
            cancel = bench::Control(d, Cancel);
            headline = bench::Control(d, Headline);
            step = UninstallStep;
            bench::Click(d, Cancel);
        });
    EXPECT_EQ(2, result);
    EXPECT_EQ(LoadText(17), confirm.caption);
    EXPECT_EQ(LoadText(16), confirm.text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), confirm.Style());
    EXPECT_EQ(dialog, confirm.owner);
    EXPECT_EQ(names.size(), bench::ListFolder(folder.path()).size());
    EXPECT_EQ("実行", next.text);
    EXPECT_TRUE(next.enabled);
    EXPECT_TRUE(cancel.visible);
    EXPECT_EQ(StartHeadline, headline.text);
    EXPECT_EQ(0, step);
}

// Every name of the rule, in the case given; what must stay; a sub-folder not entered.
std::string Lower(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            text[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

void CheckDeletionTable(bool lowerCase, const std::function<Removal(std::vector<int>)>& run,
                        const bench::TempFolder& folder) {
    std::vector<std::string> removed = {
        "QUORIN32.EXE", "QUORIN32.HLP", "QUORIN32.TXT", "QUORIN32.DLL", "QUORIN32.CNT",
        "$UORIN32.EXE", "QUORTRAL.EXE", "QUORIN.URL",   "$UORIN",       "DATA.QRO",
        "表.QRO",       "$ETUP.EXE",    "HOLIDAY.TXT",  "TIPS.TXT",     "$IPS.TXT",
        "HISTRY.TXT",   "HISTORY.TXT",  "$ISTRY.TXT",   "UNSETMV.EXE",  "STD_MINI.EXE",
        "VIEW.KEY",     "CALC.KEY"};
    std::vector<std::string> kept = {"SETUP.EXE",  "MYDATA.QRB", "家計.QRB", "QUORIN32.EXE.BAK",
                                     "README.TXT", "QRO",        "SUB"};
    if (lowerCase) {
        for (auto* list : {&removed, &kept}) {
            for (std::string& name : *list)
                name = Lower(name);
        }
    }
    MakeFiles(folder, removed);
    for (const std::string& name : kept) {
        if (name != "SUB" && name != "sub")
            bench::WriteFileBytes(folder / name, name);
    }
    const std::string sub = folder / kept.back();
    CreateDirectoryA(sub.c_str(), nullptr);
    bench::WriteFileBytes(sub + "\\QUORIN32.EXE", "inside");

    const Removal removal = run({IDYES});
    EXPECT_TRUE(removal.finished);
    EXPECT_EQ(1, removal.result);
    EXPECT_EQ(1u, removal.boxes.size()); // the confirmation only
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, bench::ListFolder(folder.path()));
    EXPECT_TRUE(bench::FileExists(sub + "\\QUORIN32.EXE"));
    EXPECT_EQ(LoadText(7), removal.headline.text);
    EXPECT_EQ("", removal.instruction.text);
    EXPECT_EQ("", removal.status.text);
    EXPECT_TRUE(removal.next.enabled);
    EXPECT_FALSE(removal.cancel.visible);
}

TEST_F(UninstallDialogTest, DeletesEveryListedNameInUpperCaseAndKeepsTheRest) {
    CheckDeletionTable(
        false, [&](std::vector<int> a) { return RunRemoval(a); }, folder);
    EXPECT_EQ(1, UninstallStep);
    EXPECT_EQ(0, UninstallBusy);
}

TEST_F(UninstallDialogTest, DeletesEveryListedNameInLowerCaseAndKeepsTheRest) {
    CheckDeletionTable(
        true, [&](std::vector<int> a) { return RunRemoval(a); }, folder);
}

TEST_F(UninstallDialogTest, HeldFileIsOfferedForRetryUntilItCanBeDeleted) {
    MakeFiles(folder, {"QUORIN32.EXE", "TIPS.TXT", "MYDATA.QRB"});
    bench::HeldFile held(folder / "QUORIN32.EXE");
    ASSERT_TRUE(held.held());
    std::vector<std::string> statusWhileAsked;
    int busyWhileAsked = -1;
    const Removal removal =
        RunRemoval({IDYES, IDRETRY, IDRETRY}, [&](const BoxRecord& box, size_t index) {
            if (index == 0)
                return;
            statusWhileAsked.push_back(bench::Control(box.owner, Status).text);
            busyWhileAsked = UninstallBusy;
            if (index == 2)
                held.Release(); // the second retry finds the file free
        });
    ASSERT_EQ(3u, removal.boxes.size());
    for (size_t i = 1; i < 3; ++i) {
        const BoxRecord& box = removal.boxes[i];
        EXPECT_EQ(RemoveCaption, box.caption);
        EXPECT_EQ(LoadText(13), box.text);
        EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL), box.Style()); // no icon
        EXPECT_EQ(removal.boxes[0].owner, box.owner);
        EXPECT_EQ((folder / "QUORIN32.EXE") + "を削除中...", statusWhileAsked[i - 1]);
    }
    EXPECT_EQ(1, busyWhileAsked);
    EXPECT_EQ(std::vector<std::string>{"MYDATA.QRB"}, bench::ListFolder(folder.path()));
    EXPECT_EQ(LoadText(7), removal.headline.text);
    EXPECT_EQ(1, removal.result);
}

TEST_F(UninstallDialogTest, CancelGivesTheHeldFileUpAndTheOutcomeIsIncomplete) {
    MakeFiles(folder, {"QUORIN32.EXE", "QUORIN32.HLP", "TIPS.TXT", "MYDATA.QRB"});
    bench::HeldFile held(folder / "QUORIN32.HLP");
    ASSERT_TRUE(held.held());
    const Removal removal = RunRemoval({IDYES, IDCANCEL});
    ASSERT_EQ(2u, removal.boxes.size());
    EXPECT_EQ(LoadText(13), removal.boxes[1].text);
    const std::vector<std::string> expected = {"MYDATA.QRB", "QUORIN32.HLP"};
    EXPECT_EQ(expected, bench::ListFolder(folder.path())); // the walk went on after it
    EXPECT_EQ(LoadText(6), removal.headline.text);
    EXPECT_EQ("終了", removal.next.text);
    EXPECT_EQ(1, removal.result);
}

TEST_F(UninstallDialogTest, AFolderWithNoneOfTheFilesEndsIncomplete) {
    MakeFiles(folder, {"SETUP.EXE", "MYDATA.QRB"});
    const Removal removal = RunRemoval({IDYES});
    EXPECT_TRUE(removal.finished);
    EXPECT_EQ(LoadText(6), removal.headline.text);
    EXPECT_EQ(2u, bench::ListFolder(folder.path()).size());
}

TEST_F(UninstallDialogTest, AMissingInstallFolderEndsIncompleteWithoutAnyOtherBox) {
    strcpy(InstallDir, (folder / "missing").c_str());
    const Removal removal = RunRemoval({IDYES});
    EXPECT_TRUE(removal.finished);
    EXPECT_EQ(1u, removal.boxes.size());
    EXPECT_EQ(LoadText(6), removal.headline.text);
}

TEST_F(UninstallDialogTest, AFolderNamedByTheRuleIsOfferedForRetryAndStays) {
    CreateDirectoryA((folder / "QUORIN32").c_str(), nullptr);
    MakeFiles(folder, {"TIPS.TXT"});
    const Removal removal = RunRemoval({IDYES, IDCANCEL});
    ASSERT_EQ(2u, removal.boxes.size());
    EXPECT_EQ(LoadText(13), removal.boxes[1].text);
    EXPECT_TRUE(bench::FolderExists(folder / "QUORIN32"));
    EXPECT_FALSE(bench::FileExists(folder / "TIPS.TXT"));
    EXPECT_EQ(LoadText(6), removal.headline.text);
}

TEST_F(UninstallDialogTest, ExecuteCancelAndCloseAreIgnoredWhileTheDeletionRuns) {
    MakeFiles(folder, {"QUORIN32.EXE", "TIPS.TXT"});
    bench::HeldFile held(folder / "QUORIN32.EXE");
    ASSERT_TRUE(held.held());
    LRESULT cursorResult = 0;
    HCURSOR cursor = nullptr;
    const Removal removal = RunRemoval({IDYES, IDCANCEL}, [&](const BoxRecord& box, size_t index) {
        if (index != 1)
            return;
        HWND dialog = box.owner;
        // While the retry box is open: Escape, the close box (it posts Cancel, which the
        // box's loop hands to the dialog before the answer) and Execute.
        SendMessageA(dialog, WM_COMMAND, Cancel, 0);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        SendMessageA(dialog, WM_COMMAND, Next, 0);
        cursorResult = SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog),
                                    MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        cursor = GetCursor();
    });
    EXPECT_TRUE(removal.finished);       // neither Cancel nor close ended the dialog
    EXPECT_EQ(2u, removal.boxes.size()); // and Execute did not start a second walk
    EXPECT_EQ(1, removal.result);
    EXPECT_EQ(TRUE, cursorResult);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), cursor);
}

// Once the files are gone, every way of closing the dialog ends it as "終了" does.
TEST_F(UninstallDialogTest, EscapeCloseBoxAndAltF4AfterTheDeletionEndWithOne) {
    const std::function<void(HWND)> ends[] = {
        [](HWND d) { bench::Command(d, Cancel); },                   // Escape
        [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); },             // the close box
        [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, // Alt+F4
    };
    for (const auto& end : ends) {
        MakeFiles(folder, {"QUORIN32.EXE"});
        const Removal removal = RunRemoval({IDYES}, {}, end);
        EXPECT_TRUE(removal.finished);
        EXPECT_FALSE(removal.cancel.visible);
        EXPECT_EQ(1, removal.result);
    }
}

TEST_F(UninstallDialogTest, CloseBoxOnTheStartPageEndsWithTwo) {
    const INT_PTR result = bench::RunDialog(AppInstance, "DLG_MASTER", UninstallDialogProc,
                                            [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); });
    EXPECT_EQ(2, result);
}

TEST_F(UninstallDialogTest, EnterAfterTheDeletionPressesTheFocusedFinishButton) {
    MakeFiles(folder, {"QUORIN32.EXE"});
    int focused = 0;
    const Removal removal = RunRemoval({IDYES}, {}, [&](HWND d) {
        focused = GetDlgCtrlID(bench::FocusOf(d));
        bench::PressKey(VK_RETURN);
    });
    EXPECT_EQ(Next, focused);
    EXPECT_EQ(1, removal.result);
}

// A folder of `bytes` bytes: units of `unit` after the drive, then `last` filled up with "x".
std::string FolderOf(size_t bytes, const std::string& unit, const std::string& last) {
    std::string folder = "C:\\";
    while (folder.size() + unit.size() + last.size() <= bytes)
        folder += unit;
    return folder + last + std::string(bytes - folder.size() - last.size(), 'x');
}

bool IsWholeCp932(const std::string& text) {
    return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

// At this program's DPI (96, or 192 when the next test runs it again): the folder line lies
// between the instruction and the separator and holds its text as the control draws it,
// broken on whole characters. A folder of 250 bytes shows whole; the longest (259 bytes)
// has its middle given way to "..." where it cannot, and keeps its drive and last folder.
TEST_F(UninstallDialogTest, TheFolderLineNamesAFolderOf250Bytes) {
    EXPECT_EQ(bench::ScreenLogPixels(), bench::ExpectedLogPixels());
    const struct {
        std::string folder, last;
        bool whole;
    } cases[] = {{FolderOf(250, "家計簿ソフト\\", "くおりん"), "くおりん", true},
                 {FolderOf(250, std::string(40, 'W') + "\\", "W"), "W", true},
                 {FolderOf(259, std::string(40, 'W') + "\\", "W"), "W", false}};
    const std::string prefix = "削除ﾌｫﾙﾀﾞ ";
    for (const auto& c : cases) {
        strcpy(InstallDir, c.folder.c_str());
        HWND dialog =
            CreateDialogParamA(AppInstance, "DLG_MASTER", nullptr, UninstallDialogProc, 0);
        HWND line = GetDlgItem(dialog, Status);
        RECT shown, above, separator;
        GetWindowRect(line, &shown);
        GetWindowRect(GetDlgItem(dialog, Instruction), &above);
        GetWindowRect(GetDlgItem(dialog, 0xFFFF), &separator);
        const RECT needed = bench::TextNeeds(line, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        EXPECT_LE(needed.right, shown.right - shown.left) << c.folder;
        EXPECT_LE(needed.bottom, shown.bottom - shown.top) << c.folder;
        EXPECT_GE(shown.top, above.bottom);
        EXPECT_LT(shown.bottom, separator.top);
        std::string text = bench::WindowText(line);
        EXPECT_TRUE(IsWholeCp932(text)) << bench::Hex(text);
        text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
        const size_t dots = text.find("...");
        if (c.whole) {
            EXPECT_EQ(prefix + c.folder, text);
        } else if (dots != std::string::npos) {
            const std::string head = text.substr(prefix.size(), dots - prefix.size());
            const std::string tail = text.substr(dots + 3);
            EXPECT_EQ(prefix, text.substr(0, prefix.size()));
            EXPECT_EQ(0u, c.folder.find(head)) << head;
            EXPECT_EQ("C:\\", head.substr(0, 3));
            EXPECT_EQ(c.folder.size() - tail.size(), c.folder.rfind(tail)) << tail;
            EXPECT_EQ("\\" + c.last, tail.substr(0, c.last.size() + 1)) << tail;
        } else {
            ADD_FAILURE() << "neither whole nor shortened: " << text;
        }
        DestroyWindow(dialog);
    }
}

TEST(FolderLineAt192Dpi, NamesAFolderOf250Bytes) {
    EXPECT_EQ(bench::RunAtLogPixels("UninstallDialogTest.TheFolderLineNamesAFolderOf250Bytes", 192),
              0u)
        << "the test above failed at 192 DPI: run it with LogPixels 192";
}

TEST_F(UninstallDialogTest, OtherCommandsDoNothing) {
    // A notification of control 1 (not a plain click) and the wizard's commands.
    bench::MessageBoxHook hook({IDNO}); // a wrongly started removal is asked about, and declined
    std::string next;
    const INT_PTR result =
        bench::RunDialog(AppInstance, "DLG_MASTER", UninstallDialogProc, [&](HWND d) {
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(Next, BN_SETFOCUS), 0);
            SendMessageA(d, WM_COMMAND, Back, 0);
            SendMessageA(d, WM_COMMAND, Browse, 0);
            next = bench::Control(d, Next).text;
            bench::Command(d, Cancel);
        });
    EXPECT_EQ(2, result);
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ("実行", next);
    EXPECT_EQ(0, UninstallStep);
}

} // namespace
