// The numbers of the CSV: shortest text, every bit kept, one spelling on
// every system.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "text/number_text.h"

namespace {

uint64_t Bits(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(NumberText, WritesTheShortestTextThatReadsBack) {
    const double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {60.0, "60"},
        {0.5, "0.5"},
        {46.25, "46.25"},
        {70.0 * 0.01, "0.7000000000000001"},  // %.10g printed 0.7 and hid the last bit
        {0.35, "0.35"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0 / 3.0, "0.3333333333333333"},
        {1e300, "1e+300"},
        {-2.5e-8, "-2.5e-08"},
        {123456789012.0, "123456789012"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {kInf, "inf"},
        {-kInf, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {-std::numeric_limits<double>::quiet_NaN(), "-nan"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(host::NumberText(c.value), c.text) << "bits " << std::hex << Bits(c.value);
    }
}

// Any double, read back with the C library, is the same double bit for bit.
TEST(NumberText, RoundTripsEveryBit) {
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        const std::string text = host::NumberText(value);
        EXPECT_EQ(Bits(std::strtod(text.c_str(), nullptr)), bits) << text;
    }
}

}  // namespace
