#include "platform/AppendWhole.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/RegularFile.h"
#include "platform/WriteAll.h"

namespace voltrex {

namespace {

constexpr int AppendFlags = O_WRONLY | O_APPEND;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name of the file a path leads to once it exists: the target of a
// symbolic link, so that removing it removes the file and keeps the link.
std::string ExistingTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

// Makes a new directory entry durable; the file's contents are already.
void SyncFolderOf(const std::string& path) {
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

}  // namespace

bool AppendWhole(const std::string& path, const std::string& text, const std::string& header,
                 mode_t mode) {
    // Creating with O_EXCL tells for certain whether this call made the file,
    // which decides both the header and what a failure has to undo.
    bool created = true;
    std::string createdName = path;
    RegularFile file = RegularFile::Open(path, AppendFlags | O_CREAT | O_EXCL, mode);
    if (!file && file.Error() == EEXIST) {
        created = false;
        file = RegularFile::Open(path, AppendFlags);
        if (!file && file.Error() == ENOENT) {
            // A symbolic link to a file that does not exist yet (O_EXCL never
            // follows a link): the first record creates the file it names.
            file = RegularFile::Open(path, AppendFlags | O_CREAT, mode);
            created = static_cast<bool>(file);
            createdName = ExistingTarget(path);
        }
    }
    if (!file) {
        errno = file.Error() == RegularFile::NotRegular ? EINVAL : file.Error();
        return false;
    }

    struct stat before = {};
    if (::fstat(file.Descriptor(), &before) != 0) {
        return false;
    }
    if (WriteAll(file.Descriptor(), created ? header + text : text) &&
        ::fsync(file.Descriptor()) == 0) {
        if (created) {
            SyncFolderOf(createdName);
        }
        return true;
    }

    // Whatever part of the text reached the file comes off again. A flush
    // that failed counts too: the kernel may already have dropped the pages
    // it could not write, and the file would keep a gap instead of a record.
    const int error = errno;
    if (created) {
        ::unlink(createdName.c_str());
    } else if (::ftruncate(file.Descriptor(), before.st_size) == 0) {
        ::fsync(file.Descriptor());
    }
    errno = error;
    return false;
}

}  // namespace voltrex
