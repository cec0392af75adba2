#include "app/ConfigurationFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

#include "platform/RegularFile.h"
#include "platform/WriteAll.h"

namespace voltrex {

namespace {

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

// Closes a descriptor on every way out.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now and reports the error close found (a delayed write error).
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

// The file the name stands for: the target of a symbolic link, so that saving
// through the link replaces the file it points to and keeps the link.
std::string ResolvedTarget(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
        ::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> LoadConfigurationLines(const std::string& path,
                                                  std::vector<std::string>& lines) {
    lines.clear();
    // A FIFO or a device in the file's place is refused, never waited on.
    const RegularFile file = RegularFile::Open(path, O_RDONLY);
    if (!file) {
        return file.FailureReason();
    }
    std::string text;
    char buffer[4096];
    while (true) {
        const ssize_t got = ::read(file.Descriptor(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return SystemReason(errno);
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool ended = end != std::string::npos;
        if (!ended) {
            end = text.size();
        }
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
        }
        lines.push_back(text.substr(start, stop - start));
        start = ended ? end + 1 : end;
    }
    return std::nullopt;
}

std::optional<std::string> SaveConfigurationLines(const std::string& path,
                                                  const std::vector<std::string>& lines) {
    const std::string target = ResolvedTarget(path);
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }

    // A new file gets the usual permissions (0666 less the umask); an existing
    // one keeps its own.
    mode_t mode = 0;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    std::string temporary = target + ".XXXXXX";
    Descriptor file(::mkstemp(temporary.data()));
    if (file.Get() < 0) {
        return SystemReason(errno);
    }
    auto fail = [&temporary](int error) -> std::optional<std::string> {
        ::unlink(temporary.c_str());
        return SystemReason(error);
    };
    if (::fchmod(file.Get(), mode) != 0 || !WriteAll(file.Get(), text) ||
        ::fsync(file.Get()) != 0) {
        return fail(errno);
    }
    if (file.Close() != 0) {
        return fail(errno);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    // Makes the rename itself durable; the file is already complete either way.
    Descriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) {
        ::fsync(folder.Get());
    }
    return std::nullopt;
}

}  // namespace voltrex
