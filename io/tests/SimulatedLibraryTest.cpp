#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "instrument/Instrument.h"
#include "instrument/PortLibrary.h"
#include "platform/CFormat.h"
#include "platform/DynamicLibrary.h"
#include "simulator/SampleConfiguration.h"
#include "simulator/SimulatorSettings.h"
#include "testsupport/TempFolder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;
using simulator::SimulatorSettings;
using testing::TempFolder;
using testing::VirtualClock;

// The built simulated libio.so, loaded as the program loads it, in a working
// folder of its own whose Voltrex2Sim.ini sets up the pack. Each Bind loads the
// library afresh, so each gets a new board.
class SimulatedLibraryTest : public ::testing::Test {
  protected:
    void TearDown() override { Unload(); }

    // Writes the settings file, enters the folder and loads the library;
    // nothing has touched the board yet.
    void Bind(SimulatorSettings settings, const std::string& extraLines = "") {
        Unload();
        settings_ = settings;
        folder_.Write(simulator::SimulatorSettingsFileName,
                      simulator::FormatSimulatorSettings(settings) + extraLines);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previousFolder_ = cwd;
        ASSERT_EQ(chdir(folder_.Path().c_str()), 0);
        ASSERT_EQ(library_.BindPortLibrary(VOLTREX_SIMULATED_IO), 0) << library_.LastError();
        // A second reference to the same loaded library, for the optional
        // entry points.
        ASSERT_TRUE(optional_.Open(VOLTREX_SIMULATED_IO)) << optional_.LastError();
        accessProblem_ =
            reinterpret_cast<PortAccessProblemProc>(optional_.Symbol("PortAccessProblem"));
        boardName_ =
            reinterpret_cast<SimulatedBoardNameProc>(optional_.Symbol("SimulatedBoardName"));
        ASSERT_NE(accessProblem_, nullptr);
        ASSERT_NE(boardName_, nullptr);
    }

    void Load(SimulatorSettings settings, const std::string& extraLines = "") {
        Bind(settings, extraLines);
        instrument_ = std::make_unique<Instrument>(clock_, config_.Calibration);
        instrument_->BindPort(library_.AsPort());
        // The first access builds the board, reading the settings file.
        instrument_->SetPortAddress(settings.DataAddress);
    }

    void Unload() {
        if (instrument_) {
            instrument_->ClearPortAddress();
            instrument_.reset();
        }
        accessProblem_ = nullptr;
        boardName_ = nullptr;
        optional_.Close();
        library_.ReleasePortLibrary();
        if (!previousFolder_.empty()) {
            EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
            previousFolder_.clear();
        }
    }

    // The terminal voltage of a pack built like the library's, with the
    // current of the latch flowing (the few milliseconds of real time the
    // library's pack has run change it by far less than a count).
    double ExpectedVoltage(double current) const {
        BatteryPack pack(settings_.Pack);
        pack.SetCurrent(current);
        return pack.TerminalVoltage();
    }

    double Count() const {
        return config_.Calibration.BitWeights[0] * config_.Calibration.HighSideMultiplier;
    }

    static SimulatorSettings Fast(Chemistry chemistry, int cells, double soc) {
        SimulatorSettings s;
        s.Pack = {chemistry, cells, 2000.0, soc};
        s.AccessMicroseconds = 0.0;
        return s;
    }

    VirtualClock clock_;
    Configuration config_ = simulator::SampleConfiguration();
    TempFolder folder_;
    PortLibrary library_;
    DynamicLibrary optional_;
    PortAccessProblemProc accessProblem_ = nullptr;
    SimulatedBoardNameProc boardName_ = nullptr;
    std::unique_ptr<Instrument> instrument_;
    std::string previousFolder_;
    SimulatorSettings settings_;
};

TEST_F(SimulatedLibraryTest, ReadingsMatchThePackForEveryChemistry) {
    struct Case {
        Chemistry chemistry;
        int cells;
    };
    const std::vector<Case> cases = {{Chemistry::NiCd, 1},
                                     {Chemistry::NiMH, 7},
                                     {Chemistry::LiPo, 12},
                                     {Chemistry::LiNP, 4},
                                     {Chemistry::PbAcid, 6}};
    for (const Case& c : cases) {
        for (double soc : {0.2, 0.9}) {
            SCOPED_TRACE(::testing::Message() << simulator::ChemistryName(c.chemistry) << " x"
                                              << c.cells << " soc " << soc);
            Load(Fast(c.chemistry, c.cells, soc));
            const double rest = instrument_->ReadVoltage(true);
            EXPECT_NEAR(rest, ExpectedVoltage(0.0), Count());
            // A single conversion is within a couple of counts as well.
            EXPECT_NEAR(instrument_->MeasureVoltage(config_.Calibration), rest, 3 * Count());

            instrument_->StartDischarge(11);
            EXPECT_NEAR(instrument_->ReadVoltage(true),
                        ExpectedVoltage(config_.DischargeCurrent[11]), Count());
            instrument_->StartCharge(11);
            EXPECT_NEAR(instrument_->ReadVoltage(true), ExpectedVoltage(-config_.ChargeCurrent[11]),
                        Count());
        }
    }
}

