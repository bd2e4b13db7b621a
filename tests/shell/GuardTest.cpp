// The running-instance guard against the sample application running as another
// process, and against windows of this process whose class only looks alike.
#include <gtest/gtest.h>

#include "shell/Guard.h"
#include "support/SettledMessageBoxHook.h"
#include "support/WineBench.h"

#include <string>

namespace {

const char* const AppClass = "QuorinMainFrame";
const char* const AppRunningText = "動作している「くおりん」があるために実行できません。\n\nくおり"
                                   "んを終了させてから継続しますか？)";

bool IsAppWindow(HWND window) {
    return bench::ClassName(window) == AppClass;
}

class Guard : public ::testing::Test {
  protected:
    void SetUp() override {
        bench::CloseWindowsOfClass(AppClass);
        ASSERT_EQ(nullptr, FindWindowA(AppClass, nullptr)) << "a window of the class is left over";
    }
    void TearDown() override { bench::CloseWindowsOfClass(AppClass); }

    // Starts the sample application and waits until its main window shows.
    HWND StartApp(bench::Process& app) {
        EXPECT_TRUE(app.started());
        return bench::WaitForWindow(app.id(), IsAppWindow, 20000, app.handle());
    }
    static std::string AppCommand(const std::string& options) {
        return "\"" + bench::SampleAppDir() + "\\QUORIN32.EXE\" " + options;
    }
};

TEST_F(Guard, NoWindowMeansNoQuestion) {
    bench::SettledMessageBoxHook hook;
    const DWORD start = GetTickCount();
    EXPECT_EQ(1, CloseRunningApplication(AppClass, "くおりん"));
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_LT(GetTickCount() - start, 1000u) << "no wait without a window";
}

TEST_F(Guard, MatchWindowClassIsExactAndStopsTheSearch) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    struct Case {
        const char* className;
        bool matches;
    };
    const Case cases[] = {
        {"Static", true}, {"static", false}, {"Stati", false}, {"StaticX", false}, {"", false}};
    for (const Case& c : cases) {
        WindowSearch search = {c.className, nullptr};
        const BOOL goOn = MatchWindowClass(window, reinterpret_cast<LPARAM>(&search));
        EXPECT_EQ(c.matches ? FALSE : TRUE, goOn) << c.className;
        EXPECT_EQ(c.matches ? window : nullptr, search.found) << c.className;
    }
    DestroyWindow(window);
}

// A window class of this process that records WM_CLOSE and does not close.
struct LookAlike {
    static int closes;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CLOSE) {
            ++closes;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    explicit LookAlike(const char* className) : name(className) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = className;
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, className, "くおりん", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~LookAlike() {
        DestroyWindow(window);
        UnregisterClassA(name, GetModuleHandleA(nullptr));
    }
    const char* name;
    HWND window;
};
int LookAlike::closes;

TEST_F(Guard, ClassesThatOnlyLookAlikeAreNotMatched) {
    LookAlike longer("QuorinMainFrameX");
    LookAlike lower("quorinmainframe");
    LookAlike shorter("QuorinMainFram");
    ASSERT_NE(nullptr, longer.window);
    ASSERT_NE(nullptr, lower.window);
    ASSERT_NE(nullptr, shorter.window);
    LookAlike::closes = 0;
    bench::SettledMessageBoxHook hook;
    EXPECT_EQ(1, CloseRunningApplication(AppClass, "くおりん"));
    EXPECT_TRUE(hook.boxes().empty());
    EXPECT_EQ(0, LookAlike::closes);
}

TEST_F(Guard, AWindowThatDoesNotCloseIsAskedAboutAgainAfterTheWait) {
    // A window of this process ignores WM_CLOSE: the wait on the process runs out
    // (5 s), the window is found again and the question comes again.
    LookAlike stubborn(AppClass);
    ASSERT_NE(nullptr, stubborn.window);
    LookAlike::closes = 0;
    bench::SettledMessageBoxHook hook({IDOK, IDCANCEL});
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, CloseRunningApplication(AppClass, "くおりん"));
    const DWORD elapsed = GetTickCount() - start;
    ASSERT_EQ(2u, hook.boxes().size());
    EXPECT_GE(elapsed, 5000u);
    // The second box's message loop delivered the one WM_CLOSE posted after the first OK.
    EXPECT_EQ(1, LookAlike::closes);
}

