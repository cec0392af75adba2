#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "testsupport/TempFolder.h"

namespace voltrex::testing {

// A fresh folder for each test of the file helpers, removed afterwards.
class FileTestFolder : public ::testing::Test {
  protected:
    std::string File(const std::string& name) const { return temp_.File(name); }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    TempFolder temp_;

  protected:
    const std::string folder_ = temp_.Path();
};

}  // namespace voltrex::testing
