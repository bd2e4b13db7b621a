// SETUP.EXE links no C runtime: msvcrt.dll is not part of Windows 95 nor of NT 3.51,
// and the loader refuses to start a program that imports it there. This file is the
// program's own start and the few memory and string routines the compiler and the
// program use. Only SETUP.EXE links it; the test programs keep their C runtime.
//
// It is compiled with -fno-builtin and -fno-tree-loop-distribute-patterns, so that
// the compiler never turns these loops back into calls to themselves.
#include <windows.h>

#include <stddef.h>

extern "C" {

void* memcpy(void* target, const void* source, size_t count) {
    unsigned char* to = static_cast<unsigned char*>(target);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count--) {
        *to++ = *from++;
    }
    return target;
}

void* memmove(void* target, const void* source, size_t count) {
    unsigned char* to = static_cast<unsigned char*>(target);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (to <= from || to >= from + count) {
        return memcpy(target, source, count);
    }
    while (count--) { // overlapping, target above source: copy from the end
        to[count] = from[count];
    }
    return target;
}

void* memset(void* target, int value, size_t count) {
    unsigned char* to = static_cast<unsigned char*>(target);
    while (count--) {
        *to++ = static_cast<unsigned char>(value);
    }
    return target;
}

int memcmp(const void* left, const void* right, size_t count) {
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; count; --count, ++a, ++b) {
        if (*a != *b) {
            return *a < *b ? -1 : 1;
        }
    }
    return 0;
}

size_t strlen(const char* text) {
    const char* end = text;
    while (*end) {
        ++end;
    }
    return static_cast<size_t>(end - text);
}

size_t strnlen(const char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length]) {
        ++length;
    }
    return length;
}

int strncmp(const char* left, const char* right, size_t count) {
    for (; count; --count, ++left, ++right) {
        unsigned char a = static_cast<unsigned char>(*left);
        unsigned char b = static_cast<unsigned char>(*right);
        if (a != b) {
            return a < b ? -1 : 1;
        }
        if (!a) {
            break;
        }
    }
    return 0;
}

int strcmp(const char* left, const char* right) { return strncmp(left, right, static_cast<size_t>(-1)); }

char* strcpy(char* target, const char* source) {
    char* to = target;
    while ((*to++ = *source++) != '\0') {
    }
    return target;
}

char* strchr(const char* text, int character) {
    const char wanted = static_cast<char>(character);
    for (;; ++text) {
        if (*text == wanted) {
            return const_cast<char*>(text);
        }
        if (!*text) {
            return nullptr;
        }
    }
}

// Called for a pure virtual function, which the program never does.
void __cxa_pure_virtual() { ExitProcess(0); }

typedef void (*Initialiser)();
extern Initialiser __CTOR_LIST__[]; // laid out by the linker: -1, the initialisers, 0

// The program's entry point. Static initialisation runs first, as it would under the
// C runtime (the system version is read there, before anything else); then the setup
// runs, and the process ends with its exit code.
void SetupStartup() {
    size_t count = 0;
    while (__CTOR_LIST__[count + 1]) {
        ++count;
    }
    for (size_t i = count; i >= 1; --i) { // the linker's order is last to first
        __CTOR_LIST__[i]();
    }
    // WinMain reads its arguments with GetArgument: only the instance matters to it.
    ExitProcess(static_cast<UINT>(
        WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT)));
}

} // extern "C"
