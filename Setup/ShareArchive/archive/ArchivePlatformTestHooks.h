// Fault injection for the host build's platform layer, so that the tests can
// reach the memory and write failures a real Windows system produces rarely.
#pragma once

struct ArchivePlatformFaults {
    int failWindowAllocations; // this many window allocations fail (code 5)
    int failWindowLocks;       // this many window locks fail (code 6)
    long long writeBudget;     // bytes still accepted before writes come up short; < 0: no limit
    int failCreateNew;         // this new file (counted from 1) cannot be made; 0: none
    int failMove;              // this rename (counted from 1) is refused; 0: none
    // Hears every file made new, renamed or deleted, in order ("create", "move", "delete").
    void (*trace)(void* context, const char* operation, const char* path, const char* to);
    void* traceContext;
};

extern ArchivePlatformFaults ArchiveFaults;

inline void ResetArchiveFaults() {
    ArchiveFaults = ArchivePlatformFaults{0, 0, -1, 0, 0, nullptr, nullptr};
}
