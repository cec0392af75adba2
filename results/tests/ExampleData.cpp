#include "ExampleData.h"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>

#include "config/ConfigurationReader.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "procedures/Procedures.h"
#include "results/CalendarTime.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::results::testing {

namespace {

using simulator::BatteryPack;
using simulator::Chemistry;
using voltrex::testing::SimulatedPort;
using voltrex::testing::VirtualClock;

// Virtual seconds a pass of a test loop takes besides its conversions. The
// program's window turns in a few milliseconds; a second per pass gives each
// second of a curve one reading (now and then a second without one, when the
// conversions have added up to a second) and keeps a year of tests to a few
// hundred thousand passes.
constexpr double PassSeconds = 1.0;

std::int64_t At(const char* time) {
    const std::optional<LocalTime> parsed = ParseCalendarTime(time);
    if (!parsed) {
        throw std::invalid_argument(time);
    }
    return CalendarSeconds(*parsed);
}

// One session at the charger: the program started at a calendar second with
// the simulated board and a pack on it, run by the real procedures in virtual
// time. The session is its own window: every pass moves the clock on, Stop is
// clicked once the clock reaches StopAt, error boxes are kept.
class Session final : public UserInterface {
  public:
    Session(const Configuration& config, const TestSettings& settings, const std::string& folder,
            const char* start, const BatteryPack::Settings& pack)
        : clock_(At(start)),
          port_(clock_, pack, config.PortAddress),
          instrument_(clock_, config.Calibration),
          procedures_(config, settings, instrument_, graph_, clock_, *this, folder) {
        instrument_.BindPort(port_);
        instrument_.SetPortAddress(config.PortAddress);
    }

    Procedures& Run() { return procedures_; }
    SimulatedPort& Port() { return port_; }
    // The pack left alone (nothing runs between two tests).
    void Wait(double seconds) { clock_.Advance(seconds); }
    void StopAfter(std::int64_t seconds) { stopAt_ = clock_.Now() + seconds; }
    // Called at every pass, after the clock has moved.
    std::function<void()> OnYield;
    // The first error box shown, if any.
    const std::string& Problem() const { return problem_; }

    void Yield() override {
        clock_.Advance(PassSeconds);
        if (OnYield) {
            OnYield();
        }
    }
    bool PollStop() override { return clock_.Now() >= stopAt_; }
    void ShowError(const std::string& message) override {
        if (problem_.empty()) {
            problem_ = message;
        }
    }
    // A question is a problem too: the examples' packs are all plausible.
    bool AskYesNo(const std::string& question) override {
        ShowError(question);
        return false;
    }

  private:
    // Declared in the order they are needed: the instrument switches the
    // port off when it goes.
    VirtualClock clock_;
    SimulatedPort port_;
    Instrument instrument_;
    Graph graph_;
    Procedures procedures_;
    std::int64_t stopAt_ = std::numeric_limits<std::int64_t>::max();
    std::string problem_;
};

// What went wrong in a session, or nothing.
std::optional<std::string> Failed(const Session& session, const char* start, bool ran = true) {
    if (!session.Problem().empty()) {
        return std::string(start) + ": " + session.Problem();
    }
    if (!ran) {
        return std::string(start) + ": a test did not end by itself";
    }
    return std::nullopt;
}

}  // namespace

