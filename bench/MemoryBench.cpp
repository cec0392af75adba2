// Memory over a long Monitor and a long Auto Cycle in virtual time: the
// procedures on the simulated board and pack, every pass advancing the
// virtual clock, with every allocation of the process counted. Prints the
// allocations per pass and the blocks still held and the resident memory at
// the first tenth of the run and at its end: flat means no growth between.
//
//   voltrex_bench_memory monitor <hours> <seconds per pass>
//   voltrex_bench_memory autocycle <cycles> <seconds per pass>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "config/ConfigurationReader.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "procedures/Procedures.h"
#include "procedures/TestSettings.h"
#include "procedures/UserInterface.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/VirtualClock.h"

namespace {

// The counts behind the replaced global operator new and delete, which have
// no other place to keep them.
long long allocations = 0;
long long frees = 0;

// The second field of /proc/self/statm, in kB; 0 when it cannot be read.
// Read through the C library, whose buffers are not counted as the
// program's allocations.
long ResidentKilobytes() {
    long resident = 0;
    if (FILE* file = std::fopen("/proc/self/statm", "r")) {
        char line[128];
        if (std::fgets(line, sizeof line, file) != nullptr) {
            char* end = nullptr;
            std::strtol(line, &end, 10);  // the total size, in pages
            char* last = nullptr;
            resident = std::strtol(end, &last, 10);
            if (last == end) {
                resident = 0;
            }
        }
        std::fclose(file);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A positive number, or 0 for an argument that is none.
double PositiveNumber(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end != text && *end == '\0' && value > 0.0 ? value : 0.0;
}

struct Snapshot {
    long long Passes = 0;
    long long Allocations = 0;
    long long Held = 0;
    long ResidentKb = 0;
};

Snapshot Take(long long passes) {
    return {passes, allocations, allocations - frees, ResidentKilobytes()};
}

// One pass of a test loop per yield: the clock moves on, and the run is
// stopped once it has lasted long enough (Monitor) or never (Auto Cycle).
class CountingInterface final : public voltrex::UserInterface {
  public:
    CountingInterface(voltrex::testing::VirtualClock& clock, double passSeconds, long long stopAt)
        : clock_(clock), passSeconds_(passSeconds), stopAt_(stopAt) {}
    void Yield() override {
        clock_.Advance(passSeconds_);
        ++Passes;
        if (Passes == Tenth) {
            AtTenth = Take(Passes);
        }
    }
    bool PollStop() override { return stopAt_ > 0 && Passes >= stopAt_; }
    void ShowError(const std::string& message) override {
        std::fprintf(stderr, "error: %s\n", message.c_str());
    }
    bool AskYesNo(const std::string& question) override {
        std::fprintf(stderr, "question: %s\n", question.c_str());
        return false;
    }
    long long Passes = 0;
    long long Tenth = 0;
    Snapshot AtTenth;

  private:
    voltrex::testing::VirtualClock& clock_;
    double passSeconds_;
    long long stopAt_;
};

}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    if (block != nullptr) {
        ++frees;
    }
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

int main(int argc, char** argv) {
    using namespace voltrex;
    if (argc != 4) {
        std::fputs(
            "usage: voltrex_bench_memory monitor|autocycle <hours|cycles> <seconds per pass>\n",
            stderr);
        return 2;
    }
    const std::string mode = argv[1];
    const double amount = PositiveNumber(argv[2]);
    const double passSeconds = PositiveNumber(argv[3]);
    if (amount == 0.0 || passSeconds == 0.0) {
        std::fputs("voltrex_bench_memory: the amount and the seconds are positive numbers\n",
                   stderr);
        return 2;
    }

    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("voltrex-bench-memory-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    testing::VirtualClock clock;
    Configuration config;
    if (const auto error = ReadConfiguration(config, VOLTREX_SAMPLE_CONFIGURATION)) {
        std::fprintf(stderr, "%s\n", error->c_str());
        return 2;
    }
    TestSettings settings;
    settings.CellType = "NiMH";
    settings.NumberOfCells = 4;
    settings.Capacity = 200;
    settings.ChargeRate = 7;
    settings.DischargeRate = 7;
    settings.MaximumCycles = mode == "autocycle" ? static_cast<int>(amount) : 1;
    config.CycleRestTime = 10;
    testing::SimulatedPort port(clock, {simulator::Chemistry::NiMH, 4, 200.0, 1.0},
                                config.PortAddress);
    Instrument instrument(clock, config.Calibration);
    instrument.BindPort(port);
    instrument.SetPortAddress(config.PortAddress);
    Graph graph;
    const long long stopAt =
        mode == "monitor" ? static_cast<long long>(amount * 3600.0 / passSeconds) : 0;
    CountingInterface ui(clock, passSeconds, stopAt);
    Procedures procedures(config, settings, instrument, graph, clock, ui, folder.string());
    Snapshot start;
    if (mode == "monitor") {
        ui.Tenth = stopAt / 10;
        start = Take(0);
        procedures.RunMonitor();
    } else {
        // An estimate of the passes of one cycle at this pass length sets the
        // first tenth; the figures are taken wherever it falls.
        ui.Tenth = static_cast<long long>(amount * 3000.0 / passSeconds / 10.0);
        start = Take(0);
        procedures.RunAutoCycle();
    }
    const Snapshot end = Take(ui.Passes);
    const long long passes = end.Passes - ui.AtTenth.Passes;
    std::printf("%s: %lld passes, %.1f virtual hours\n", mode.c_str(), ui.Passes,
                clock.Monotonic() / 3600.0);
    std::printf(
        "allocations per pass: %.2f (after the first tenth)\n",
        passes > 0 ? static_cast<double>(end.Allocations - ui.AtTenth.Allocations) / passes : 0.0);
    std::printf("blocks held: %lld at the start, %lld at the first tenth, %lld at the end\n",
                start.Held, ui.AtTenth.Held, end.Held);
    std::printf("resident kB: %ld at the start, %ld at the first tenth, %ld at the end\n",
                start.ResidentKb, ui.AtTenth.ResidentKb, end.ResidentKb);
    std::filesystem::remove_all(folder);
    return 0;
}
