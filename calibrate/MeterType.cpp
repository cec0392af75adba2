#include "calibrate/MeterType.h"

#include <cmath>
#include <iterator>

namespace voltrex {

namespace {
constexpr double VoltRanges[] = {0.2, 2.0, 20.0, 200.0, 1000.0};
constexpr double AmpereRanges[] = {0.2, 2.0, 20.0};
}  // namespace

const char* MeterTypeName(MeterType type) {
    return type == MeterType::ThreeAndAHalfDigits ? "3 1/2-digit meter" : "4 1/2-digit meter";
}

double MeterResolution(MeterType type, double value, bool amperes) {
    const double counts = type == MeterType::ThreeAndAHalfDigits ? 2000.0 : 20000.0;
    const double magnitude = std::fabs(value);
    const double* begin = amperes ? std::begin(AmpereRanges) : std::begin(VoltRanges);
    const double* end = amperes ? std::end(AmpereRanges) : std::end(VoltRanges);
    double range = *(end - 1);
    for (const double* r = begin; r != end; ++r) {
        if (magnitude <= *r * (counts - 1.0) / counts + 1e-12) {
            range = *r;
            break;
        }
    }
    return range / counts;
}

}  // namespace voltrex