TEST_F(SimulatedLibraryTest, ByteHelpersWorkOnTheLatchAndStatus) {
    Load(Fast(Chemistry::NiMH, 7, 0.5));
    const PortEntryPoints& e = library_.EntryPoints();
    EXPECT_EQ(e.IsDriverInstalled(), 1);
    instrument_->StartDischarge(3);
    EXPECT_EQ(e.PortIn(0x378), 0x23);
    e.SetPortBit(0x378, 4);
    EXPECT_EQ(e.PortIn(0x378), 0x33);
    e.ClrPortBit(0x378, 0);
    e.NotPortBit(0x378, 2);
    EXPECT_EQ(e.PortIn(0x378), 0x36);
    EXPECT_EQ(e.GetPortBit(0x378, 5), 1);
    EXPECT_EQ(e.GetPortBit(0x378, 7), 0);
    EXPECT_EQ(e.RightPortShift(0x378, 1), 0);  // 0x36 -> 0x9B
    EXPECT_EQ(e.LeftPortShift(0x378, 0), 1);   // 0x9B -> 0x36
    EXPECT_EQ(e.PortIn(0x378), 0x36);
    // Word and double word: consecutive ports, least significant byte first.
    const unsigned word = e.PortWordIn(0x378);
    EXPECT_EQ(word & 0xFF, 0x36u);
    EXPECT_EQ((word >> 8) & 0x67, 0x67u);  // the status register's idle lines
    e.PortWordOut(0x379, 0x0400);          // status ignores it, control keeps 0x04
    EXPECT_EQ(e.PortIn(0x37A), 0x04);
    e.PortDWordOut(0x377, 0x00002000);  // 0x378 gets 0x20
    EXPECT_EQ(e.PortIn(0x378), 0x20);
    EXPECT_EQ(e.PortDWordIn(0x378) >> 24, 0xFFu);  // 0x37B is not the board's
    e.PortDWordOut(0x278, 0xFFFFFFFF);             // another port: nothing happens
    EXPECT_EQ(e.PortIn(0x378), 0x20);
}

TEST_F(SimulatedLibraryTest, SettingsFileSetsTheAddressAndReportsBadLines) {
    SimulatorSettings s = Fast(Chemistry::LiPo, 3, 0.5);
    s.DataAddress = 0x278;
    ::testing::internal::CaptureStderr();
    Load(s, "Cells = 99\n");
    const std::string messages = ::testing::internal::GetCapturedStderr();
    // The bad line comes after the written settings.
    const std::string written = FormatSimulatorSettings(s);
    const int line = 1 + static_cast<int>(std::count(written.begin(), written.end(), '\n'));
    EXPECT_NE(
        messages.find(Format("libio (simulated): Voltrex2Sim.ini line %d: Cells = \"99\"", line)),
        std::string::npos)
        << messages;
    EXPECT_NEAR(instrument_->ReadVoltage(true), ExpectedVoltage(0.0), Count());
    EXPECT_EQ(library_.EntryPoints().PortIn(0x379), 0xFF);
}

TEST_F(SimulatedLibraryTest, AccessesTakeTheirSetTime) {
    SimulatorSettings s = Fast(Chemistry::NiCd, 1, 0.5);
    s.AccessMicroseconds = 10.0;
    Load(s);
    // About 90 counts: some 300 accesses of 10 us each.
    const auto start = std::chrono::steady_clock::now();
    const double v = instrument_->MeasureVoltage(config_.Calibration);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_NEAR(v, ExpectedVoltage(0.0), 3 * Count());
    EXPECT_GE(elapsed, std::chrono::microseconds(2000));
}

struct LoggedWrite {
    std::uint64_t milliseconds = 0;
    unsigned port = 0;
    unsigned value = 0;
};

