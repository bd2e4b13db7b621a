#include "shell/Elevation.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"

#include <shellapi.h>
#include <string.h>

namespace {

// In the environment of the relaunched copy only. Where User Account Control is switched
// off, "runas" starts the copy without elevation; the mark keeps it from starting another.
const char RelaunchMark[] = "QUORIN_SETUP_RELAUNCHED";

const char AdministratorMustRemoveText[] =
    "全てのユーザーに共通の「くおりん」を削除するには管理者の権限が必要です。\n"
    "管理者が削除してください。";

TokenAnswers RunToken;
bool RelaunchedCopy;

void SetRelaunchMark(const char* value) {
    typedef BOOL(WINAPI * SetEnvironmentVariableProc)(LPCSTR, LPCSTR);
    SetEnvironmentVariableProc set =
        LookUpFunction<SetEnvironmentVariableProc>("kernel32.dll", "SetEnvironmentVariableA");
    if (set != nullptr)
        set(RelaunchMark, value);
}

// Whether this run is the relaunched copy; the mark goes, so that nothing this run
// starts inherits it.
bool TakeRelaunchMark() {
    char value[4];
    if (GetEnvironmentVariableA(RelaunchMark, value, sizeof value) == 0)
        return false;
    SetRelaunchMark(nullptr);
    return true;
}

const char* StateText(const TokenAnswers& token) {
    if (!token.answered)
        return "none on this system";
    if (token.elevated) {
        return token.type == TokenElevationTypeFull ? "elevated (an administrator's full token)"
                                                    : "elevated (no split token)";
    }
    return token.type == TokenElevationTypeLimited
               ? "not elevated (an administrator's limited token)"
               : "not elevated (a standard user's token)";
}

const char* DecisionText(RunDecision decision) {
    switch (decision) {
    case RunForCurrentUser:
        return "an installation for the current user only";
    case RelaunchElevated:
        return "relaunch through the elevation prompt";
    case RefuseAllUsers:
        return "refused: all users need an administrator's rights";
    default:
        return "run";
    }
}

// The arguments of this run as they were given: the command line after the program.
const char* ArgumentsOfThisRun() {
    char program[4 * PathCapacity];
    const char* rest = NextArgumentOf(GetCommandLineA(), program, sizeof program, nullptr);
    if (rest == nullptr)
        return "";
    while (*rest == ' ' || *rest == '\t')
        ++rest;
    return rest;
}

// The same command again with the elevation prompt; the log goes to the copy meanwhile.
bool RelaunchThisRun(DWORD* exitCode) {
    char program[PathCapacity];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return false;
    const char* arguments = ArgumentsOfThisRun();
    LogLine("starting \"%s\" %s with the elevation prompt", program, arguments);
    CloseRunLog(); // the copy writes it afresh
    DWORD error = 0;
    const bool ran = RunElevated(program, arguments, exitCode, &error);
    if (Options.logFile[0] != '\0')
        ReopenRunLog(Options.logFile);
    if (ran)
        LogLine("the elevated copy ended with %lu (this run: %s)", *exitCode, StateText(RunToken));
    else
        LogLine("error: no elevated run (system error %lu)", error);
    return ran;
}

} // namespace

RunDecision DecideRun(SetupMode mode, bool unattended, bool allUsers, const TokenAnswers& token,
                      bool relaunched) {
    if (!token.answered || token.elevated || mode == UninstallCurrentUserMode)
        return RunAsIs;
    if (mode == UninstallAllUsersMode)
        return unattended || relaunched ? RefuseAllUsers : RelaunchElevated;
    return unattended && allUsers ? RefuseAllUsers : RunForCurrentUser;
}

TokenAnswers QueryTokenElevation() {
    TokenAnswers answers = {false, false, 0};
    if (!IsNtFamily() || MajorVersion() < 6)
        return answers; // elevation exists from Windows Vista on
    typedef BOOL(WINAPI * OpenProcessTokenProc)(HANDLE, DWORD, PHANDLE);
    typedef BOOL(WINAPI * GetTokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                                   PDWORD);
    OpenProcessTokenProc openToken =
        LookUpFunction<OpenProcessTokenProc>("advapi32.dll", "OpenProcessToken");
    GetTokenInformationProc ask =
        LookUpFunction<GetTokenInformationProc>("advapi32.dll", "GetTokenInformation");
    HANDLE token = nullptr;
    if (openToken == nullptr || ask == nullptr ||
        !openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return answers;
    }
    TOKEN_ELEVATION elevation = {0};
    DWORD type = 0;
    DWORD size = 0;
    answers.answered = ask(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                       ask(token, TokenElevationType, &type, sizeof type, &size);
    CloseHandle(token);
    answers.elevated = answers.answered && elevation.TokenIsElevated != 0;
    answers.type = answers.answered ? type : 0;
    return answers;
}

void JudgeElevation() {
    RunToken = QueryTokenElevation();
    RelaunchedCopy = TakeRelaunchMark();
    LogLine("elevation: %s%s", StateText(RunToken),
            RelaunchedCopy ? ", started through the elevation prompt" : "");
}

RunDecision DecideThisRun(SetupMode mode, bool allUsers) {
    const RunDecision decision =
        DecideRun(mode, Unattended != 0, allUsers, RunToken, RelaunchedCopy);
    LogLine("elevation decision: %s", DecisionText(decision));
    return decision;
}

bool RunElevated(const char* program, const char* parameters, DWORD* exitCode, DWORD* error) {
    typedef BOOL(WINAPI * ShellExecuteExProc)(SHELLEXECUTEINFOA*);
    ShellExecuteExProc execute =
        LookUpFunction<ShellExecuteExProc>("shell32.dll", "ShellExecuteExA");
    *error = ERROR_CALL_NOT_IMPLEMENTED;
    if (execute == nullptr)
        return false;
    char folder[PathCapacity];
    const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    SHELLEXECUTEINFOA request;
    memset(&request, 0, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = "runas";
    request.lpFile = program;
    request.lpParameters = parameters;
    request.lpDirectory = length > 0 && length < sizeof folder ? folder : nullptr;
    request.nShow = SW_SHOWNORMAL;
    SetRelaunchMark("1");
    const BOOL started = execute(&request);
    *error = started ? 0 : GetLastError();
    SetRelaunchMark(nullptr);
    if (!started)
        return false;
    *exitCode = ExitDone;
    if (request.hProcess != nullptr) {
        WaitForSingleObject(request.hProcess, INFINITE);
        GetExitCodeProcess(request.hProcess, exitCode);
        CloseHandle(request.hProcess);
    }
    return true;
}

RemovalRights SettleRemovalRights(SetupMode mode, int* exitCode) {
    if (mode == InstallMode)
        return RemoveHere;
    const RunDecision decision = DecideThisRun(mode, mode == UninstallAllUsersMode);
    if (decision == RunAsIs)
        return RemoveHere;
    DWORD copyExitCode = ExitDone;
    if (decision == RelaunchElevated && RelaunchThisRun(&copyExitCode)) {
        *exitCode = static_cast<int>(copyExitCode);
        return RemovedByCopy;
    }
    LogLine("error: the installation for all users can be removed only with an administrator's "
            "rights; nothing changed");
    AskUser(nullptr, AdministratorMustRemoveText, RemoveCaption, MB_OK | MB_ICONEXCLAMATION, IDOK);
    ReportOutcome(ExitNoAllUsers);
    return RemovalRefused;
}

void OfferAllUsersOnlyWhenElevated() {
    if (DecideThisRun(InstallMode, CommonMode != 0) != RunForCurrentUser)
        return;
    CommonAllowed = 0;
    CommonMode = 0;
}
