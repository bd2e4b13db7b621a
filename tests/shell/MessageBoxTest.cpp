// The message boxes built from the string table: exact texts, captions, buttons and icons.
#include <gtest/gtest.h>

#include "shell/Helpers.h"
#include "shell/SetupState.h"
#include "support/SettledMessageBoxHook.h"
#include "support/WineBench.h"

#include <string>

namespace {

// Test names by position: the values themselves hold backslashes and CP932 bytes.
const auto CaseName = [](const auto& info) { return "Case" + std::to_string(info.index); };

const char* const AppRunningText = "動作している「くおりん」があるために実行できません。\n\nくおり"
                                   "んを終了させてから継続しますか？)";

TEST(SystemVersion, ReadOnceBeforeTheEntryIsGetVersion) {
    EXPECT_EQ(GetVersion(), ReadSystemVersion());
    EXPECT_EQ(GetVersion(), OsVersion);
}

TEST(MessageBoxes, ShowMessageShowsTheStringWithTheCaptionAndStyle) {
    bench::SettledMessageBoxHook hook({IDOK});
    EXPECT_EQ(IDOK, ShowMessage(nullptr, 9, "くおりん", 0x1021, IDCANCEL));
    ASSERT_EQ(1u, hook.boxes().size());
    const bench::BoxRecord& box = hook.boxes()[0];
    EXPECT_EQ("くおりん", box.caption);
    EXPECT_EQ(AppRunningText, box.text);
    EXPECT_EQ(0x1021u, box.Style()) << std::hex << box.Style();
    EXPECT_EQ(nullptr, box.owner);
}

TEST(MessageBoxes, ShowMessagePassesTheButtonThrough) {
    bench::SettledMessageBoxHook hook({IDNO});
    EXPECT_EQ(IDNO, ShowMessage(nullptr, 10, InstallCaption, MB_YESNO | MB_ICONQUESTION, IDYES));
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_EQ(
        std::string("今までWindows3.1版を利用した可能性があります。\n\n\"環境を引き継ぎますか？\n"),
        hook.boxes()[0].text);
    EXPECT_EQ("家計簿,出納簿くおりんの導入", hook.boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), hook.boxes()[0].Style());
}

TEST(MessageBoxes, ShowMessageHasItsOwner) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    bench::SettledMessageBoxHook hook({IDCANCEL});
    EXPECT_EQ(IDCANCEL, ShowMessage(owner, 13, RemoveCaption, MB_RETRYCANCEL, IDCANCEL));
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_EQ(owner, hook.boxes()[0].owner);
    EXPECT_EQ("ファイルを削除できません。", hook.boxes()[0].text);
    EXPECT_EQ("家計簿,出納簿くおりんの削除", hook.boxes()[0].caption);
    DestroyWindow(owner);
}

TEST(MessageBoxes, ShowMessageArgFormatsTheOneArgument) {
    bench::SettledMessageBoxHook hook({IDRETRY});
    EXPECT_EQ(IDRETRY, ShowMessageArg(nullptr, 15, "QUORIN32.ソ", InstallCaption, MB_RETRYCANCEL, IDCANCEL));
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_EQ("ファイル: QUORIN32.ソ をコピーできません！", hook.boxes()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL), hook.boxes()[0].Style());
}

TEST(MessageBoxes, ShowMessageArgStaysBoundedWithAHugeArgument) {
    std::string huge(3000, 'x');
    bench::SettledMessageBoxHook hook({IDCANCEL});
    ShowMessageArg(nullptr, 15, huge.c_str(), InstallCaption, MB_RETRYCANCEL, IDCANCEL);
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_LT(hook.boxes()[0].text.size(), 1024u);
    EXPECT_EQ(0u, hook.boxes()[0].text.find("ファイル: xxxx"));
}

TEST(MessageBoxes, ShowMessageIdsTakesTextAndCaptionFromTheTable) {
    bench::SettledMessageBoxHook hook({IDYES});
    EXPECT_EQ(IDYES, ShowMessageIds(nullptr, 16, 17, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDYES));
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_EQ("本当に削除しますか？", hook.boxes()[0].text);
    EXPECT_EQ("アプリケーションの削除確認", hook.boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2),
              hook.boxes()[0].Style());
}

// With nobody at the screen no box opens, and each question gets the answer its caller
// chose, whatever its buttons: an OK/Cancel question may be answered Cancel, a Yes/No one No.
TEST(MessageBoxes, AnUnattendedRunAnswersAsTheCallerChose) {
    bench::SettledMessageBoxHook hook;
    Unattended = 1;
    EXPECT_EQ(IDCANCEL, AskUser(nullptr, "q", InstallCaption, MB_OKCANCEL, IDCANCEL));
    EXPECT_EQ(IDNO, ShowMessage(nullptr, 10, InstallCaption, MB_YESNO, IDNO));
    Unattended = 0;
    EXPECT_TRUE(hook.boxes().empty());
}

struct ArchiveCase {
    int code;
    const char* text;
};

class ArchiveErrors : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(ArchiveErrors, ShowTheirMessageAndReturnMinusOne) {
    bench::SettledMessageBoxHook hook;
    EXPECT_EQ(-1, ShowArchiveError(AppInstance, GetParam().code));
    ASSERT_EQ(1u, hook.boxes().size());
    const bench::BoxRecord& box = hook.boxes()[0];
    EXPECT_EQ(GetParam().text, box.text);
    EXPECT_EQ("家計簿,出納簿くおりんの導入", box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), box.Style());
    EXPECT_EQ(nullptr, box.owner);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ArchiveErrors,
    ::testing::Values(ArchiveCase{0, " "}, ArchiveCase{1, "キャンセルされました"},
                      ArchiveCase{2, "書庫が見つかりません"}, ArchiveCase{3, "未知の形式"},
                      ArchiveCase{4, "ファイルが壊れています"},
                      ArchiveCase{5, "メモリーが足りません"}, ArchiveCase{6, "メモリーエラー"},
                      ArchiveCase{7, "読込みエラー"}, ArchiveCase{8, "書き込みエラー"},
                      ArchiveCase{9, "内部エラー"}),
    CaseName);

} // namespace
