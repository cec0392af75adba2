#pragma once

#include <string>
#include <vector>

namespace voltrex::testing {

// A fresh, empty folder for one test under $TMPDIR (or /tmp), removed with
// everything in it at the end, even where the test took its write permission.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of everything in the folder (files and folders), sorted.
    std::vector<std::string> Files() const;
    // Writes a file below the folder, with the folders on its way.
    void Write(const std::string& relative, const std::string& text) const;

  private:
    std::string path_;
};

}  // namespace voltrex::testing
