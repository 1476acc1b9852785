// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RunLoop.h"

#include "cli/StopSignal.h"
#include "link/ReadyWait.h"
#include "measure/Acquisition.h"

void RunLoop::Drive(Acquisition& engine, const std::function<void()>& afterWake) {
    while (engine.Running()) {
        if (StopSignal::Requested()) {
            engine.Stop();
            break;
        }
        engine.Wake();
        if (afterWake) {
            afterWake();
        }
        if (engine.Running()) {
            const BlockWait::Sleep next = engine.NextWait();
            ReadyWait::Sleep({next.fd, StopSignal::Descriptor()}, next.duration);
        }
    }
}
