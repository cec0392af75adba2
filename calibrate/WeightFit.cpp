#include "calibrate/WeightFit.h"

#include <cmath>

#include "platform/CFormat.h"

namespace voltrex {

namespace {

constexpr int Bits = 12;

// Solves the normal equations A x = b of n unknowns (A symmetric) by Gaussian
// elimination with partial pivoting; false when A is singular.
template <std::size_t N>
bool Solve(std::array<std::array<double, N>, N> a, std::array<double, N> b,
           std::array<double, N>& x) {
    for (std::size_t column = 0; column < N; ++column) {
        std::size_t pivot = column;
        for (std::size_t row = column + 1; row < N; ++row) {
            if (std::fabs(a[row][column]) > std::fabs(a[pivot][column])) {
                pivot = row;
            }
        }
        if (std::fabs(a[pivot][column]) < 1e-9 * std::fabs(a[0][0]) || a[pivot][column] == 0.0) {
            return false;
        }
        std::swap(a[pivot], a[column]);
        std::swap(b[pivot], b[column]);
        for (std::size_t row = column + 1; row < N; ++row) {
            const double factor = a[row][column] / a[column][column];
            for (std::size_t k = column; k < N; ++k) {
                a[row][k] -= factor * a[column][k];
            }
            b[row] -= factor * b[column];
        }
    }
    for (std::size_t row = N; row-- > 0;) {
        double sum = b[row];
        for (std::size_t k = row + 1; k < N; ++k) {
            sum -= a[row][k] * x[k];
        }
        x[row] = sum / a[row][row];
    }
    return true;
}

// How much the fit trusts a reading, relative to one of 1 mV resolution.
double Trust(const CountReading& reading) {
    const double digit = std::fmax(reading.Resolution, 1e-5) / 0.001;
    return 1.0 / (digit * digit);
}

// The fit of the weights and of the constant beside them.
template <std::size_t N>
bool Fit(const std::vector<CountReading>& readings, std::array<double, N>& solution) {
    std::array<std::array<double, N>, N> normal{};
    std::array<double, N> right{};
    for (const CountReading& reading : readings) {
        std::array<double, N> row{};
        for (int bit = 0; bit < Bits; ++bit) {
            row[static_cast<std::size_t>(bit)] = ((reading.Count >> bit) & 1) != 0 ? 1.0 : 0.0;
        }
        row[Bits] = 1.0;
        const double weight = Trust(reading);
        for (std::size_t i = 0; i < N; ++i) {
            for (std::size_t j = 0; j < N; ++j) {
                normal[i][j] += weight * row[i] * row[j];
            }
            right[i] += weight * row[i] * reading.Volts;
        }
    }
    return Solve(normal, right, solution);
}

double ModelAt(const std::array<double, Bits>& weights, std::int32_t count) {
    double sum = 0.0;
    for (int bit = 0; bit < Bits; ++bit) {
        if (((count >> bit) & 1) != 0) {
            sum += weights[static_cast<std::size_t>(bit)];
        }
    }
    return sum;
}

}  // namespace

std::vector<std::int32_t> DesignCounts() {
    std::vector<std::int32_t> counts{0};
    for (int bit = 0; bit < Bits; ++bit) {
        counts.push_back(1 << bit);
    }
    for (int bit = 0; bit < Bits; ++bit) {
        counts.push_back(4095 - (1 << bit));
    }
    counts.push_back(RepeatedCount);
    return counts;
}

WeightFit FitWeights(const std::vector<CountReading>& readings) {
    WeightFit result;
    std::array<double, Bits + 1> solution{};
    if (!Fit(readings, solution)) {
        return result;
    }
    result.Determined = true;
    std::copy(solution.begin(), solution.begin() + Bits, result.Weights.begin());
    result.Offset = solution[Bits];
    double squares = 0.0;
    double digitSquares = 0.0;
    double worstDigits = -1.0;
    for (const CountReading& reading : readings) {
        const double residual =
            reading.Volts - result.Offset - ModelAt(result.Weights, reading.Count);
        const double digits = residual / std::fmax(reading.Resolution, 1e-5);
        squares += residual * residual;
        digitSquares += digits * digits;
        if (std::fabs(digits) > worstDigits) {
            worstDigits = std::fabs(digits);
            result.WorstResidual = residual;
            result.WorstCount = reading.Count;
        }
    }
    const auto n = static_cast<double>(readings.size());
    result.ResidualRms = std::sqrt(squares / n);
    result.ResidualDigits = std::sqrt(digitSquares / n);
    result.WorstDigits = worstDigits;
    return result;
}

std::optional<std::string> CheckFitAgainstNoise(const WeightFit& fit, double repeatDigits) {
    const double allowed = std::fmax(3.5, 3.0 * repeatDigits);
    if (fit.WorstDigits <= allowed) {
        return std::nullopt;
    }
    return Format(
        "The reading of count %d is %.2f mV (%.1f digits of the meter) off the fit, where the "
        "meter's and the board's noise account for %.1f digits at most: please read that count "
        "again.",
        fit.WorstCount, fit.WorstResidual * 1000.0, fit.WorstDigits, allowed);
}

}  // namespace voltrex
