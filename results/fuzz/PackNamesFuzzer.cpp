// Fuzz target of the results window's names file: any bytes as
// Voltrex2Results.ini.
//
// Besides what the sanitizers catch, it checks what the reader promises: the
// names it read write out to a text that reads back, without a problem, as
// the same names, and writing that again changes nothing.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fuzz/FuzzInputFile.h"
#include "results/PackNames.h"

namespace {

// A broken promise is a finding: it names its line and ends the run.
void Check(bool promise, int line = __builtin_LINE()) {
    if (!promise) {
        std::fprintf(stderr, "broken promise at line %d\n", line);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using voltrex::results::PackNames;
    std::vector<std::string> problems;
    const PackNames names = PackNames::Load(voltrex::fuzzing::FuzzInputFile(data, size), &problems);
    const std::string text = names.Text();
    std::vector<std::string> again;
    const PackNames back = PackNames::Parse(text, &again);
    Check(again.empty());
    Check(back == names);
    Check(back.Text() == text);
    return 0;
}
