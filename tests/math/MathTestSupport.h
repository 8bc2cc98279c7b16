// Shared helpers of the math library's tests: a repeatable pseudo-random
// source for the property tests, so a failure names inputs that can be
// replayed.
#pragma once

#include <cstdint>
#include <random>

namespace KXMathTest {

/// How many random inputs each property test draws.
inline constexpr int kRandomCases = 2000;

/// A fixed-seed source of uniform doubles and integers.
class Random {
public:
    explicit Random(std::uint64_t seed) : engine(seed) {}

    double Uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine); }
    float Unit() { return static_cast<float>(Uniform(0.0, 1.0)); }
    std::int64_t Integer(std::int64_t low, std::int64_t high)
    {
        return std::uniform_int_distribution<std::int64_t>(low, high)(engine);
    }

private:
    std::mt19937_64 engine;
};

} // namespace KXMathTest
