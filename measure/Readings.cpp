// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Readings.h"

#include <algorithm>
#include <cmath>

#include "common/Codes.h"

namespace {

constexpr double kMicrovoltsPerVolt = 1e6;

}  // namespace

std::int64_t ReadingAperture::SamplesPerReading(double samplesPerSecond) const {
    if (!Integrates()) {
        return 1;
    }
    return std::max<std::int64_t>(1, std::llround(lineCycles * samplesPerSecond / lineHz));
}

std::vector<double> Readings::MeanVolts(std::span<const std::int32_t> codes,
                                        std::int64_t perReading, std::int32_t gainFactor) {
    const auto size = static_cast<std::size_t>(perReading);
    std::vector<double> volts;
    volts.reserve(codes.size() / size);
    for (std::size_t first = 0; first + size <= codes.size(); first += size) {
        // Exact in integers; a group of one is the code rule of one sample.
        std::int64_t offsets = 0;
        for (const std::int32_t code : codes.subspan(first, size)) {
            offsets += std::int64_t{code} - kMidScaleCode;
        }
        const double meanOffset = static_cast<double>(offsets) / static_cast<double>(perReading);
        volts.push_back(OffsetToMicrovolts(meanOffset, gainFactor) / kMicrovoltsPerVolt);
    }
    return volts;
}
