// Elevation on the systems with User Account Control (Windows Vista on): what the token of
// this process says, what a run does with it, and the relaunch through the system's
// elevation prompt. The manifest asks for the highest level the account has, so an
// administrator's run is elevated from the start; a standard user's never is.
#pragma once
#include "shell/StartUp.h"

#include <windows.h>

// The token's answers. Systems without elevation (95 to XP, NT 3.51 and 4.0) are not asked.
struct TokenAnswers {
    bool answered; // the system has elevation and the token told its state
    bool elevated; // TokenElevation: the token holds the account's full rights
    DWORD type;    // TokenElevationType: 1 no split token, 2 full, 3 limited
};

enum RunDecision {
    RunAsIs,
    RunForCurrentUser, // install: an installation for all users is not offered
    RelaunchElevated,  // "/r": the same command again, through the elevation prompt
    RefuseAllUsers,    // all users asked for without the rights: exit code 7, nothing changed
};

// What a run does: from the mode, whether anybody is at the screen, whether an install is
// for all users ("/r" always is), the token's answers, and whether this run is already the
// copy that was relaunched (a copy still without elevation refuses instead of asking again).
RunDecision DecideRun(SetupMode mode, bool unattended, bool allUsers, const TokenAnswers& token,
                      bool relaunched);

// The token of this process, its functions looked up at run time.
TokenAnswers QueryTokenElevation();
// Asks the token once per run and logs its state.
void JudgeElevation();
// DecideRun for this run (its token, /S, whether it is the relaunched copy), logged.
RunDecision DecideThisRun(SetupMode mode, bool allUsers);

// Starts program with parameters through the elevation prompt (verb "runas") in the
// current folder and waits for it: true with its exit code, false when it did not start
// (*error: the system's code; ERROR_CANCELLED when the prompt was refused).
bool RunElevated(const char* program, const char* parameters, DWORD* exitCode, DWORD* error);

enum RemovalRights {
    RemoveHere,     // this run has the rights it needs (or needs none): it goes on
    RemovedByCopy,  // the elevated copy did the work: *exitCode is its exit code
    RemovalRefused, // nothing changed; reported as ExitNoAllUsers
};
// "/r" without elevation: the same command relaunched elevated (interactive), or refused
// (unattended, a refused prompt, a relaunched copy still without elevation).
RemovalRights SettleRemovalRights(SetupMode mode, int* exitCode);

// An interactive install without elevation: no all-users box (CommonAllowed, CommonMode 0).
void OfferAllUsersOnlyWhenElevated();
