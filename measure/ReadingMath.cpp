// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ReadingMath.h"

double ReadingMath::Apply(double volts) const {
    const double nulled = null.fOn ? volts - null.volts : volts;
    return scale.fOn ? scale.gain * nulled + scale.offset : nulled;
}

ReadingMath::Verdict ReadingMath::Check(double value) const {
    if (!limit.fOn) {
        return Verdict::Inside;
    }
    if (value < limit.lower) {
        return Verdict::Low;
    }
    return value > limit.upper ? Verdict::High : Verdict::Inside;
}

const std::string& ReadingMath::Unit() const {
    static const std::string volts = "V";
    return scale.fOn ? scale.unit : volts;
}
