#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace voltrex::fuzzing {

// The readers under test take a file name. Each input goes into one
// memory-backed file of the process (a regular file that no disk holds), and
// this returns the name that opens it afresh, at its start.
std::string FuzzInputFile(const std::uint8_t* data, std::size_t size);

}  // namespace voltrex::fuzzing

// What every fuzz target defines: libFuzzer calls it with each input, and the
// corpus replay of the test suite with every file of a corpus.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
