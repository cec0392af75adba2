#include "records/TestMode.h"

#include <array>

namespace voltrex {

namespace {

constexpr std::array<TestMode, 3> Modes = {TestMode::Discharge, TestMode::Charge,
                                           TestMode::Monitor};

}  // namespace

const char* ModeCode(TestMode mode) {
    switch (mode) {
        case TestMode::Discharge:
            return "DIS";
        case TestMode::Charge:
            return "CHG";
        case TestMode::Monitor:
            return "MON";
    }
    return "";
}

std::optional<TestMode> ParseModeCode(std::string_view code) {
    for (const TestMode mode : Modes) {
        if (code == ModeCode(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

}  // namespace voltrex
