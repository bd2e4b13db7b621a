// The real SETUP.EXE as a process (Windows 10): after "完了" with the launch box
// ticked the installed application is started from the install folder; with
// the box unticked nothing is started.
#include "WizardHarness.h"

using namespace wizardtest;

namespace {

bool IsWizard(HWND window) {
    return bench::WindowText(window) == kCaption && GetDlgItem(window, 1000) != nullptr;
}

std::string ImageOfWindow(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    // Declared for Vista and later only; this build targets older headers.
    typedef BOOL(WINAPI * QueryImageName)(HANDLE, DWORD, LPSTR, PDWORD);
    QueryImageName query = reinterpret_cast<QueryImageName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    HANDLE process = OpenProcess(0x1000 /* PROCESS_QUERY_LIMITED_INFORMATION */, FALSE, processId);
    if (!process || !query)
        return std::string();
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    query(process, 0, path, &size);
    CloseHandle(process);
    return path;
}

class SetupLaunch : public testing::Test {
  protected:
    void SetUp() override {
        bench::DisableMenuBuilder();
        bench::SetWindowsFamily("SETUP.EXE", "win10");
        bench::CloseWindowsOfClass("QuorinMainFrame");
        installDir_ = target_ / "Quorin32";
    }
    void TearDown() override { bench::CloseWindowsOfClass("QuorinMainFrame"); }

    // Runs SETUP.EXE through the three pages and presses "完了".
    DWORD Install(bool launch) {
        bench::Process setup("\"" + bench::SetupExe() + "\"", target_.path());
        EXPECT_TRUE(setup.started());
        HWND wizard = bench::WaitForWindow(setup.id(), IsWizard, 30000, setup.handle());
        if (!wizard) {
            ADD_FAILURE() << "no wizard window";
            return STILL_ACTIVE;
        }
        EXPECT_TRUE(
            bench::WaitUntil([&] { return bench::Control(wizard, 1009).text == kNoNeedToChange; }));
        bench::SetControlText(wizard, 1000, installDir_);
        bench::Click(wizard, 1);
        EXPECT_TRUE(bench::WaitUntil(
            [&] {
                return bench::Control(wizard, 1008).visible &&
                       bench::Control(wizard, 1000).text == kProduct;
            },
            60000, setup.handle()));
        bench::Click(wizard, 1);
        EXPECT_TRUE(bench::WaitUntil([&] { return bench::Control(wizard, 1).text == kFinishText; },
                                     60000, setup.handle()));
        EXPECT_EQ(bench::Control(wizard, 1011).check, BST_CHECKED);
        if (!launch) {
            ToggleBox(wizard, 1011);
            EXPECT_TRUE(bench::WaitUntil(
                [&] { return bench::Control(wizard, 1011).check == BST_UNCHECKED; }));
        }
        bench::Click(wizard, 1);
        return setup.Wait(30000);
    }

    InstallTraces traces_;
    bench::TempFolder target_{"run"};
    std::string installDir_;
};

TEST_F(SetupLaunch, TickedLaunchBoxStartsTheInstalledApplication) {
    ASSERT_EQ(FindWindowA("QuorinMainFrame", nullptr), nullptr);
    EXPECT_EQ(Install(true), 0u);
    HWND app = nullptr;
    ASSERT_TRUE(bench::WaitUntil(
        [&] { return (app = FindWindowA("QuorinMainFrame", nullptr)) != nullptr; }));
    EXPECT_EQ(lstrcmpiA(ImageOfWindow(app).c_str(), (installDir_ + "\\quorin32.exe").c_str()), 0)
        << ImageOfWindow(app);
}

TEST_F(SetupLaunch, UntickedLaunchBoxStartsNothing) {
    EXPECT_EQ(Install(false), 0u);
    EXPECT_TRUE(bench::FileExists(installDir_ + "\\QUORIN32.EXE")) << "the install itself happened";
    // Absence can only be shown by waiting for the window a while.
    EXPECT_FALSE(
        bench::WaitUntil([] { return FindWindowA("QuorinMainFrame", nullptr) != nullptr; }, 3000));
}

} // namespace
