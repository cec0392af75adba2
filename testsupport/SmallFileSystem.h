#pragma once

// Test helper: a disk that is full on purpose. Mounts a tmpfs of four pages
// over a folder, in a mount namespace of the calling process's own (as root,
// or as the owner of a fresh user namespace where the system allows one).
// Call it only in a child process (RunInChild), which the mount then ends
// with.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace voltrex::testing {

// What a child returns when the system lets it mount nothing; the test is
// then skipped.
inline constexpr int NoMount = 99;

inline bool MountSmallFileSystem(const std::string& folder) {
    if (::geteuid() != 0) {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            return false;
        }
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return false;
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16k") == 0;
}

}  // namespace voltrex::testing
