#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace voltrex::testing {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/voltrex-io-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }

    // Writes a file (and the folders on its way) below the folder.
    void Write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path file = std::filesystem::path(path_) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

  private:
    std::string path_;
};

}  // namespace voltrex::testing
