#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "TempFolder.h"

namespace voltrex {
namespace {

struct ToolRun {
    int status = -1;
    std::string output;
};

// The tool finds libio.so beside itself through its RUNPATH. Under
// AddressSanitizer dlopen is called from the sanitizer's runtime, whose own
// search path applies instead, so there the folder is named explicitly.
#if defined(__SANITIZE_ADDRESS__)
const std::string LibraryPath = "LD_LIBRARY_PATH=\"$(dirname '" VOLTREX_PORTCHECK "')\" ";
#else
const std::string LibraryPath;
#endif

ToolRun RunIn(const std::string& folder, const std::string& arguments) {
    ToolRun run;
    const std::string command =
        "cd '" + folder + "' && " + LibraryPath + "'" VOLTREX_PORTCHECK "' " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        run.output += buffer;
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The hardware check, run beside the simulated library as a user would run
// it beside the real one.
TEST(PortCheck, PassesOnTheSimulatedBoardAndFailsOnAnEmptyPort) {
    testing::TempFolder folder;
    std::FILE* sample = std::fopen(VOLTREX_SAMPLE_INI, "r");
    ASSERT_NE(sample, nullptr);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, sample) != nullptr) {
        text += buffer;
    }
    std::fclose(sample);
    folder.Write("Voltrex2.ini", text);
    folder.Write("Voltrex2Sim.ini", "AccessMicroseconds = 0\n");

    const ToolRun good = RunIn(folder.Path(), "");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_NE(good.output.find("Counter at 0:    status 0x7F: low-side 1, high-side 1"),
              std::string::npos)
        << good.output;
    EXPECT_NE(good.output.find("The board answers as it should."), std::string::npos);

    // Nothing answers at another address: the check says so and fails.
    const ToolRun empty = RunIn(folder.Path(), "278");
    EXPECT_EQ(empty.status, 1) << empty.output;
    EXPECT_NE(empty.output.find("did not flip"), std::string::npos);

    const ToolRun bad = RunIn(folder.Path(), "xyz");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.output.find("\"xyz\" is not a hexadecimal port address."), std::string::npos);
}

}  // namespace
}  // namespace voltrex
