// Entry of every Wine test program: the program's own module carries the setup
// resources (dialog template, string table), as SETUP.EXE does.
#include <gtest/gtest.h>

#include "shell/SetupState.h"

int main(int argc, char** argv) {
    AppInstance = GetModuleHandleA(nullptr);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
