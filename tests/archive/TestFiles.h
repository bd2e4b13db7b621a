// Scratch folders and file helpers for the host tests.
#pragma once
#include "TestArchiveBuilder.h"
#include <algorithm>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/archive-test-XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~ScratchFolder() { Remove(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Names in the folder, sorted, "." and ".." left out.
    std::vector<std::string> Entries() const { return EntriesOf(path_); }

    static std::vector<std::string> EntriesOf(const std::string& folder) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(folder.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static void Remove(const std::string& path) {
        if (path.empty())
            return;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0)
            return;
        if (S_ISDIR(info.st_mode)) {
            for (const std::string& name : EntriesOf(path))
                Remove(path + "/" + name);
            rmdir(path.c_str());
        } else {
            chmod(path.c_str(), 0644);
            unlink(path.c_str());
        }
    }
    std::string path_;
};

inline bool ReadWholeFile(const std::string& path, Bytes& content) {
    content.clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        content.insert(content.end(), buffer, buffer + n);
    fclose(file);
    return true;
}

inline void WriteWholeFile(const std::string& path, const Bytes& content) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file) {
        fwrite(content.data(), 1, content.size(), file);
        fclose(file);
    }
}
