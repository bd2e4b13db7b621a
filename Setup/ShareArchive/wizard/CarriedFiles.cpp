// The files the program carries: the archive of resource 19, decoded once into the install
// step's temporary files. The copy-mode program, which never carries it (it is what gets
// installed, and the uninstaller), links NoCarriedFiles.cpp instead, and with it no
// archive reader and no decoder.
#include "wizard/Wizard.h"
#include "archive/ExtractPayload.h"
#include "shell/Log.h"
#include "shell/SetupState.h"
#include "resource.h"

namespace {

void LogWrittenFile(void*, const MemberHeader& header, MemberOutcome outcome, int result) {
    if (outcome == kMemberExtracted)
        LogLine("file written: %s%s (%lu bytes)", header.directory, header.fileName,
                static_cast<unsigned long>(header.originalSize));
    else if (outcome != kMemberSkipped)
        LogLine("error: %s%s not written (archive code %d, system error %lu)", header.directory,
                header.fileName, result, GetLastError());
}

} // namespace

bool CarriesFiles() {
    return FindResourceA(AppInstance, MAKEINTRESOURCEA(IDR_PAYLOAD), RT_RCDATA) != nullptr;
}

ULONGLONG RoomOfCarriedFiles(DWORD clusterBytes) {
    return PayloadRoom(AppInstance, clusterBytes);
}

int StageCarriedFiles() {
    return StagePayload(AppInstance, InstallStaging, InstallFiles, InstallFileCount, LogWrittenFile,
                        nullptr);
}
