// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/RunSamples.h"

#include <algorithm>

// Left uninitialised: the pages are touched only as far as runs fill them.
RunSamples::RunSamples() : ch0(new std::int32_t[kCapacity]), ch1(new std::int32_t[kCapacity]) {}

bool RunSamples::Begin(const AcquisitionInfo& run) {
    info = run;
    count = 0;
    return true;
}

bool RunSamples::Take(const SampleBlock& block) {
    const auto size = static_cast<std::int64_t>(block.Size());
    if (block.firstSample != count || count + size > kCapacity) {
        return false;
    }
    std::copy(block.ch0.begin(), block.ch0.end(), ch0.get() + count);
    std::copy(block.ch1.begin(), block.ch1.end(), ch1.get() + count);
    count += size;
    return true;
}

bool RunSamples::End(AcquisitionOutcome) {
    return true;
}

std::span<const std::int32_t> RunSamples::Codes(int channel) const {
    if (!info.Measures(channel)) {
        return {};
    }
    return {(channel == 0 ? ch0 : ch1).get(), static_cast<std::size_t>(count)};
}
