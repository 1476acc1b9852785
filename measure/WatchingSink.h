// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "measure/AcquisitionSink.h"

// A front end watching a run: it hears of the start, of each block after the sinks before it
// took it, and of the end, and keeps nothing itself.
class WatchingSink : public AcquisitionSink {
public:
    std::function<void(const AcquisitionInfo&)> onBegin;
    std::function<void(const SampleBlock&)> onTake;
    std::function<void(AcquisitionOutcome)> onEnd;

    bool Begin(const AcquisitionInfo& run) override {
        if (onBegin) {
            onBegin(run);
        }
        return true;
    }
    bool Take(const SampleBlock& block) override {
        if (onTake) {
            onTake(block);
        }
        return true;
    }
    bool End(AcquisitionOutcome outcome) override {
        if (onEnd) {
            onEnd(outcome);
        }
        return true;
    }
};
