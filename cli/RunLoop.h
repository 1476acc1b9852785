// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class Acquisition;

// The command line's loop around a run of the acquisition engine: a wake, then a sleep in
// poll() until the driver announces data, the engine's deadline has come, or Ctrl-C or
// SIGTERM, which stop the run as the stop button does. The run costs almost no processor time
// between blocks.
namespace RunLoop {

// Until the run ends; `afterWake` sees each wake's progress.
void Drive(Acquisition& engine, const std::function<void()>& afterWake = {});

}  // namespace RunLoop
