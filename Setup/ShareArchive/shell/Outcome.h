// How a run ends. Its steps report what kept it from its end (ReportOutcome); its exit code
// is decided here alone, from that report (ExitCodeOfRun).
#pragma once

// The exit codes of an unattended run; an interactive run always ends with 0.
enum ExitCode {
    ExitDone = 0,
    ExitBadOption = 1,             // unknown option or bad value; nothing changed
    ExitApplicationRunning = 3,    // and /CLOSEAPP was not given; nothing changed
    ExitFolderUnusable = 4,        // the install folder cannot be created or written
    ExitFilesUnusable = 5,         // the carried archive is damaged or cannot be read
    ExitInstalledIncompletely = 6, // installed, but the group, a shortcut, the document type
                                   // or the uninstall entry could not be made
    ExitNoAllUsers = 7,            // all users asked for, but this account cannot; nothing changed
    ExitFilesLeft = 8,             // uninstalled, but some files could not be deleted
    ExitNothingFound = 9,          // no installation in the folder the uninstall settled on
};

// What a step reports. The first report of a run counts: it is what ended the run, or (6, 8)
// what the run that went to its end lacks.
void ReportOutcome(ExitCode outcome);
ExitCode ReportedOutcome(); // ExitDone while nothing was reported
void ForgetOutcome();       // a new run
// The run's exit code: 0 for an interactive run, else the reported outcome.
int ExitCodeOfRun();
