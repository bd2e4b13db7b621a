// Fault injection for the host build's platform layer, so that the tests can
// reach the memory and write failures a real Windows system produces rarely.
#pragma once

struct ArchivePlatformFaults {
    int failWindowAllocations; // this many window allocations fail (code 5)
    int failWindowLocks;       // this many window locks fail (code 6)
    long long writeBudget;     // bytes still accepted before writes come up short; < 0: no limit
};

extern ArchivePlatformFaults ArchiveFaults;

inline void ResetArchiveFaults() { ArchiveFaults = ArchivePlatformFaults{0, 0, -1}; }
