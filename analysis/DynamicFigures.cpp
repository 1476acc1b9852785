// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/DynamicFigures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

#include "analysis/Decibels.h"
#include "analysis/RealTransform.h"
#include "common/Codes.h"

namespace {

constexpr std::size_t kDcBins = 8;  // bins 0 .. 7
constexpr std::size_t kLobeHalfWidth = 7;
constexpr std::int64_t kHarmonicSearchBins = 2;
constexpr int kLastHarmonic = 10;
constexpr int kLastThdHarmonic = 6;
constexpr double kSineOverMedian = 1e4;  // 40 dB
constexpr double kFullScalePower = kReferenceMicrovolts * kReferenceMicrovolts / 2.0;
constexpr double kIdealSinadOffsetDb = 1.76;
constexpr double kDbPerBit = 6.02;
constexpr double kNanovoltsPerMicrovolt = 1000.0;

// The periodic 7-term Blackman–Harris window: w[n] = Σ (−1)^k a_k cos(2πkn / N).
constexpr std::array<double, 7> kBlackmanHarris7 = {
    0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
    0.01081174209837, 0.00077658482522, 0.00001388721735};

// Bins first .. last, both included.
struct Bins {
    std::size_t first = 0;
    std::size_t last = 0;

    bool Contains(std::size_t k) const { return first <= k && k <= last; }
    bool Overlaps(const Bins& other) const { return first <= other.last && other.first <= last; }
};

// A tone of the spectrum: its largest bin and the bins its power is summed over.
struct Tone {
    int order = 1;
    std::size_t peak = 0;
    Bins bins;
    double power = 0.0;
    double frequencyHz = 0.0;
};

// The one-sided power spectrum in µV² per bin, as the definitions in the header give it.
class PowerSpectrum {
public:
    PowerSpectrum(std::span<const std::int32_t> codes, double sampleRate)
        : length(static_cast<std::int64_t>(codes.size())),
          binHz(sampleRate / static_cast<double>(codes.size())) {
        RealTransform transform(length);
        const auto input = transform.Input();
        double windowPower = 0.0;
        const double mean =
            static_cast<double>(std::accumulate(codes.begin(), codes.end(), std::int64_t{0})) /
            static_cast<double>(length);
        for (std::size_t n = 0; n < codes.size(); ++n) {
            const double w = Window(n);
            windowPower += w * w;
            input[n] = (codes[n] - mean) * kMicrovoltsPerCode * w;
        }
        transform.Execute();
        power.resize(transform.Bins());
        const double scale = 1.0 / (static_cast<double>(length) * windowPower);
        for (std::size_t k = 0; k < power.size(); ++k) {
            power[k] = transform.SquaredMagnitude(k) * scale * 2.0 * Weight(k);
        }
    }

    std::size_t Size() const { return power.size(); }
    double operator[](std::size_t k) const { return power[k]; }
    double BinHz() const { return binHz; }
    // The noise a bin holds, in bins: ½ at 0 Hz and at half the rate, whose bins have no
    // mirror, 1 elsewhere. The weights of all bins add up to N / 2.
    double Weight(std::size_t k) const {
        const bool fHalfRate = length % 2 == 0 && k == static_cast<std::size_t>(length / 2);
        return (k == 0 || fHalfRate) ? 0.5 : 1.0;
    }
    double HalfLength() const { return 0.5 * static_cast<double>(length); }
    Bins AboveDc() const { return {kDcBins, Size() - 1}; }

