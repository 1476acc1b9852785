// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmark process has used so far.
namespace ProcessUsage {

// Processor time of every thread of the process, user and system, in seconds.
double CpuSeconds();
// Resident memory (VmRSS) in KiB, or -1 when it cannot be read.
long ResidentKiB();

}  // namespace ProcessUsage
