#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RegularFile.h"

namespace voltrex {

// Reads a text file line by line in a bounded buffer, whatever its size and
// whatever its lines. The program's files have short lines; a file joined or
// damaged by another program may hold a single line of hundreds of
// megabytes, and a reader that kept such a line whole would take the memory
// and the time to lay it out. A line longer than longestLine bytes is kept
// as its first longestLine bytes, marked as cut, and the rest of it is
// skipped as it is read.
class LineReader {
  public:
    static constexpr std::size_t DefaultLongestLine = 4096;

    explicit LineReader(const std::string& path, std::size_t longestLine = DefaultLongestLine);

    // false: no such file (Error() empty), or it cannot be opened (Error() says why).
    bool Exists() const { return exists_; }
    // Why the file could not be opened or read to its end.
    const std::string& Error() const { return error_; }
    // The file's size when it was opened.
    std::int64_t Size() const { return size_; }
    // Its modification time then, whole seconds since 1970 UTC.
    std::int64_t Modified() const { return modified_; }

    // The next line without its line break (and a CR before it); a last
    // line without a line break is a line too. false at the end.
    bool Next(std::string_view& line);
    // Of the line Next gave last: its number (1-based), its whole length in
    // the file (without its line break) and whether the line given is only
    // its beginning.
    int LineNumber() const { return lineNumber_; }
    std::int64_t Length() const { return length_; }
    bool Cut() const { return cut_; }

    // What the reader holds at most, however long a line is (for the tests).
    std::size_t Capacity() const { return buffer_.capacity(); }

  private:
    bool Fill();
    std::string_view Take(std::size_t end, std::size_t skip);
    void SkipRestOfLine();

    RegularFile file_;
    bool exists_ = false;
    std::string error_;
    std::int64_t size_ = 0;
    std::int64_t modified_ = 0;
    std::size_t longest_;
    std::string buffer_;
    std::size_t begin_ = 0;  // the unread part is [begin_, end_)
    std::size_t end_ = 0;
    std::size_t scanned_ = 0;  // [begin_, scanned_) holds no line break
    bool atEnd_ = false;
    std::string cutLine_;
    int lineNumber_ = 0;
    std::int64_t length_ = 0;
    bool cut_ = false;
};

}  // namespace voltrex
