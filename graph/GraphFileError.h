#pragma once

#include <stdexcept>
#include <string>

namespace voltrex {

// The one failure that travels as an exception: a graph bitmap that cannot be
// created. what() is the message to show, "Cannot create file <name>".
class GraphFileError : public std::runtime_error {
  public:
    explicit GraphFileError(const std::string& fileName)
        : std::runtime_error("Cannot create file " + fileName), fileName_(fileName) {}
    const std::string& FileName() const { return fileName_; }

  private:
    std::string fileName_;
};

}  // namespace voltrex
