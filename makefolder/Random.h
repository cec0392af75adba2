#pragma once

#include <cmath>
#include <cstdint>

namespace voltrex::makefolder {

// A small random source whose numbers depend on the seed alone, on every
// compiler and library (the standard distributions do not promise that):
// splitmix64 for the bits, Box-Muller for the normal ones.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    double Uniform(double from, double to) { return from + (to - from) * Uniform(); }
    // In [from, to].
    int Integer(int from, int to) {
        return from + static_cast<int>(Next() % static_cast<std::uint64_t>(to - from + 1));
    }
    bool Chance(double probability) { return Uniform() < probability; }
    // Mean 0, deviation 1.
    double Normal() {
        const double u = 1.0 - Uniform();  // (0, 1]: the logarithm stays finite
        const double v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * 3.141592653589793 * v);
    }

  private:
    std::uint64_t state_;
};

}  // namespace voltrex::makefolder
