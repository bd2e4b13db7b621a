// The options of the command line, for runs with nobody at the screen (package managers,
// deployment tools) and for presetting the wizard. The first argument still chooses the
// mode; every argument after it, the first included when it is not "/r" or "/R", may be
// an option, compared without regard to letter case.
#pragma once
#include "shell/SetupState.h"
#include "shell/Outcome.h"
#include "shell/StartUp.h"

enum UserChoice { UsersAsStartUpSets = -1, UsersCurrent = 0, UsersAll = 1 };

struct SetupOptions {
    bool help;                    // /? or /HELP as the first argument
    bool unattended;              // /S
    bool launch;                  // /LAUNCH
    bool closeApplication;        // /CLOSEAPP
    int users;                    // UserChoice: /ALLUSERS, /CURRENTUSER
    char folder[PathCapacity];    // /D=, blanks at both ends removed; empty: not given
    char group[PathCapacity];     // /GROUP=, the same; empty: not given
    char logFile[PathCapacity];   // /LOG=
    char problem[PathCapacity];   // the first unknown option or bad value, for the log
};
extern SetupOptions Options;

// Reads the options of commandLine (the program path first). False when one is unknown or
// its value is bad (empty, too long, both user choices): problem names the first, and
// what is bad is dropped, so that the rest still presets the wizard. A group name is
// judged by the caller, who knows the shell (AcceptGroupOption).
bool ReadOptions(const char* commandLine, SetupMode mode, SetupOptions& options);
// Keeps the /GROUP= name only when the group page would take it; false otherwise.
bool AcceptGroupOption(SetupOptions& options, bool (*usable)(const char* name));
// The options as understood, for the log.
void LogOptions(SetupMode mode, const SetupOptions& options);
// /? and /HELP: the options and the exit codes, in a box, or in an unattended run into the
// log only. Nothing else happens in such a run. Returns ExitDone.
void ShowUsage();
