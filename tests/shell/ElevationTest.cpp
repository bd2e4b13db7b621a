// Elevation: what a run does for each kind of account and mode (the token's answers given
// here), what the token of this process says under Wine, and the relaunch with its wait
// and exit code. Run as Windows XP and as Windows 10.
#include <gtest/gtest.h>

#include "support/WineBench.h"
#include "shell/Elevation.h"

#include <string>

namespace {

struct AccountCase {
    const char* label;
    TokenAnswers token;
    bool hasRights; // every mode runs as it is
};
const AccountCase kAccounts[] = {
    {"an administrator, elevated by the prompt", {true, true, TokenElevationTypeFull}, true},
    {"an administrator without a split token", {true, true, TokenElevationTypeDefault}, true},
    {"an administrator's limited token", {true, false, TokenElevationTypeLimited}, false},
    {"a standard user", {true, false, TokenElevationTypeDefault}, false},
    {"Windows 95 to XP, NT 3.51 and 4.0", {false, false, 0}, true},
};

struct ModeCase {
    const char* label;
    SetupMode mode;
    bool unattended;
    bool allUsers;
    bool relaunched;
    RunDecision withoutRights;
};
const ModeCase kModes[] = {
    {"install", InstallMode, false, true, false, RunForCurrentUser},
    {"install /S for all users", InstallMode, true, true, false, RefuseAllUsers},
    {"install /S for the current user", InstallMode, true, false, false, RunForCurrentUser},
    {"/r", UninstallAllUsersMode, false, true, false, RelaunchElevated},
    {"/r, the relaunched copy", UninstallAllUsersMode, false, true, true, RefuseAllUsers},
    {"/r /S", UninstallAllUsersMode, true, true, false, RefuseAllUsers},
    {"/R", UninstallCurrentUserMode, false, false, false, RunAsIs},
    {"/R /S", UninstallCurrentUserMode, true, false, false, RunAsIs},
};

TEST(ElevationDecision, EveryKindOfAccountInEveryMode) {
    for (const AccountCase& account : kAccounts) {
        for (const ModeCase& m : kModes) {
            EXPECT_EQ(DecideRun(m.mode, m.unattended, m.allUsers, account.token, m.relaunched),
                      account.hasRights ? RunAsIs : m.withoutRights)
                << account.label << ", " << m.label;
        }
    }
}

// Wine gives every process an administrator's full token; before Vista nothing is asked.
TEST(ElevationToken, TheTokenOfThisProcess) {
    const TokenAnswers token = QueryTokenElevation();
    const bool asked = std::string(BENCH_FAMILY) == "win10";
    EXPECT_EQ(token.answered, asked);
    EXPECT_EQ(token.elevated, asked);
    EXPECT_EQ(token.type, asked ? DWORD(TokenElevationTypeFull) : 0u);
}

// The command with its arguments as given, the relaunched copy's mark in its environment
// (and not left in ours), and its exit code, which exists only once it has ended.
TEST(ElevationRelaunch, StartsTheCommandWaitsForItAndHandsBackItsExitCode) {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    const std::string interpreter = std::string(system) + "\\cmd.exe";
    DWORD code = 0;
    DWORD error = 0;
    ASSERT_TRUE(RunElevated(interpreter.c_str(),
                            "/c ping -n 2 127.0.0.1 >nul & if defined QUORIN_SETUP_RELAUNCHED "
                            "(exit 7) else exit 3",
                            &code, &error))
        << error;
    EXPECT_EQ(code, 7u);
    char value[4];
    EXPECT_EQ(GetEnvironmentVariableA("QUORIN_SETUP_RELAUNCHED", value, sizeof value), 0u);
    EXPECT_FALSE(RunElevated("C:\\no such folder\\SETUP.EXE", "/r", &code, &error));
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
}

} // namespace