// The write log, every line checked against its one documented form.
std::vector<LoggedWrite> ReadWriteLog(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    EXPECT_TRUE(all.empty() || all.back() == '\n') << "the last line is cut short";
    std::vector<LoggedWrite> writes;
    std::istringstream lines(all);
    std::string line;
    while (std::getline(lines, line)) {
        LoggedWrite w;
        unsigned long long ms = 0;
        if (ScanC(line.c_str(), "%llu 0x%x 0x%x", &ms, &w.port, &w.value) != 3 ||
            line != Format("%llu 0x%X 0x%02X", ms, w.port, w.value)) {
            ADD_FAILURE() << "not a write log line: \"" << line << "\"";
            continue;
        }
        w.milliseconds = ms;
        writes.push_back(w);
    }
    return writes;
}

std::vector<std::pair<unsigned, unsigned>> PortsAndValues(const std::vector<LoggedWrite>& log) {
    std::vector<std::pair<unsigned, unsigned>> result;
    for (const LoggedWrite& w : log) {
        result.emplace_back(w.port, w.value);
    }
    return result;
}

std::uint64_t WallMilliseconds() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

TEST_F(SimulatedLibraryTest, WriteLogHoldsEveryWriteOfEveryEntryPointOnceInOrder) {
    SimulatorSettings s = Fast(Chemistry::NiMH, 7, 0.5);
    s.WriteLog = "writes.log";
    folder_.Write("writes.log", "a line of an earlier run\n");
    const std::uint64_t before = WallMilliseconds();
    Load(s);  // all off: 0x00
    const PortEntryPoints& e = library_.EntryPoints();
    instrument_->StartDischarge(3);
    e.PortWordOut(0x378, 0x1234);
    e.PortDWordOut(0x37A, 0x0A0B0C0D);
    e.SetPortBit(0x378, 7);
    e.ClrPortBit(0x378, 7);
    e.NotPortBit(0x378, 0);
    EXPECT_EQ(e.RightPortShift(0x378, 1), 1);
    EXPECT_EQ(e.LeftPortShift(0x378, 0), 1);
    // Reads write nothing.
    e.PortIn(0x379);
    e.PortWordIn(0x378);
    e.PortDWordIn(0x378);
    e.GetPortBit(0x378, 2);
    // Ports that are not the board's are recorded too.
    e.PortOut(0xFFFF, 0xFF);
    e.PortOut(0x0001, 0x05);
    const std::uint64_t after = WallMilliseconds();

    const std::vector<LoggedWrite> log = ReadWriteLog(folder_.Path() + "/writes.log");
    const std::vector<std::pair<unsigned, unsigned>> expected = {
        {0x378, 0x00},                                                // SetPortAddress
        {0x378, 0x20},  {0x378, 0x23},                                // StartDischarge(3)
        {0x378, 0x34},  {0x379, 0x12},                                // word, low byte first
        {0x37A, 0x0D},  {0x37B, 0x0C}, {0x37C, 0x0B}, {0x37D, 0x0A},  // double word
        {0x378, 0xB4},  {0x378, 0x34}, {0x378, 0x35},                 // set, clear, invert
        {0x378, 0x9A},  {0x378, 0x34},                                // shift right, left
        {0xFFFF, 0xFF}, {0x1, 0x05}};
    EXPECT_EQ(PortsAndValues(log), expected);
    ASSERT_FALSE(log.empty());
    EXPECT_GE(log.front().milliseconds, before);
    EXPECT_LE(log.back().milliseconds, after);
    for (std::size_t i = 1; i < log.size(); ++i) {
        EXPECT_LE(log[i - 1].milliseconds, log[i].milliseconds) << "line " << i + 1;
    }
}

TEST_F(SimulatedLibraryTest, WriteLogThatCannotBeOpenedIsReportedOnceAndTheBoardRuns) {
    folder_.Write("folder/kept", "");
    ASSERT_EQ(mkfifo((folder_.Path() + "/fifo").c_str(), 0600), 0);
    struct Case {
        const char* name;
        const char* reason;
    };
    // A FIFO without a reader would block the open, and one with a reader
    // every write: it is refused at once.
    for (const Case& c :
         {Case{"absent/writes.log", "(No such file or directory)"},
          Case{"folder", "(Is a directory)"}, Case{"fifo", "(it is not a regular file)"}}) {
        SCOPED_TRACE(c.name);
        SimulatorSettings s = Fast(Chemistry::LiPo, 3, 0.5);
        s.WriteLog = c.name;
        ::testing::internal::CaptureStderr();
        Load(s);
        instrument_->StartDischarge(5);
        EXPECT_NEAR(instrument_->ReadVoltage(true), ExpectedVoltage(config_.DischargeCurrent[5]),
                    Count());
        instrument_->AllOff();
        const std::string messages = ::testing::internal::GetCapturedStderr();
        const std::string report = Format(
            "libio (simulated): Voltrex2Sim.ini: the write log \"%s\" cannot be opened %s; the "
            "board runs without it.\n",
            c.name, c.reason);
        EXPECT_EQ(messages, report);
    }
}

