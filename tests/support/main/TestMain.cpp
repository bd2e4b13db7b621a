// Entry of every Wine test program: the program's own module carries the setup
// resources (dialog template, string table), as SETUP.EXE does.
#include <gtest/gtest.h>

#include <cstdio>

#include "shell/SetupState.h"

int main(int argc, char** argv) {
    AppInstance = GetModuleHandleA(nullptr);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Output goes to a pipe: unbuffered, a program that dies still shows how far it got.
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