    double Sum(const Bins& bins) const {
        return std::accumulate(power.begin() + static_cast<long>(bins.first),
                               power.begin() + static_cast<long>(bins.last) + 1, 0.0);
    }
    // The power-weighted centre of `bins`, in bins.
    double Centre(const Bins& bins) const {
        double moment = 0.0;
        for (std::size_t k = bins.first; k <= bins.last; ++k) {
            moment += static_cast<double>(k) * power[k];
        }
        const double sum = Sum(bins);
        return sum > 0.0 ? moment / sum : 0.5 * static_cast<double>(bins.first + bins.last);
    }
    std::size_t Largest(const Bins& bins) const {
        return static_cast<std::size_t>(
            std::max_element(power.begin() + static_cast<long>(bins.first),
                             power.begin() + static_cast<long>(bins.last) + 1) -
            power.begin());
    }
    // ±kLobeHalfWidth bins around `k`, within `limits`.
    static Bins Lobe(std::size_t k, const Bins& limits) {
        return {std::max(k, limits.first + kLobeHalfWidth) - kLobeHalfWidth,
                std::min(k + kLobeHalfWidth, limits.last)};
    }
    // Where a tone at `bin` (any number of bins) lands after folding into 0 .. N/2.
    double Folded(double bin) const {
        const double n = static_cast<double>(length);
        const double wrapped = std::fmod(bin, n);
        return wrapped > 0.5 * n ? n - wrapped : wrapped;
    }

private:
    // cos(kθ) by the recurrence cos(kθ) = 2 cos θ cos((k − 1)θ) − cos((k − 2)θ): one cosine
    // per sample instead of six, which matters for a million samples.
    double Window(std::size_t n) const {
        const double c1 =
            std::cos(2.0 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(length));
        double previous = 1.0;
        double current = c1;
        double w = kBlackmanHarris7[0] - kBlackmanHarris7[1] * c1;
        double sign = 1.0;
        for (std::size_t k = 2; k < kBlackmanHarris7.size(); ++k) {
            const double next = 2.0 * c1 * current - previous;
            previous = current;
            current = next;
            w += sign * kBlackmanHarris7[k] * current;
            sign = -sign;
        }
        return w;
    }

