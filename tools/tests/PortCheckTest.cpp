#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "testsupport/TempFolder.h"

namespace voltrex {
namespace {

struct ToolRun {
    int status = -1;
    std::string output;

    bool Says(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// The tool finds libio.so beside itself through its RUNPATH. Under
// AddressSanitizer dlopen is called from the sanitizer's runtime, whose own
// search path applies instead, so there the folder is named explicitly.
#if defined(__SANITIZE_ADDRESS__)
const std::string LibraryPath = "LD_LIBRARY_PATH=\"$(dirname '" VOLTREX_PORTCHECK "')\" ";
#else
const std::string LibraryPath;
#endif

// Runs the tool in folder; environment is put before the command as is.
ToolRun RunIn(const std::string& folder, const std::string& arguments,
              const std::string& environment = LibraryPath) {
    ToolRun run;
    const std::string command =
        "cd '" + folder + "' && " + environment + "'" VOLTREX_PORTCHECK "' " + arguments + " 2>&1";
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

std::string SampleConfiguration() {
    std::FILE* sample = std::fopen(VOLTREX_SAMPLE_INI, "r");
    EXPECT_NE(sample, nullptr);
    std::string text;
    char buffer[256];
    while (sample != nullptr && std::fgets(buffer, sizeof buffer, sample) != nullptr) {
        text += buffer;
    }
    if (sample != nullptr) {
        std::fclose(sample);
    }
    return text;
}

// A folder with the sample configuration (port 0x378), as a user runs the
// check in.
class PortCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.Write("Voltrex2.ini", SampleConfiguration());
        folder_.Write("Voltrex2Sim.ini", "AccessMicroseconds = 0\n");
    }
    // The real-port library's code over this test's fake /proc and /dev.
    ToolRun RunOnFakeRoots(const std::string& arguments, const char* libraryFolder) {
        return RunIn(folder_.Path(), arguments,
                     "VOLTREX_TEST_PROC='" + proc_.Path() + "' VOLTREX_TEST_DEV='" + dev_.Path() +
                         "' LD_LIBRARY_PATH='" + libraryFolder + "' ");
    }

    testing::TempFolder folder_;
    testing::TempFolder proc_;
    testing::TempFolder dev_;
};

// The hardware check, run beside the simulated library as a user would run
// it beside the real one.
TEST_F(PortCheckTest, PassesOnTheSimulatedBoardAndFailsOnAnEmptyPort) {
    const ToolRun good = RunIn(folder_.Path(), "");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_TRUE(good.Says("Counter at 0:    status 0x7F: low-side 1, high-side 1")) << good.output;
    EXPECT_TRUE(good.Says("The board answers as it should.")) << good.output;
    // The board line says what the library announces.
    void* simulated = dlopen(VOLTREX_SIMULATED_IO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(simulated, nullptr);
    using NameProc = const char* (*)();
    const auto name = reinterpret_cast<NameProc>(dlsym(simulated, "SimulatedBoardName"));
    EXPECT_TRUE(good.Says(name != nullptr
                              ? "Board: " + std::string(name()) + " (no hardware is driven)\n"
                              : "Board: the instrument on the parallel port at 0x378\n"))
        << good.output;
    dlclose(simulated);

    // The simulated charger answers only at its own address: the check says
    // where, points at the two settings that must agree, and writes nothing.
    const ToolRun elsewhere = RunIn(folder_.Path(), "0x278");
    EXPECT_EQ(elsewhere.status, 1) << elsewhere.output;
    EXPECT_TRUE(
        elsewhere.Says("Port 0x278 cannot be used: the simulated charger answers at "
                       "0x378, not at 0x278"))
        << elsewhere.output;
    EXPECT_TRUE(elsewhere.Says("DataAddress in Voltrex2Sim.ini")) << elsewhere.output;
    EXPECT_TRUE(elsewhere.Says("Nothing was written to the port.")) << elsewhere.output;
    EXPECT_FALSE(elsewhere.Says("switching the instrument all off")) << elsewhere.output;
    EXPECT_FALSE(elsewhere.Says("/dev/parport")) << elsewhere.output;
    EXPECT_FALSE(elsewhere.Says("simulated charger)")) << elsewhere.output;

    // A board without power: the port works, the comparators never answer.
    folder_.Write("Voltrex2Sim.ini", "AccessMicroseconds = 0\nPowered = no\n");
    const ToolRun unpowered = RunIn(folder_.Path(), "");
    EXPECT_EQ(unpowered.status, 1) << unpowered.output;
    EXPECT_TRUE(unpowered.Says("Port 0x378: switching the instrument all off")) << unpowered.output;
    EXPECT_TRUE(unpowered.Says("did not flip")) << unpowered.output;
    EXPECT_TRUE(unpowered.Says("check that the board is powered")) << unpowered.output;
    EXPECT_TRUE(unpowered.Says("Conversion 1: -1.000 V")) << unpowered.output;
}

TEST_F(PortCheckTest, HelpAndBadArgumentsNeverReachThePort) {
    // Help needs no configuration.
    testing::TempFolder elsewhere;
    for (const char* help : {"--help", "-h", "378 --help"}) {
        SCOPED_TRACE(help);
        const ToolRun run = RunIn(elsewhere.Path(), help);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.rfind("Usage: voltrex2-portcheck [PORT]\n", 0), 0u) << run.output;
        EXPECT_TRUE(run.Says("LD_LIBRARY_PATH=build/default/lib/parport voltrex2-portcheck"));
        EXPECT_TRUE(run.Says("Exit status: 0 the board answers as it should; 1"));
        EXPECT_FALSE(run.Says("Port library:"));
    }
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--port", "Unknown option \"--port\"."},
        {"-x", "Unknown option \"-x\"."},
        {"-378", "Unknown option \"-378\"."},
        {"378 278", "Give one port address at most."},
        {"xyz", "\"xyz\" is not a hexadecimal port address."},
        {"378x", "\"378x\" is not a hexadecimal port address."},
        {"10000", "\"10000\" is not a hexadecimal port address."},
        {"0", "\"0\" is not a hexadecimal port address."},
        {"0x", "\"0x\" is not a hexadecimal port address."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = RunIn(folder_.Path(), c.arguments);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_TRUE(run.Says(c.message)) << run.output;
        EXPECT_FALSE(run.Says("Port library:")) << run.output;
    }
    // The largest address and the 0x form are taken (and found unusable on an
    // empty machine).
    const ToolRun top = RunOnFakeRoots("0xFFFF", VOLTREX_FAKEROOTS_PLAIN_DIR);
    EXPECT_EQ(top.status, 1) << top.output;
    EXPECT_TRUE(top.Says("Port 0xFFFF cannot be used")) << top.output;
}

// Where the library says the port cannot be used, the check says why and what
// to do about it, blames neither board nor wiring, and writes nothing.
TEST_F(PortCheckTest, UnusablePortIsExplainedAndLeftAlone) {
    struct Case {
        const char* name;
        const char* arguments;
        bool listed;
        bool node;
        const char* active;
        const char* access;
        std::string problem;
        const char* hint;
    };
    const Case cases[] = {
        {"no port listed", "", false, false, nullptr, "no",
         "Port 0x378 cannot be used: There is no parallel port at 0x378: " + proc_.Path() +
             "/sys/dev/parport/ lists no parallel port at all.",
         "  sudo modprobe parport_pc  loads the driver that finds the ports\n"},
        {"wrong address", "3BC", true, true, "none", "yes",
         "Port 0x3BC cannot be used: There is no parallel port at 0x3BC: the driver lists 0x378 "
         "(parport0).",
         "  printf '%x\\n' 888  turns a decimal address into the hexadecimal one (378)\n"},
        {"no ppdev", "", true, false, nullptr, "no",
         "Port 0x378 cannot be used: " + dev_.Path() +
             "/parport0 for the parallel port at 0x378 is missing",
         "  sudo modprobe ppdev  loads the driver that makes /dev/parport*\n"},
        {"printer driver", "", true, true, "lp0\n", "yes",
         "Port 0x378 cannot be used: The parallel port at 0x378 (parport0) is held by the "
         "printer driver lp0: unload it (sudo rmmod lp;",
         "  lsmod | grep '^lp '  shows whether the printer driver is loaded\n"},
        {"second copy", "", true, true, "ppdev0\n", "yes",
         "Port 0x378 cannot be used: The parallel port at 0x378 (parport0) is in use by another "
         "program through ppdev (ppdev0), perhaps a second Voltrex II or voltrex2-portcheck",
         "  ps -C voltrex2,voltrex2-portcheck  shows copies of the program and of this check\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(proc_.Path() + "/sys");
        std::filesystem::remove_all(dev_.Path() + "/parport0");
        if (c.listed) {
            proc_.Write("sys/dev/parport/parport0/base-addr", "888\t1912\n");
        }
        if (c.node) {
            dev_.Write("parport0", "");
        }
        if (c.active != nullptr) {
            proc_.Write("sys/dev/parport/parport0/devices/active", c.active);
        }
        const ToolRun run = RunOnFakeRoots(c.arguments, VOLTREX_FAKEROOTS_PLAIN_DIR);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_TRUE(run.Says("Board: the instrument on the parallel port at 0x")) << run.output;
        EXPECT_TRUE(run.Says(std::string("Port access available: ") + c.access + "\n"))
            << run.output;
        EXPECT_TRUE(run.Says(c.problem)) << run.output;
        EXPECT_TRUE(run.Says(c.hint)) << run.output;
        EXPECT_TRUE(run.Says("the menu entry \"Voltrex II (simulated charger)\"")) << run.output;
        EXPECT_TRUE(run.Says("Nothing was written to the port.\n")) << run.output;
        EXPECT_FALSE(run.Says("switching the instrument all off")) << run.output;
        EXPECT_FALSE(run.Says("powered")) << run.output;
        EXPECT_FALSE(run.Says("wiring")) << run.output;
    }
}

TEST_F(PortCheckTest, SaysWhenTheLibraryDrivesASimulatedBoard) {
    const ToolRun run = RunOnFakeRoots("", VOLTREX_FAKEROOTS_NAMED_DIR);
    EXPECT_TRUE(run.Says("Board: emulated test board (no hardware is driven)\n")) << run.output;
    EXPECT_FALSE(run.Says("Board: the instrument")) << run.output;
}

}  // namespace
}  // namespace voltrex
