// voltrex2-makefolder: writes a working folder of the charger program, with
// years of tests in the program's own formats, for the results window's
// benchmarks and tests (see FolderMaker.h and docs/performance.md).
#include <cstdio>
#include <string>
#include <vector>

#include "makefolder/FolderMaker.h"
#include "makefolder/FolderOptions.h"

int main(int argc, char** argv) {
    using namespace voltrex::makefolder;
    const Arguments arguments = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.Help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (!arguments.Error.empty()) {
        std::fprintf(stderr, "voltrex2-makefolder: %s\n\n%s", arguments.Error.c_str(),
                     Usage().c_str());
        return 2;
    }
    const FolderReport report = MakeFolder(arguments.Folder, arguments.Options);
    if (!report.Error.empty()) {
        std::fprintf(stderr, "voltrex2-makefolder: %s\n", report.Error.c_str());
        return 1;
    }
    std::printf("%s: %d records, %d curve files (%d Monitors), %lld rows, %.1f MB\n",
                arguments.Folder.c_str(), report.Records, report.Curves, report.Monitors,
                report.Rows, static_cast<double>(report.Bytes) / 1e6);
    return 0;
}
