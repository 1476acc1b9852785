// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/RealTransform.h"

#include <fftw3.h>

#include <bit>
#include <map>
#include <mutex>

namespace {

// FFTW's planner (making and destroying plans) is not thread-safe, executing a plan on new
// arrays is: a recording's figures run on several threads.
std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}

// Planned on arrays of FFTW's own alignment, as every transform's buffers are, so the plan fits
// them all. The caller holds the planner's lock.
fftw_plan MakePlan(std::int64_t length) {
    double* in = fftw_alloc_real(static_cast<std::size_t>(length));
    fftw_complex* out = fftw_alloc_complex(static_cast<std::size_t>(length / 2 + 1));
    const fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(length), in, out, FFTW_ESTIMATE);
    fftw_free(out);
    fftw_free(in);
    return plan;
}

// The segments of the spectra are powers of two, a few lengths used over and over: their plans
// are made once and kept. Any other length (the dynamic figures' series) gets a plan of its own,
// destroyed with its transform, so the lengths of many runs do not pile up plans.
bool Kept(std::int64_t length) {
    return std::has_single_bit(static_cast<std::uint64_t>(length));
}

// The kept plans, destroyed when the program ends (no transform runs then).
struct KeptPlans {
    std::map<std::int64_t, fftw_plan> byLength;
    KeptPlans() = default;
    KeptPlans(const KeptPlans&) = delete;
    KeptPlans& operator=(const KeptPlans&) = delete;
    ~KeptPlans() {
        for (const auto& [length, plan] : byLength) {
            fftw_destroy_plan(plan);
        }
    }
};

fftw_plan PlanFor(std::int64_t length) {
    static KeptPlans kept;
    const std::lock_guard guard(PlannerLock());
    if (!Kept(length)) {
        return MakePlan(length);
    }
    const auto known = kept.byLength.find(length);
    if (known != kept.byLength.end()) {
        return known->second;
    }
    return kept.byLength.emplace(length, MakePlan(length)).first->second;
}

}  // namespace

RealTransform::RealTransform(std::int64_t transformLength)
    : length(transformLength),
      input(fftw_alloc_real(static_cast<std::size_t>(transformLength))),
      output(fftw_alloc_complex(static_cast<std::size_t>(transformLength / 2 + 1))),
      plan(PlanFor(transformLength)) {}

RealTransform::~RealTransform() {
    if (!Kept(length)) {
        const std::lock_guard guard(PlannerLock());
        fftw_destroy_plan(plan);
    }
    fftw_free(output);
    fftw_free(input);
}

void RealTransform::Execute() {
    fftw_execute_dft_r2c(plan, input, output);
}
