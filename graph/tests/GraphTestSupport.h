#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "graph/RasterImage.h"

namespace voltrex::testing {

// A fresh, empty folder for one test, removed with everything in it afterwards.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Names of everything in the folder, sorted.
    std::vector<std::string> Entries() const;

  private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::string& fileName);
void WriteBytes(const std::string& fileName, const std::vector<std::uint8_t>& bytes);

// How many pixels of the rectangle differ from what TextOut of the text at
// (x, y) on a black image in the graph's colours gives: 0 when the text's cell
// stands there exactly (as far as it lies within the image).
int TextMismatches(const RasterImage& image, int x, int y, const std::string& text);

// Whether the pixel has the trace colour.
bool Lit(const RasterImage& image, int x, int y);

}  // namespace voltrex::testing
