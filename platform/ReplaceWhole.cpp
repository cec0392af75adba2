#include "platform/ReplaceWhole.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/WriteAll.h"

namespace voltrex {

namespace {

// As many links as the kernel itself follows in one name before it gives up.
constexpr int MostLinksFollowed = 40;

// The folder part of a name with its trailing slash ("" for a name in the
// working directory), so that a file name can be put after it.
std::string FolderPrefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The name the new contents must be renamed to: path itself, or the file at
// the end of the chain of symbolic links that starts at path, whether or not
// that file exists. Renaming over a link would replace the link. False with
// errno for a chain that loops or a name that cannot be looked at.
bool FinalName(const std::string& path, std::string& name) {
    name = path;
    for (int followed = 0; followed <= MostLinksFollowed; ++followed) {
        struct stat info = {};
        if (::lstat(name.c_str(), &info) != 0) {
            // Nothing of that name yet: the file is created under it. Any
            // other error shows again, and is reported, when the temporary
            // file is made in the same folder.
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            return true;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.c_str(), target, sizeof target);
        if (length < 0) {
            return false;
        }
        if (static_cast<std::size_t>(length) == sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string link(target, static_cast<std::size_t>(length));
        // A relative link counts from the folder that holds it.
        name = !link.empty() && link.front() == '/' ? link : FolderPrefix(name) + link;
    }
    errno = ELOOP;
    return false;
}

// The permission bits the new file gets: the old file's, or for a new one the
// usual 0666 less the umask (which can only be read by setting it; the program
// sets it back at once, on its one thread).
mode_t ModeFor(const std::string& name) {
    struct stat old = {};
    if (::stat(name.c_str(), &old) == 0) {
        return old.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Makes the rename durable. The new file is complete by then either way, so a
// failure here has nothing left to undo and is not reported.
void SyncFolder(const std::string& prefix) {
    const std::string folder = prefix.empty() ? std::string(".") : prefix;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool ReplaceWhole(const std::string& path, std::string_view contents) {
    std::string name;
    if (!FinalName(path, name)) {
        return false;
    }
    const mode_t mode = ModeFor(name);
    const std::string prefix = FolderPrefix(name);

    // A short name of its own, so that it fits wherever the file's name fits;
    // the dot keeps it out of folder listings for its short life.
    std::string temporary = prefix + ".voltrex-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int error = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, contents) || ::fsync(fd) != 0) {
        error = errno;
    }
    // close reports a write error that shows only at the end.
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), name.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        errno = error;
        return false;
    }
    SyncFolder(prefix);
    return true;
}

}  // namespace voltrex
