// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/RealTransform.h"

#include <fftw3.h>

#include <map>
#include <mutex>

namespace {

// The plan of each length, made on first use under one lock and kept: the analysis of a
// recording runs its figures on several threads, and FFTW's planner is not thread-safe
// (executing a plan on new arrays is). Planned on arrays of FFTW's own alignment, as every
// transform's buffers are, so the plan fits them all.
fftw_plan PlanFor(std::int64_t length) {
    static std::mutex lock;
    static std::map<std::int64_t, fftw_plan> plans;
    const std::lock_guard guard(lock);
    const auto known = plans.find(length);
    if (known != plans.end()) {
        return known->second;
    }
    double* in = fftw_alloc_real(static_cast<std::size_t>(length));
    fftw_complex* out = fftw_alloc_complex(static_cast<std::size_t>(length / 2 + 1));
    const fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(length), in, out, FFTW_ESTIMATE);
    fftw_free(out);
    fftw_free(in);
    plans.emplace(length, plan);
    return plan;
}

}  // namespace

RealTransform::RealTransform(std::int64_t transformLength)
    : length(transformLength),
      input(fftw_alloc_real(static_cast<std::size_t>(transformLength))),
      output(fftw_alloc_complex(static_cast<std::size_t>(transformLength / 2 + 1))),
      plan(PlanFor(transformLength)) {}

RealTransform::~RealTransform() {
    fftw_free(output);
    fftw_free(input);
}

void RealTransform::Execute() {
    fftw_execute_dft_r2c(plan, input, output);
}
