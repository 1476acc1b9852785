// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

// How far an analysis has come, and the operator's wish to stop it: shared by the threads that
// read the file and compute the figures and the one that shows the bar. Reading the file fills
// the first share of the bar (how large, the reader says: parsing a table takes longer than
// reading HDF5), the figures the rest, in units of work whose whole is known before the first.
class AnalysisProgress {
public:
    // `share` of the bar, from 0 to 1, is the reading's.
    void SetReadShare(double share) { readShare.store(share); }
    // `fraction` of the file, from 0 to 1, has been read.
    void SetRead(double fraction) { read.store(fraction); }
    // The figures' whole work, once, before they begin.
    void SetFigureWork(std::int64_t units) { work.store(units); }
    void Advance(std::int64_t units) { done.fetch_add(units, std::memory_order_relaxed); }
    // From 0 to 1; never falls.
    double Fraction() const;

    // Any thread may ask it to stop; the analysis then ends at its next stretch of codes.
    void Cancel() { fCancelled.store(true); }
    bool Cancelled() const { return fCancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<double> readShare{0.0};
    std::atomic<double> read{0.0};
    std::atomic<std::int64_t> work{0};
    std::atomic<std::int64_t> done{0};
    std::atomic<bool> fCancelled{false};
};
