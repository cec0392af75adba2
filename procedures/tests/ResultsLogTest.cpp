#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "procedures/tests/ProcedureFixture.h"
#include "testsupport/ChildProcess.h"

namespace voltrex::testing {
namespace {

const char* const Header =
    "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\",\"mAh\","
    "\"mWh\",\"Ohms\",\"V/Cell\"";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ResultsLogTest : public RecordedProcedureTest {
  protected:
    // Appends a discharge record in a child whose files may not grow beyond
    // limit bytes: the kernel writes up to the limit and refuses the rest, as
    // a disk that fills up in the middle of the record would.
    void AppendWithSizeLimit(rlim_t limit) {
        EXPECT_EQ(RunInChild([&] {
                      ::signal(SIGXFSZ, SIG_IGN);
                      const rlimit size{limit, limit};
                      ::setrlimit(RLIMIT_FSIZE, &size);
                      procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
                      return 0;
                  }),
                  0);
    }
    std::string Results() const { return ReadAll(folder.File("Voltrex2.csv")); }
};

TEST_F(ResultsLogTest, FirstRecordBringsTheHeaderAndLinesEndWithLineFeeds) {
    settings.CellType = "NiMH";
    settings.Capacity = 2000;
    settings.NumberOfCells = 1;
    procedures.AppendResultRecord("DIS", 0, 0.5, 1500.0, 1800.0, 0.04567);
    clock.Advance(3661.0);
    procedures.AppendResultRecord("CHG", 0, 1.0, 1600.0, 2240.0, 0.05);

    EXPECT_EQ(ReadAll(folder.File("Voltrex2.csv")),
              std::string(Header) + "\n" +
                  "\"2026-03-14 09:26:53\",\"DIS\",0,0,\"NiMH\",2000,1,500.0,1500.0,1800.0,"
                  "0.0457,1.2000\n"
                  "\"2026-03-14 10:27:54\",\"CHG\",0,0,\"NiMH\",2000,1,1000.0,1600.0,2240.0,"
                  "0.0500,1.4000\n");
}

TEST_F(ResultsLogTest, CycleAndOfComeFromTheCycleAndTheSettingsAtTheTimeOfWriting) {
    settings.MaximumCycles = 10;
    settings.CellType = "LiPo";
    settings.NumberOfCells = 3;
    settings.Capacity = 1300;
    procedures.AppendResultRecord("DIS", 3, 2.6, 1250.0, 0.0, 0.0123);
    settings.MaximumCycles = 7;  // a later test with other settings
    procedures.AppendResultRecord("DIS", 0, 2.6, 0.0, 0.0, 0.0123);

    const std::vector<std::string> lines = ResultLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1],
              "\"2026-03-14 09:26:53\",\"DIS\",3,10,\"LiPo\",1300,3,2600.0,1250.0,0.0,0.0123,"
              "0.0000");
    // Outside an auto cycle both columns are 0; no charge gives 0 volts per cell.
    EXPECT_EQ(lines[2],
              "\"2026-03-14 09:26:53\",\"DIS\",0,0,\"LiPo\",1300,3,2600.0,0.0,0.0,0.0123,"
              "0.0000");
}

TEST_F(ResultsLogTest, ExistenceAloneDecidesTheHeaderAndOldContentsStay) {
    std::ofstream(folder.File("Voltrex2.csv")).close();
    procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
    std::vector<std::string> lines = ResultLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("\"2026-03-14 09:26:53\",\"DIS\"", 0), 0u);

    {
        std::ofstream other(folder.File("Voltrex2.csv"), std::ios::trunc);
        other << "somebody's own notes\nsecond line\n";
    }
    procedures.AppendResultRecord("CHG", 0, 1.0, 100.0, 120.0, 0.1);
    lines = ResultLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "somebody's own notes");
    EXPECT_EQ(lines[1], "second line");
    EXPECT_EQ(lines[2].rfind("\"2026-03-14 09:26:53\",\"CHG\"", 0), 0u);
}

TEST_F(ResultsLogTest, AFileThatCannotBeOpenedLosesTheRecordSilently) {
    // A folder in the file's place cannot be opened for writing, not even by root.
    ASSERT_EQ(::mkdir(folder.File("Voltrex2.csv").c_str(), 0755), 0);
    procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
    EXPECT_TRUE(ui.Errors.empty());

    // So does a missing folder.
    Procedures elsewhere(config, settings, instrument, graph, clock, ui,
                         folder.File("missing/folder"));
    elsewhere.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
    EXPECT_FALSE(FileExists(folder.File("missing")));
    EXPECT_TRUE(ui.Errors.empty());
}

TEST_F(ResultsLogTest, ARecordThatDoesNotFitLeavesTheFileAsItWas) {
    procedures.AppendResultRecord("CHG", 0, 1.0, 100.0, 120.0, 0.1);
    const std::string before = Results();
    const std::size_t record = ResultLines().back().size() + 1;  // a DIS line is as long

    AppendWithSizeLimit(before.size() + record - 1);  // all but its line end fits
    EXPECT_EQ(Results(), before);
    AppendWithSizeLimit(before.size() + record);
    ASSERT_EQ(ResultLines().size(), 3u);
    EXPECT_EQ(Results().substr(0, before.size()), before);
    EXPECT_EQ(ResultLines()[2].rfind("\"2026-03-14 09:26:53\",\"DIS\"", 0), 0u);
}

TEST_F(ResultsLogTest, AFirstRecordThatDoesNotFitLeavesNoFileAndTheNextBringsTheHeader) {
    // Room for the record, not for the header in front of it.
    AppendWithSizeLimit(std::string(Header).size() + 20);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
    procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
    const std::vector<std::string> lines = ResultLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Header);
}

TEST_F(ResultsLogTest, AFifoInPlaceOfTheFileLosesTheRecordAtOnce) {
    const std::string fifo = folder.File("Voltrex2.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nobody at the other end, where an open for reading or writing would
    // wait; then a reader, which must not get the record either.
    EXPECT_EQ(RunInChild([&] {
                  procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
                  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                  procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
                  char byte = 0;
                  return ::read(reader, &byte, 1) > 0 ? 1 : 0;
              }),
              0);
    struct stat info = {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(ui.Errors.empty());
}

TEST_F(ResultsLogTest, ANewFileGetsTheModeOfAnyTextFileLessTheUmask) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
        ::unlink(folder.File("Voltrex2.csv").c_str());
        const mode_t previous = ::umask(mask);
        procedures.AppendResultRecord("DIS", 0, 1.0, 100.0, 120.0, 0.1);
        ::umask(previous);
        struct stat info = {};
        ASSERT_EQ(::stat(folder.File("Voltrex2.csv").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << mask;
    }
}

}  // namespace
}  // namespace voltrex::testing
