#pragma once

#include <string>

namespace voltrex {

// The results file: one line per finished discharge or charge, after a header
// line, kept for the history of every pack tested. It is only ever appended
// to, never truncated.
class ResultsLog {
  public:
    static constexpr const char* FileName = "Voltrex2.csv";

    explicit ResultsLog(std::string path) : path_(std::move(path)) {}

    // Appends one record (given without its line end). A new file starts with
    // the header and gets the mode any text file the user makes gets (0666
    // less the umask); the record (with the header) reaches the disk whole or
    // not at all, also on a full disk. A name that cannot be opened or is not
    // a plain file (locked by a spreadsheet, a read-only folder, a FIFO) loses
    // this record without a word: the test itself is over and has been shown.
    void Append(const std::string& record) const;

  private:
    std::string path_;
};

}  // namespace voltrex
