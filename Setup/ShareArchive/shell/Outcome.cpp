#include "shell/Outcome.h"
#include "shell/SetupState.h"

namespace {

ExitCode Reported; // zero-initialised: ExitDone

} // namespace

void ReportOutcome(ExitCode outcome) {
    if (Reported == ExitDone)
        Reported = outcome;
}

ExitCode ReportedOutcome() {
    return Reported;
}

void ForgetOutcome() {
    Reported = ExitDone;
}

int ExitCodeOfRun() {
    return Unattended ? Reported : ExitDone;
}
