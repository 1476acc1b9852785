// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

struct fftw_plan_s;

// FFTW's real-to-complex transform of one length, with its buffers: fill Input(), Execute(),
// read the bins 0 .. length / 2. Transforms may run on several threads at once: plans are
// made and destroyed under one lock, and those of powers of two made once and shared.
class RealTransform {
public:
    // `length` is at least 2; any length, a power of two is merely fastest.
    explicit RealTransform(std::int64_t length);
    ~RealTransform();
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    std::span<double> Input() { return {input, static_cast<std::size_t>(length)}; }
    void Execute();
    std::size_t Bins() const { return static_cast<std::size_t>(length / 2 + 1); }
    // |X[k]|² of the last transform, k < Bins().
    double SquaredMagnitude(std::size_t k) const {
        return output[k][0] * output[k][0] + output[k][1] * output[k][1];
    }

private:
    std::int64_t length;
    double* input;
    double (*output)[2];  // fftw_complex[Bins()]
    fftw_plan_s* plan;    // shared and kept for a power of two, else this transform's own
};