TEST_F(Guard, TheQuestionIsMessage9SystemModal) {
    bench::Process app(AppCommand(""));
    HWND main = StartApp(app);
    ASSERT_NE(nullptr, main);
    bench::SettledMessageBoxHook hook({IDCANCEL});
    EXPECT_EQ(0, CloseRunningApplication(AppClass, "くおりん"));
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_EQ("くおりん", hook.boxes()[0].caption);
    EXPECT_EQ(AppRunningText, hook.boxes()[0].text);
    EXPECT_EQ(0x1021u, hook.boxes()[0].Style()) << std::hex << hook.boxes()[0].Style();
    EXPECT_EQ(nullptr, hook.boxes()[0].owner);
}

TEST_F(Guard, CancelReturnsZeroAndPostsNothing) {
    bench::TempFolder folder("guard");
    const std::string log = folder / "events.log";
    bench::Process app(AppCommand("/log \"" + log + "\""));
    HWND main = StartApp(app);
    ASSERT_NE(nullptr, main);
    bench::SettledMessageBoxHook hook({IDCANCEL});
    EXPECT_EQ(0, CloseRunningApplication(AppClass, "くおりん"));
    EXPECT_EQ(1u, hook.boxes().size());
    // Give a posted message every chance to arrive; the application must live on.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(app.handle(), 1000));
    EXPECT_TRUE(IsWindow(main));
    EXPECT_EQ(std::string::npos, bench::ReadFileBytes(log).find("WM_CLOSE"))
        << bench::ReadFileBytes(log);
}

TEST_F(Guard, AnApplicationThatExitsEndsTheLoopAfterOneQuestion) {
    bench::TempFolder folder("guard");
    const std::string log = folder / "events.log";
    bench::Process app(AppCommand("/log \"" + log + "\""));
    ASSERT_NE(nullptr, StartApp(app));
    bench::SettledMessageBoxHook hook({IDOK});
    const DWORD start = GetTickCount();
    EXPECT_EQ(1, CloseRunningApplication(AppClass, "くおりん"));
    EXPECT_LT(GetTickCount() - start, 4900u) << "the wait ends with the process";
    EXPECT_EQ(1u, hook.boxes().size());
    EXPECT_EQ(0u, app.Wait(5000));
    EXPECT_EQ("main WM_CLOSE\r\n", bench::ReadFileBytes(log))
        << bench::Hex(bench::ReadFileBytes(log));
}

TEST_F(Guard, AMinimisedWindowIsRestoredBeforeTheQuestion) {
    bench::Process app(AppCommand(""));
    HWND main = StartApp(app);
    ASSERT_NE(nullptr, main);
    ShowWindow(main, SW_MINIMIZE);
    ASSERT_TRUE(bench::WaitUntil([&] { return IsIconic(main) != FALSE; }, 5000));
    bool iconicAtQuestion = true;
    bench::SettledMessageBoxHook hook({IDCANCEL});
    hook.OnBox([&](const bench::BoxRecord&) { iconicAtQuestion = IsIconic(main) != FALSE; });
    EXPECT_EQ(0, CloseRunningApplication(AppClass, "くおりん"));
    ASSERT_EQ(1u, hook.boxes().size());
    EXPECT_FALSE(iconicAtQuestion);
}

TEST_F(Guard, AModalPopupGetsWmCloseBeforeTheMainWindow) {
    bench::TempFolder folder("guard");
    const std::string log = folder / "events.log";
    bench::Process app(AppCommand("/modal /log \"" + log + "\""));
    HWND main = StartApp(app);
    ASSERT_NE(nullptr, main);
    HWND popup = bench::WaitForWindow(
        app.id(), [](HWND w) { return bench::ClassName(w) == "#32770"; }, 20000, app.handle());
    ASSERT_NE(nullptr, popup);
    HWND lastActiveAtQuestion = nullptr;
    bench::SettledMessageBoxHook hook({IDOK});
    hook.OnBox([&](const bench::BoxRecord&) { lastActiveAtQuestion = GetLastActivePopup(main); });
    EXPECT_EQ(1, CloseRunningApplication(AppClass, "くおりん"));
    EXPECT_EQ(1u, hook.boxes().size());
    EXPECT_EQ(popup, lastActiveAtQuestion);
    EXPECT_EQ(0u, app.Wait(5000));
    EXPECT_EQ("popup WM_CLOSE\r\nmain WM_CLOSE\r\n", bench::ReadFileBytes(log))
        << bench::ReadFileBytes(log);
}

} // namespace
