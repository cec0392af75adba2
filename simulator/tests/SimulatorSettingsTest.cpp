#include "simulator/SimulatorSettings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "testsupport/ChildProcess.h"

namespace voltrex::simulator {
namespace {

class SimulatorSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/voltrex-sim-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = folder_ + "/Voltrex2Sim.ini";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::vector<std::string> Read(const std::string& text, SimulatorSettings& settings) {
        std::ofstream(path_) << text;
        return ReadSimulatorSettings(path_, settings);
    }

    std::string folder_;
    std::string path_;
};

TEST_F(SimulatorSettingsTest, ReadsEveryKeyInAnyCase) {
    SimulatorSettings s;
    const auto messages = Read(
        "; a comment\n"
        "# another\n"
        "\n"
        "DataAddress = 0x278\n"
        "chemistry=lipo   ; trailing remark\n"
        "CELLS = 12\n"
        "Capacity = 2200.5\n"
        "StateOfCharge = 35\n"
        "Resistance = 0.012\n"
        "NoiseSeed = 4294967295\n"
        "AccessMicroseconds = 0\n"
        "writelog =  logs/run 1.log  ; blanks inside the name are kept\n"
        "Powered = NO\n"
        "PackConnected = no\n",
        s);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(s.DataAddress, 0x278);
    EXPECT_EQ(s.Pack.Type, Chemistry::LiPo);
    EXPECT_EQ(s.Pack.Cells, 12);
    EXPECT_EQ(s.Pack.CapacityMah, 2200.5);
    EXPECT_DOUBLE_EQ(s.Pack.StateOfCharge, 0.35);
    EXPECT_EQ(s.Pack.ResistancePerCell, 0.012);
    EXPECT_EQ(s.NoiseSeed, 4294967295U);
    EXPECT_EQ(s.AccessMicroseconds, 0.0);
    EXPECT_EQ(s.WriteLog, "logs/run 1.log");
    EXPECT_FALSE(s.Powered);
    EXPECT_FALSE(s.PackConnected);

    // The written form reads back to the same settings.
    SimulatorSettings again;
    EXPECT_TRUE(Read(FormatSimulatorSettings(s), again).empty());
    EXPECT_EQ(again.DataAddress, s.DataAddress);
    EXPECT_EQ(again.Pack.Type, s.Pack.Type);
    EXPECT_EQ(again.Pack.Cells, s.Pack.Cells);
    EXPECT_EQ(again.Pack.CapacityMah, s.Pack.CapacityMah);
    EXPECT_DOUBLE_EQ(again.Pack.StateOfCharge, s.Pack.StateOfCharge);
    EXPECT_EQ(again.NoiseSeed, s.NoiseSeed);
    EXPECT_EQ(again.WriteLog, s.WriteLog);
    EXPECT_EQ(again.Powered, s.Powered);
    EXPECT_EQ(again.PackConnected, s.PackConnected);

    // An empty name turns the log off again, also in the written form.
    EXPECT_TRUE(Read("WriteLog =\n", again).empty());
    EXPECT_EQ(again.WriteLog, "");
    SimulatorSettings none;
    none.WriteLog = "x";
    EXPECT_TRUE(Read(FormatSimulatorSettings(again), none).empty());
    EXPECT_EQ(none.WriteLog, "");
}

TEST_F(SimulatorSettingsTest, UnusableLinesKeepTheDefaultAndSaySo) {
    SimulatorSettings s;
    const auto messages = Read(
        "Cells = 13\n"
        "Cells = 7.5\n"
        "Chemistry = LiIon\n"
        "StateOfCharge = 101\n"
        "Capacity = 0\n"
        "DataAddress = 0\n"
        "DataAddress = xyz\n"
        "NoiseSeed = -1\n"
        "AccessMicroseconds = -2\n"
        "Resistance = nan\n"
        "Colour = blue\n"
        "just some words\n",
        s);
    ASSERT_EQ(messages.size(), 12u);
    EXPECT_EQ(messages[0], path_ +
                               " line 1: Cells = \"13\" is not a whole number of cells from 1 to "
                               "12; keeping 7.");
    EXPECT_NE(messages[2].find("NiCd, NiMH, LiPo, LiNP or PbAcid; keeping NiMH."),
              std::string::npos);
    EXPECT_NE(messages[5].find("keeping 0x378."), std::string::npos);
    EXPECT_EQ(messages[10], path_ + " line 11: unknown key \"Colour\"; ignored.");
    EXPECT_EQ(messages[11],
              path_ + " line 12: \"just some words\" is not a \"key = value\" line; ignored.");
    const SimulatorSettings defaults;
    EXPECT_EQ(s.Pack.Cells, defaults.Pack.Cells);
    EXPECT_EQ(s.Pack.Type, defaults.Pack.Type);
    EXPECT_EQ(s.Pack.CapacityMah, defaults.Pack.CapacityMah);
    EXPECT_EQ(s.DataAddress, defaults.DataAddress);
    EXPECT_EQ(s.NoiseSeed, defaults.NoiseSeed);
    EXPECT_EQ(s.AccessMicroseconds, defaults.AccessMicroseconds);
}

TEST_F(SimulatorSettingsTest, MissingFileLeavesTheDefaults) {
    SimulatorSettings s;
    EXPECT_TRUE(ReadSimulatorSettings(folder_ + "/absent.ini", s).empty());
    EXPECT_EQ(s.Pack.Cells, 7);
    EXPECT_EQ(s.Pack.Type, Chemistry::NiMH);
    EXPECT_EQ(s.DataAddress, 0x378);
    EXPECT_EQ(s.AccessMicroseconds, 1.0);
    EXPECT_EQ(s.WriteLog, "");
}

TEST_F(SimulatorSettingsTest, ALineWithANulByteIsRefusedWholeAndTheLinesAfterItCount) {
    SimulatorSettings s;
    const std::string text(
        "Capacity = 1234567890123456789\n"
        "\0\n"
        "Cells = 3\n"
        "Cells = 4\0 trailing bytes\n"
        "\0Cells = 5",
        79);
    ASSERT_EQ(text.back(), '5');
    const auto messages = Read(text, s);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_NE(messages[0].find(" line 1: Capacity = "), std::string::npos);
    EXPECT_EQ(messages[1], path_ + " line 2: holds a NUL byte; ignored.");
    EXPECT_EQ(messages[2], path_ + " line 4: holds a NUL byte; ignored.");
    EXPECT_EQ(messages[3], path_ + " line 5: holds a NUL byte; ignored.");
    EXPECT_EQ(s.Pack.Cells, 3);
}

TEST_F(SimulatorSettingsTest, AFifoOrAFolderIsRefusedAtOnceWithAMessage) {
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    // Nobody at the other end, then a writer that never writes.
    const int refused = testing::RunInChild([this] {
        const std::string expected = path_ + ": not a regular file; ignored.";
        SimulatorSettings s;
        int count = ReadSimulatorSettings(path_, s) == std::vector<std::string>{expected};
        const int writer = ::open(path_.c_str(), O_RDWR);
        count += ReadSimulatorSettings(path_, s) == std::vector<std::string>{expected};
        ::close(writer);
        return count + (s.Pack.Cells == SimulatorSettings().Pack.Cells);
    });
    EXPECT_EQ(refused, 3);

    std::filesystem::remove(path_);
    std::filesystem::create_directory(path_);
    SimulatorSettings s;
    EXPECT_EQ(ReadSimulatorSettings(path_, s),
              std::vector<std::string>{path_ + ": Is a directory; ignored."});
}

}  // namespace
}  // namespace voltrex::simulator
