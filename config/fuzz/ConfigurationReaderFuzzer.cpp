// Fuzz target of the configuration reader: any bytes as Voltrex2.ini.
//
// Besides what the sanitizers catch, it checks what the reader promises: the
// answer is no message or one of the reader's own messages, and every line
// ReadConfigLine hands out is a significant line that fits its buffer.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/ConfigurationReader.h"
#include "platform/fuzz/FuzzInputFile.h"

namespace {

bool IsSkippedStart(char c) {
    return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsReaderMessage(const std::string& message) {
    return message == "Could not open Voltrex2.ini for reading." ||
           ((message.rfind("Could not read ", 0) == 0 || message.rfind("Invalid ", 0) == 0) &&
            message.back() == '.');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = voltrex::fuzzing::FuzzInputFile(data, size);

    voltrex::Configuration config{};
    const auto message = voltrex::ReadConfiguration(config, path);
    if (message && !IsReaderMessage(*message)) {
        std::abort();
    }

    // Every line of the file, past the 40 the reader takes.
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        std::abort();
    }
    char buffer[voltrex::ConfigLineBufferSize];
    while (const char* line = voltrex::ReadConfigLine(file, buffer)) {
        if (line != buffer || IsSkippedStart(line[0]) ||
            std::strlen(line) >= voltrex::ConfigLineBufferSize) {
            std::abort();
        }
    }
    std::fclose(file);
    return 0;
}