TEST_F(SimulatedLibraryTest, BoardNameAndPortAccessProblemFollowTheDataAddress) {
    SimulatorSettings s = Fast(Chemistry::LiPo, 3, 0.5);
    s.DataAddress = 0x278;
    s.WriteLog = "writes.log";
    Bind(s, "Cells = 99\n");
    EXPECT_STREQ(boardName_(), "simulated charger");

    // The first question builds the board: the settings are read and the log
    // is created, before any write.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(accessProblem_(0x278), nullptr);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Cells = \"99\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder_.Path() + "/writes.log"));
    EXPECT_EQ(std::filesystem::file_size(folder_.Path() + "/writes.log"), 0u);

    const char* wrong = accessProblem_(0x378);
    ASSERT_NE(wrong, nullptr);
    const std::string text = wrong;
    EXPECT_EQ(text,
              "the simulated charger answers at 0x278, not at 0x378: put 278 on the first line "
              "of Voltrex2.ini, or DataAddress = 378 in Voltrex2Sim.ini.");
    for (unsigned short port : {0x277, 0x279, 0x27A}) {
        EXPECT_NE(accessProblem_(port), nullptr) << port;
    }
    // Asked again, the same text; the first one is still valid.
    EXPECT_EQ(accessProblem_(0x378), wrong);
    EXPECT_EQ(text, wrong);
    // A port that DataAddress cannot name gets the first remedy alone.
    EXPECT_STREQ(accessProblem_(0),
                 "the simulated charger answers at 0x278, not at 0x0: put 278 on the first line "
                 "of Voltrex2.ini.");
    EXPECT_EQ(std::string(accessProblem_(0xFFFE)).find("DataAddress"), std::string::npos);
    EXPECT_NE(std::string(accessProblem_(0xFFFD)).find("DataAddress = FFFD in"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(folder_.Path() + "/writes.log"), 0u);
}

// The PortOut of the library under test, for the signal handler below, which
// gets nothing but the signal number: a process-wide variable is the only way
// to hand it over.
PortOutProc HandlerPortOut = nullptr;

// As the program's emergency switch-off: current off, then the relays, then
// death by the same signal (SA_RESETHAND restored the default action; the
// signal, blocked while the handler runs, arrives when it returns).
void SwitchOffAndDie(int signal) {
    HandlerPortOut(0x378, 0x20);
    HandlerPortOut(0x378, 0x00);
    raise(signal);
}

// The handler interrupts the library wherever it happens to be, in the middle
// of a write included: the log still holds whole lines, the handler's last.
TEST_F(SimulatedLibraryTest, WriteLogEndsWithTheWritesOfASignalHandler) {
    SimulatorSettings s = Fast(Chemistry::NiMH, 7, 0.5);
    s.WriteLog = "writes.log";
    folder_.Write(simulator::SimulatorSettingsFileName, simulator::FormatSimulatorSettings(s));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        alarm(10);  // a handler that hangs ends the child, not the test
        DynamicLibrary library;
        if (chdir(folder_.Path().c_str()) != 0 || !library.Open(VOLTREX_SIMULATED_IO)) {
            _exit(2);
        }
        HandlerPortOut = reinterpret_cast<PortOutProc>(library.Symbol("PortOut"));
        struct sigaction action = {};
        action.sa_handler = SwitchOffAndDie;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        HandlerPortOut(0x378, 0x20);
        if (write(ready[1], "r", 1) != 1) {
            _exit(2);
        }
        for (unsigned i = 0;; ++i) {
            HandlerPortOut(0x378, (i & 1U) == 0 ? 0x25 : 0x26);
        }
    }
    close(ready[1]);
    char byte = 0;
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);

    const std::vector<std::pair<unsigned, unsigned>> log =
        PortsAndValues(ReadWriteLog(folder_.Path() + "/writes.log"));
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), std::make_pair(0x378u, 0x20u));
    for (std::size_t i = 1; i + 2 < log.size(); ++i) {
        ASSERT_EQ(log[i], std::make_pair(0x378u, i % 2 == 1 ? 0x25u : 0x26u)) << "line " << i + 1;
    }
    EXPECT_EQ(log[log.size() - 2], std::make_pair(0x378u, 0x20u));
    EXPECT_EQ(log.back(), std::make_pair(0x378u, 0x00u));
}

}  // namespace
}  // namespace voltrex
