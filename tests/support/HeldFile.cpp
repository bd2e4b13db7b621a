#include "HeldFile.h"

#include <stdio.h>

namespace bench {

std::string FileHolderExe() { return BuildFile("peers\\FileHolder.exe"); }

HeldFile::HeldFile(const std::string& path) {
    static unsigned counter = 0;
    char name[64];
    snprintf(name, sizeof name, "bench.held.%lu.%u", GetCurrentProcessId(), counter++);
    eventName_ = name;
    release_ = CreateEventA(nullptr, TRUE, FALSE, eventName_.c_str());
    HANDLE heldEvent = CreateEventA(nullptr, TRUE, FALSE, (eventName_ + ".held").c_str());
    holder_.reset(new Process("\"" + FileHolderExe() + "\" \"" + path + "\" " + eventName_));
    if (holder_->started()) {
        HANDLE waits[2] = {heldEvent, holder_->handle()};
        held_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    CloseHandle(heldEvent);
}

HeldFile::~HeldFile() {
    Release();
    CloseHandle(release_);
}

void HeldFile::Release() {
    SetEvent(release_);
    if (holder_ && holder_->started()) holder_->Wait(20000);
    held_ = false;
}

} // namespace bench