    std::int64_t length;
    double binHz;
    std::vector<double> power;
};

// The largest bin above DC when it stands kSineOverMedian above the median of those bins.
std::optional<std::size_t> FindFundamentalPeak(const PowerSpectrum& power) {
    const Bins above = power.AboveDc();
    std::vector<double> levels;
    levels.reserve(above.last - above.first + 1);
    for (std::size_t k = above.first; k <= above.last; ++k) {
        levels.push_back(power[k]);
    }
    const auto middle = levels.begin() + static_cast<long>(levels.size() / 2);
    std::nth_element(levels.begin(), middle, levels.end());
    const std::size_t peak = power.Largest(above);
    if (!(power[peak] > 0.0) || power[peak] < kSineOverMedian * *middle) {
        return std::nullopt;
    }
    return peak;
}

Tone Fundamental(const PowerSpectrum& power, std::size_t peak) {
    Tone tone;
    tone.peak = peak;
    tone.bins = PowerSpectrum::Lobe(peak, power.AboveDc());
    tone.power = power.Sum(tone.bins);
    tone.frequencyHz = power.Centre(tone.bins) * power.BinHz();
    return tone;
}

// Harmonics 2 .. kLastHarmonic that keep clear of DC, the fundamental and the harmonics
// counted before them.
std::vector<Tone> CountedHarmonics(const PowerSpectrum& power, const Tone& fundamental) {
    const double centre = fundamental.frequencyHz / power.BinHz();
    const auto lastBin = static_cast<std::int64_t>(power.Size() - 1);
    std::vector<Tone> harmonics;
    for (int order = 2; order <= kLastHarmonic; ++order) {
        const double bin = power.Folded(order * centre);
        const std::int64_t nearest = std::llround(bin);
        const Bins search{
            static_cast<std::size_t>(std::max<std::int64_t>(nearest - kHarmonicSearchBins, 0)),
            static_cast<std::size_t>(
                std::min<std::int64_t>(nearest + kHarmonicSearchBins, lastBin))};
        Tone tone;
        tone.order = order;
        tone.peak = power.Largest(search);
        tone.bins = PowerSpectrum::Lobe(tone.peak, {0, power.Size() - 1});
        const bool fClash =
            tone.bins.first < kDcBins || tone.bins.Overlaps(fundamental.bins) ||
            std::any_of(harmonics.begin(), harmonics.end(),
                        [&](const Tone& earlier) { return tone.bins.Overlaps(earlier.bins); });
        if (fClash) {
            continue;
        }
        tone.power = power.Sum(tone.bins);
        tone.frequencyHz = bin * power.BinHz();
        harmonics.push_back(tone);
    }
    return harmonics;
}

// The largest spur outside DC and the fundamental: its bins stop short of the fundamental's.
std::optional<Tone> LargestSpur(const PowerSpectrum& power, const Tone& fundamental) {
    const Bins above = power.AboveDc();
    std::optional<std::size_t> peak;
    for (const Bins side : {Bins{above.first, fundamental.bins.first - 1},
                            Bins{fundamental.bins.last + 1, above.last}}) {
        if (side.first > side.last || side.last < above.first || side.first > above.last) {
            continue;
        }
        const std::size_t largest = power.Largest(side);
        if (!peak || power[largest] > power[*peak]) {
            peak = largest;
        }
    }
    if (!peak) {
        return std::nullopt;
    }
    Tone spur;
    spur.peak = *peak;
    spur.bins = PowerSpectrum::Lobe(*peak, above);
    if (*peak < fundamental.bins.first) {
        spur.bins.last = std::min(spur.bins.last, fundamental.bins.first - 1);
    } else {
        spur.bins.first = std::max(spur.bins.first, fundamental.bins.last + 1);
    }
    spur.power = power.Sum(spur.bins);
    spur.frequencyHz = power.Centre(spur.bins) * power.BinHz();
    return spur;
}

// The sums over bins above DC outside the fundamental's: all of them (for SINAD), and those
// outside the harmonics' too (the noise), each with the noise weight of its bins.
struct NoiseSums {
    double otherPower = 0.0;
    double otherWeight = 0.0;
    double noisePower = 0.0;
    double noiseWeight = 0.0;
};

NoiseSums SumNoise(const PowerSpectrum& power, const Tone& fundamental,
                   const std::vector<Tone>& harmonics) {
    NoiseSums sums;
    const Bins above = power.AboveDc();
    for (std::size_t k = above.first; k <= above.last; ++k) {
        if (fundamental.bins.Contains(k)) {
            continue;
        }
        sums.otherPower += power[k];
        sums.otherWeight += power.Weight(k);
        const bool fHarmonic = std::any_of(harmonics.begin(), harmonics.end(),
                                           [k](const Tone& h) { return h.bins.Contains(k); });
        if (!fHarmonic) {
            sums.noisePower += power[k];
            sums.noiseWeight += power.Weight(k);
        }
    }
    return sums;
}

std::optional<double> Bits(std::optional<double> sinadDb) {
    if (!sinadDb) {
        return std::nullopt;
    }
    return (*sinadDb - kIdealSinadOffsetDb) / kDbPerBit;
}

void SetNoiseFigures(const PowerSpectrum& power, const Tone& fundamental,
                     const std::vector<Tone>& harmonics, SineFigures& figures) {
    const NoiseSums sums = SumNoise(power, fundamental, harmonics);
    const double perBin = sums.noiseWeight > 0.0 ? sums.noisePower / sums.noiseWeight : 0.0;
    const double noise = perBin * power.HalfLength();
    const double noiseAndDistortion =
        sums.otherPower + perBin * (power.HalfLength() - sums.otherWeight);
    figures.snrDb = PowerRatioDecibels(fundamental.power / noise);
    figures.sinadDb = PowerRatioDecibels(fundamental.power / noiseAndDistortion);
    figures.enobBits = Bits(figures.sinadDb);
    if (figures.sinadDb) {
        figures.enobFullScaleBits = Bits(*figures.sinadDb - figures.fundamentalDbfs);
    }
    figures.noiseFloorDbfs = PowerRatioDecibels(perBin / kFullScalePower);
    const double halfRateHz = power.HalfLength() * power.BinHz();
    const double density = noise / halfRateHz;  // µV²/Hz
    figures.noiseDensityDbfsPerHz = PowerRatioDecibels(density / kFullScalePower);
    if (figures.noiseDensityDbfsPerHz) {
        figures.noiseDensityNanovoltsPerRootHz = std::sqrt(density) * kNanovoltsPerMicrovolt;
    }
}

void SetDistortionFigures(const PowerSpectrum& power, const Tone& fundamental,
                          const std::vector<Tone>& harmonics, SineFigures& figures) {
    double thdPower = 0.0;
    bool fThdCounted = false;
    for (const Tone& harmonic : harmonics) {
        if (harmonic.order <= kLastThdHarmonic) {
            thdPower += harmonic.power;
            fThdCounted = true;
        }
        if (const auto dbc = PowerRatioDecibels(harmonic.power / fundamental.power)) {
            figures.harmonics.push_back({harmonic.order, harmonic.frequencyHz, *dbc});
        }
    }
    if (fThdCounted) {
        figures.thdDb = PowerRatioDecibels(thdPower / fundamental.power);
    }
    if (const auto spur = LargestSpur(power, fundamental)) {
        figures.sfdrDb = PowerRatioDecibels(fundamental.power / spur->power);
        if (figures.sfdrDb) {
            figures.sfdrSpurHz = spur->frequencyHz;
        }
    }
}

double Dbfs(double power) {
    return 10.0 * std::log10(power / kFullScalePower);
}

// A bin's height in the chart, which has no place for −∞.
double ChartDbfs(double power) {
    return power > 0.0 ? std::max(Dbfs(power), DynamicSpectrum::kEmptyBinDbfs)
                       : DynamicSpectrum::kEmptyBinDbfs;
}

DynamicSpectrum Chart(const PowerSpectrum& power, const std::vector<Tone>& tones) {
    DynamicSpectrum chart;
    chart.binHz = power.BinHz();
    const std::size_t group =
        (power.Size() + DynamicSpectrum::kChartPoints - 1) / DynamicSpectrum::kChartPoints;
    for (std::size_t first = 0; first < power.Size(); first += group) {
        const std::size_t k = power.Largest({first, std::min(first + group, power.Size()) - 1});
        chart.frequencyHz.push_back(static_cast<double>(k) * power.BinHz());
        chart.dbfs.push_back(ChartDbfs(power[k]));
    }
    for (const Tone& tone : tones) {
        chart.marks.push_back({tone.order, static_cast<double>(tone.peak) * power.BinHz(),
                               ChartDbfs(power[tone.peak])});
    }
    return chart;
}

}  // namespace

