#include "records/LineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace voltrex {

namespace {

// What one read asks for: enough for thousands of rows of a curve.
constexpr std::size_t ChunkBytes = 64 * 1024;

}  // namespace

LineReader::LineReader(const std::string& path, std::size_t longestLine)
    : longest_(std::max<std::size_t>(longestLine, 1)) {
    file_ = RegularFile::Open(path, O_RDONLY);
    if (!file_) {
        if (file_.Error() != ENOENT) {
            exists_ = true;
            error_ = file_.FailureReason();
        }
        atEnd_ = true;
        return;
    }
    exists_ = true;
    struct stat info = {};
    if (::fstat(file_.Descriptor(), &info) == 0) {
        size_ = info.st_size;
        modified_ = info.st_mtim.tv_sec;
    }
    buffer_.resize(ChunkBytes + longest_ + 1);
}

bool LineReader::Fill() {
    if (atEnd_) {
        return false;
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        scanned_ -= begin_;
        begin_ = 0;
    }
    while (true) {
        const ssize_t got =
            ::read(file_.Descriptor(), buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error_ = std::strerror(errno);
        }
        if (got <= 0) {
            atEnd_ = true;
            return false;
        }
        end_ += static_cast<std::size_t>(got);
        return true;
    }
}

std::string_view LineReader::Take(std::size_t end, std::size_t skip) {
    std::string_view line(buffer_.data() + begin_, end - begin_);
    begin_ = end + skip;
    scanned_ = begin_;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    length_ = static_cast<std::int64_t>(line.size());
    return line;
}

void LineReader::SkipRestOfLine() {
    // The buffer holds the line's first bytes, none of them a line break.
    length_ = static_cast<std::int64_t>(end_ - begin_);
    char last = buffer_[end_ - 1];
    begin_ = end_ = scanned_ = 0;
    while (Fill()) {
        const void* found = std::memchr(buffer_.data(), '\n', end_);
        if (found != nullptr) {
            const auto at =
                static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
            length_ += static_cast<std::int64_t>(at);
            last = at > 0 ? buffer_[at - 1] : last;
            begin_ = scanned_ = at + 1;
            break;
        }
        length_ += static_cast<std::int64_t>(end_);
        last = buffer_[end_ - 1];
        end_ = 0;
    }
    if (last == '\r') {
        --length_;  // the line break is CR LF
    }
}

bool LineReader::Next(std::string_view& line) {
    cut_ = false;
    while (true) {
        const void* found = std::memchr(buffer_.data() + scanned_, '\n', end_ - scanned_);
        if (found != nullptr) {
            const auto at =
                static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
            if (at - begin_ <= longest_) {
                ++lineNumber_;
                line = Take(at, 1);
                return true;
            }
        }
        if (end_ - begin_ > longest_) {
            // Longer than any line kept: its beginning, and the rest skipped.
            ++lineNumber_;
            cutLine_.assign(buffer_.data() + begin_, longest_);
            if (found != nullptr) {
                const auto at =
                    static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
                length_ =
                    static_cast<std::int64_t>(at - begin_) - (buffer_[at - 1] == '\r' ? 1 : 0);
                begin_ = scanned_ = at + 1;
            } else {
                SkipRestOfLine();
            }
            cut_ = true;
            line = cutLine_;
            return true;
        }
        scanned_ = end_;
        if (!Fill()) {
            if (begin_ < end_) {
                ++lineNumber_;
                line = Take(end_, 0);
                return true;
            }
            return false;
        }
    }
}

}  // namespace voltrex