std::string WriteExampleFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0755);
    Configuration config;
    if (const std::optional<std::string> error =
            ReadConfiguration(config, VOLTREX_SAMPLE_CONFIGURATION)) {
        return *error;
    }
    constexpr int Rest = 600;

    // A new transmitter pack, stored half charged, on the charger at rate 10
    // (1.503 A) for discharges and rate 9 (0.998 A) for charges.
    TestSettings transmitter;
    transmitter.CellType = "NiMH";
    transmitter.Capacity = 2000;
    transmitter.NumberOfCells = 7;
    transmitter.DischargeRate = 10;
    transmitter.ChargeRate = 9;
    transmitter.MaximumCycles = 3;
    BatteryPack::Settings pack;
    pack.Type = Chemistry::NiMH;
    pack.Cells = 7;
    pack.StateOfCharge = 0.45;
    pack.ResistancePerCell = 0.012;  // an AA cell's, new

    // An Auto Cycle of three cycles forms it: its cells take up a little more
    // charge after each full charge, so the pack is put back on the board
    // with a larger capacity in the rest that follows each charge.
    {
        const double formed[] = {1890.0, 1950.0, 1990.0};
        const char* const start = "2026-01-17 10:04:12";
        pack.CapacityMah = formed[0];
        Session session(config, transmitter, folder, start, pack);
        int cycle = 0;
        bool charging = false;
        session.OnYield = [&] {
            simulator::SimulatedBoard& board = session.Port().Board();
            if (board.Connected() && board.ChargeMode()) {
                charging = true;
            } else if (!board.Connected() && charging && cycle < 2) {
                charging = false;
                pack.CapacityMah = formed[++cycle];
                pack.StateOfCharge = session.Port().StateOfCharge();
                board.ReplacePack(pack);
            }
        };
        session.Run().RunAutoCycle();
        if (const std::optional<std::string> failed = Failed(session, start, cycle == 2)) {
            return *failed;
        }
    }

    // Then a discharge, a rest and a charge each month as the pack wears: a
    // little less capacity and a little more resistance every time.
    const char* const months[] = {
        "2026-02-21 15:31:40", "2026-03-28 09:12:05", "2026-05-02 18:45:51", "2026-06-13 11:03:27",
        "2026-08-01 16:20:09", "2026-09-12 08:57:44", "2026-10-24 14:11:30", "2026-12-05 10:30:00"};
    auto month = [&](int index) -> std::optional<std::string> {
        pack.CapacityMah = 2010.0 - 21.0 * index - (index > 5 ? 25.0 * (index - 5) : 0.0);
        pack.ResistancePerCell = 0.012 * (1.0 + 0.045 * index);
        pack.StateOfCharge = 0.93;  // charged last month, a little self-discharge since
        Session session(config, transmitter, folder, months[index], pack);
        const bool discharged = session.Run().RunDischarge(0) > 0;
        session.Wait(Rest);
        const bool charged = discharged && session.Run().RunCharge(0, 0) > 0;
        return Failed(session, months[index], charged);
    };
    for (int index = 0; index < 4; ++index) {
        if (const std::optional<std::string> failed = month(index)) {
            return *failed;
        }
    }

    // A line of the results file as a crash of an older version left it.
    {
        std::ofstream out(folder + "/Voltrex2.csv", std::ios::binary | std::ios::app);
        out << "\"2026-06-20 21:14:02\",\"DIS\",0,0,\"NiMH\",2000,7,1503.0,18\n";
        if (!out.good()) {
            return "cannot write into " + folder;
        }
    }

    // A quadcopter's LiPo pack: a discharge, a charge and, an hour later,
    // another discharge.
    {
        TestSettings quadcopter;
        quadcopter.CellType = "LiPo";
        quadcopter.Capacity = 2200;
        quadcopter.NumberOfCells = 3;
        quadcopter.DischargeRate = 10;
        quadcopter.ChargeRate = 10;
        quadcopter.MaximumCycles = 1;
        BatteryPack::Settings lipo;
        lipo.Type = Chemistry::LiPo;
        lipo.Cells = 3;
        lipo.CapacityMah = 2150.0;
        lipo.StateOfCharge = 0.98;
        lipo.ResistancePerCell = 0.012;
        const char* const start = "2026-07-04 12:00:00";
        Session session(config, quadcopter, folder, start, lipo);
        bool ran = session.Run().RunDischarge(0) > 0;
        session.Wait(Rest);
        ran = ran && session.Run().RunCharge(0, 0) > 0;
        session.Wait(3600);
        ran = ran && session.Run().RunDischarge(0) > 0;
        if (const std::optional<std::string> failed = Failed(session, start, ran)) {
            return *failed;
        }
    }

    for (int index = 4; index < 8; ++index) {
        if (const std::optional<std::string> failed = month(index)) {
            return *failed;
        }
    }

    // The transmitter pack watched for a quarter of an hour the morning after
    // its last charge, then stopped.
    {
        pack.StateOfCharge = 1.0;
        const char* const start = "2026-12-06 09:00:00";
        Session session(config, transmitter, folder, start, pack);
        session.StopAfter(900);
        session.Run().RunMonitor();
        if (const std::optional<std::string> failed = Failed(session, start)) {
            return *failed;
        }
    }
    return std::string();
}

}  // namespace voltrex::results::testing