DynamicFigures DynamicFigures::Compute(std::span<const std::int32_t> codes, double sampleRate) {
    DynamicFigures figures;
    if (static_cast<std::int64_t>(codes.size()) < kMinSamples) {
        return figures;
    }
    codes = codes.first(
        static_cast<std::size_t>(std::min(static_cast<std::int64_t>(codes.size()), kMaxSamples)));
    figures.samplesUsed = static_cast<std::int64_t>(codes.size());
    const PowerSpectrum power(codes, sampleRate);
    const auto peak = FindFundamentalPeak(power);
    if (!peak) {
        figures.spectrum = Chart(power, {});
        return figures;
    }
    const Tone fundamental = Fundamental(power, *peak);
    const std::vector<Tone> harmonics = CountedHarmonics(power, fundamental);
    SineFigures sine;
    sine.fundamentalHz = fundamental.frequencyHz;
    sine.fundamentalDbfs = Dbfs(fundamental.power);
    sine.fundamentalMicrovoltsRms = std::sqrt(fundamental.power);
    SetNoiseFigures(power, fundamental, harmonics, sine);
    SetDistortionFigures(power, fundamental, harmonics, sine);
    sine.fit = SineFit::Compute(codes, sampleRate, fundamental.frequencyHz);
    figures.sine = std::move(sine);
    std::vector<Tone> tones{fundamental};
    tones.insert(tones.end(), harmonics.begin(), harmonics.end());
    figures.spectrum = Chart(power, tones);
    return figures;
}
