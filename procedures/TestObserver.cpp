#include "procedures/TestObserver.h"

#include "platform/CFormat.h"
#include "procedures/ProcedureTexts.h"

namespace voltrex {

bool IsFailure(Ending ending) {
    return ending == Ending::MeasurementFailure || ending == Ending::OverVoltage ||
           ending == Ending::Refused || ending == Ending::GraphNotSaved;
}

const char* TestName(TestKind test) {
    switch (test) {
        case TestKind::Discharge:
            return "Discharge";
        case TestKind::Charge:
            return "Charge";
        case TestKind::AutoCycle:
            return "Auto Cycle";
        case TestKind::Resistance:
            return "Resistance";
        case TestKind::Monitor:
            return "Monitor";
    }
    return "Test";
}

std::string EndingSummary(const TestEnding& ending) {
    const std::string test = TestName(ending.Test);
    switch (ending.How) {
        case Ending::EndVoltage:
            return test + " finished: end voltage reached";
        case Ending::DeltaV:
            return test + " finished: negative delta-V seen";
        case Ending::RateSteppedDownToZero:
            return test + " finished: full at the voltage ceiling";
        case Ending::TimeLimit:
            return test + " finished: time limit reached";
        case Ending::CycleDone:
            return Format("Auto Cycle: cycle %d of %d done", ending.Cycle, ending.Of);
        case Ending::CycleLimit:
            return Format("Auto Cycle finished: all %d cycles done", ending.Of);
        case Ending::CapacityStoppedGrowing:
            return "Auto Cycle finished: the capacity stopped growing";
        case Ending::Measured:
            return "Resistance measured";
        case Ending::StoppedByUser:
            return test + " stopped by the user";
        case Ending::MeasurementFailure:
            return test + " stopped: the pack voltage could not be measured";
        case Ending::OverVoltage:
            return test + " stopped: the pack read above the most its cells may reach";
        case Ending::Refused:
            return test + " refused: nothing was switched on";
        case Ending::GraphNotSaved:
            return test + " stopped: the cycle's graph could not be saved";
    }
    return test + " ended";
}

std::string EndingBody(const TestEnding& ending) {
    std::string body;
    const auto line = [&body](const std::string& text) {
        if (!body.empty()) {
            body += '\n';
        }
        body += text;
    };
    if (ending.Cycle != 0 && ending.How != Ending::CycleLimit &&
        ending.How != Ending::CapacityStoppedGrowing) {
        std::string where = Format("Cycle %d of %d", ending.Cycle, ending.Of);
        if (ending.Test == TestKind::AutoCycle && ending.How != Ending::CycleDone) {
            where += ending.Phase == TestKind::Charge ? ", charging" : ", discharging";
        }
        line(where);
    }
    if (ending.How == Ending::CycleDone || ending.How == Ending::CycleLimit ||
        ending.How == Ending::CapacityStoppedGrowing) {
        line(Format("Discharged %1.0f mAh, charged %1.0f mAh", ending.DischargedMilliampHours,
                    ending.ChargedMilliampHours));
    }
    const TestFigures& figures = ending.Figures;
    // A test that never reached its first pass has no figures to give.
    const bool ran = figures.Cells > 0 && ending.How != Ending::Refused &&
                     ending.How != Ending::Measured && figures.Volts != 0.0;
    if (ran) {
        const double perCell = figures.Volts / figures.Cells;
        line(Format("Time %s  Voltage %1.2f V (%1.3f V per cell)",
                    ElapsedTime(figures.Elapsed).c_str(), figures.Volts, perCell));
        if (ending.Phase != TestKind::Monitor) {
            line(Format("%s %1.0f mAh (%1.0f mWh)",
                        ending.Phase == TestKind::Charge ? "Charged" : "Discharged",
                        figures.AmpSeconds * texts::PerHour, figures.WattSeconds * texts::PerHour));
        }
    }
    if (!ending.Detail.empty()) {
        line(ending.Detail);
    }
    return body;
}

}  // namespace voltrex
