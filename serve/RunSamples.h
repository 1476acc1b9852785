// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "measure/AcquisitionSink.h"

// The instrument's last measurement: the codes of both channels as a run delivers them, up to
// one start command's 1,048,575 samples per channel. The room is taken once, when the server
// starts, and never again per run.
class RunSamples : public AcquisitionSink {
public:
    static constexpr std::int64_t kCapacity = 0xFFFFF;

    RunSamples();

    bool Begin(const AcquisitionInfo& run) override;
    // False (the run ends as a failed write) past the room.
    bool Take(const SampleBlock& block) override;
    bool End(AcquisitionOutcome outcome) override;

    // A new run is under way: what was held is stale.
    void Clear() { count = 0; }
    // Samples per channel held so far.
    std::int64_t Count() const { return count; }
    // A channel the run did not measure is empty.
    std::span<const std::int32_t> Codes(int channel) const;
    const AcquisitionInfo& Info() const { return info; }

private:
    std::unique_ptr<std::int32_t[]> ch0;
    std::unique_ptr<std::int32_t[]> ch1;
    std::int64_t count = 0;
    AcquisitionInfo info;
};
