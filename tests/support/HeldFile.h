// A file held open by another process (the FileHolder peer) with no sharing, so that
// deleting it fails until Release() is called or the holder is destroyed.
#pragma once
#include "WineBench.h"

#include <memory>
#include <string>

namespace bench {

std::string FileHolderExe(); // the peer program

class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile(); // releases the file and waits for the holder to end
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // True once the holder has the file open.
    bool held() const { return held_; }
    // Lets go of the file; returns once the holder process has ended.
    void Release();

private:
    std::string eventName_;
    HANDLE release_ = nullptr;
    std::unique_ptr<Process> holder_;
    bool held_ = false;
};

} // namespace bench
