#pragma once

#include <dirent.h>

// What a long unattended run must give back after each cycle: open descriptors and threads of
// this process, counted from /proc.
namespace ProcessResources {

inline int countEntries(const char* directory) {
    DIR* dir = ::opendir(directory);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    ::closedir(dir);
    return count;
}

// Without the descriptor that reads /proc/self/fd, which lists itself.
inline int openDescriptors() {
    return countEntries("/proc/self/fd") - 1;
}

inline int threads() {
    return countEntries("/proc/self/task");
}

}  // namespace ProcessResources
