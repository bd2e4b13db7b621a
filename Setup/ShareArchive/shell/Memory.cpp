// Allocation for SETUP.EXE itself. The program never throws, so its operators new
// return null on failure, as the nothrow forms promise; defining them here also keeps
// the C++ runtime's exception and terminate machinery out of the program.
#include <windows.h>

#include <new>

void* operator new(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return operator new(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return operator new(size); }

void operator delete(void* block) noexcept {
    if (block) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, size_t) noexcept { operator delete(block); }
void operator delete[](void* block, size_t) noexcept { operator delete(block); }
