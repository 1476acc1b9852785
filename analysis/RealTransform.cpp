// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/RealTransform.h"

#include <fftw3.h>

RealTransform::RealTransform(std::int64_t transformLength)
    : length(transformLength),
      input(fftw_alloc_real(static_cast<std::size_t>(transformLength))),
      output(fftw_alloc_complex(static_cast<std::size_t>(transformLength / 2 + 1))),
      plan(fftw_plan_dft_r2c_1d(static_cast<int>(transformLength), input, output, FFTW_ESTIMATE)) {}

RealTransform::~RealTransform() {
    fftw_destroy_plan(plan);
    fftw_free(output);
    fftw_free(input);
}

void RealTransform::Execute() {
    fftw_execute(plan);
}

double RealTransform::SquaredMagnitude(std::size_t k) const {
    const double re = output[k][0];
    const double im = output[k][1];
    return re * re + im * im;
}
