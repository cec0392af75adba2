#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "config/Configuration.h"
#include "instrument/Instrument.h"
#include "testsupport/RecordingPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

// An instrument on port 0x378 of a recording fake, with the log cleared after
// the start-up all-off write.
class InstrumentFixture : public ::testing::Test {
  protected:
    InstrumentFixture() : port_(clock_), instrument_(clock_, calibration_) {
        for (int i = 0; i < 12; ++i) {
            calibration_.BitWeights[static_cast<std::size_t>(i)] = 0.001 * (1 << i);
        }
        calibration_.LowSideMultiplier = 2.0;
        calibration_.HighSideMultiplier = 10.0;
        instrument_.BindPort(port_);
        instrument_.SetPortAddress(0x378);
        port_.ClearLog();
    }

    // Brings the latch to a value by a manual write sequence, then clears the log.
    void SetLatch(std::uint8_t value) {
        instrument_.SetLatchManual(value & 0x0F, (value & 0x10) != 0, (value & 0x20) != 0);
        ASSERT_EQ(instrument_.ControlLatch(), value);
        port_.ClearLog();
    }

    // The writes since the log was cleared, as (value, milliseconds after the first write).
    std::vector<std::pair<int, int>> Timeline() const {
        std::vector<std::pair<int, int>> timeline;
        const auto& writes = port_.Writes();
        for (const auto& w : writes) {
            timeline.emplace_back(w.Value,
                                  static_cast<int>((w.Time - writes.front().Time) * 1000 + 0.5));
        }
        return timeline;
    }

    VirtualClock clock_;
    RecordingPort port_;
    CalibrationBlock calibration_;
    Instrument instrument_;
};

}  // namespace voltrex::testing
