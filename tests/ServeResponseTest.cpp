// SPDX-License-Identifier: GPL-3.0-or-later
// Volts as the instrument sends them, against the code rule worked out in integers:
// (code - 8388608) x 2.5 V / 8388607.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "serve/ScpiResponse.h"

namespace {

constexpr std::int32_t kMidScale = 8388608;
constexpr double kDivisor = 8388607.0;
// Two neighbouring codes either side of 1.25 V, where a 32-bit float has steps of 0.12 µV
// against the code's 0.298 µV.
const std::vector<std::int32_t> kNeighbours = {12582911, 12582912};

// How far `volts` lies from the code's exact value, in nanovolts times 8388607 (integers).
double ErrorTimesDivisor(double volts, std::int32_t code) {
    const std::int64_t exact = (std::int64_t{code} - kMidScale) * 2'500'000'000;
    return std::abs(volts * 1e9 * kDivisor - static_cast<double>(exact));
}

template <typename T>
std::vector<T> BigEndianBlock(const std::string& block) {
    const std::size_t header = 2 + static_cast<std::size_t>(block[1] - '0');
    std::vector<T> values;
    for (std::size_t at = header; at + sizeof(T) <= block.size(); at += sizeof(T)) {
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            bits = bits << 8 | static_cast<unsigned char>(block[at + i]);
        }
        using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
        values.push_back(std::bit_cast<T>(static_cast<Bits>(bits)));
    }
    return values;
}

TEST(ServeResponse, NeighbouringCodesNear1_25VoltsGiveTextsOneCodeStepApart) {
    std::string text;
    ScpiResponse::AppendSamples(text, kNeighbours, {}, 1, false, {});
    EXPECT_EQ(text, "1.249999851E+00,1.250000149E+00");
    const double low = std::strtod(text.c_str(), nullptr);
    const double high = std::strtod(text.c_str() + text.find(',') + 1, nullptr);
    // Ten significant digits of 1.25 V: within half a nanovolt.
    EXPECT_LE(ErrorTimesDivisor(low, kNeighbours[0]), 0.5 * kDivisor);
    EXPECT_LE(ErrorTimesDivisor(high, kNeighbours[1]), 0.5 * kDivisor);
    EXPECT_NEAR((high - low) * 1e6, 2.5e6 / kDivisor, 0.001) << "0.298 µV apart";
}

TEST(ServeResponse, BinaryBlocksHoldTheDoubleOfTheCodeAndItsSingleRounding) {
    std::string block;
    ScpiResponse::AppendSamples(block, kNeighbours, {}, 1, false,
                                {ScpiDataFormat::Kind::Real64, false});
    const std::vector<double> doubles = BigEndianBlock<double>(block);
    ASSERT_EQ(doubles.size(), 2U);
    for (std::size_t i = 0; i < doubles.size(); ++i) {
        EXPECT_LE(ErrorTimesDivisor(doubles[i], kNeighbours[i]), 8.0) << "a double's rounding";
    }
    block.clear();
    ScpiResponse::AppendSamples(block, kNeighbours, {}, 1, false,
                                {ScpiDataFormat::Kind::Real32, false});
    const std::vector<float> singles = BigEndianBlock<float>(block);
    ASSERT_EQ(singles.size(), 2U);
    for (std::size_t i = 0; i < singles.size(); ++i) {
        EXPECT_EQ(singles[i], static_cast<float>(doubles[i]));
    }
}

TEST(ServeResponse, FiguresLeaveOffTheZerosOfTheirRounding) {
    const std::pair<double, const char*> figures[] = {
        {31250.0, "3.125E+04"},         {1.25, "1.25E+00"},
        {9.91e37, "9.91E+37"},          {0.0, "0E+00"},
        {-4.0001e-6, "-4.0001E-06"},    {1.0 / 3.0, "3.333333333E-01"},
        {2.0 / 3.0, "6.666666667E-01"},
    };
    for (const auto& [value, expected] : figures) {
        std::string text;
        ScpiResponse::AppendReal(text, value);
        EXPECT_EQ(text, expected) << value;
    }
}

}  // namespace
