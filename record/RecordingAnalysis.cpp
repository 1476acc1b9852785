// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingAnalysis.h"

#include <algorithm>
#include <array>
#include <memory>

#include "common/SampleRates.h"
#include "record/RecordingReader.h"
#include "record/RecordingSource.h"
#include "record/RunningSumFile.h"

namespace {

// What the first pass keeps of one channel.
struct ChannelPass {
    bool fWanted = false;
    NoiseStatisticsSums sums;
    RunningSumFile runningSums;
};

// The figures of the second pass: the histogram and the spectra from the codes read back, and
// the first codes for the dynamic figures where they are wanted.
struct SecondPass {
    SecondPass(const NoiseStatistics& statistics, std::int64_t count, double sampleRate,
               bool fDynamic)
        : histogram(statistics),
          welch(WelchSpectrum::SegmentLengthFor(count), sampleRate),
          logSpectrum(sampleRate),
          lowFrequency(sampleRate),
          firstCodesWanted(fDynamic ? std::min(count, DynamicFigures::kMaxSamples) : 0) {
        firstCodes.reserve(static_cast<std::size_t>(firstCodesWanted));
    }

    void AddFirstCodes(std::span<const std::int32_t> codes) {
        const auto room = static_cast<std::size_t>(firstCodesWanted) - firstCodes.size();
        const std::span<const std::int32_t> taken = codes.first(std::min(room, codes.size()));
        firstCodes.insert(firstCodes.end(), taken.begin(), taken.end());
    }

    CodeHistogramCounter histogram;
    WelchSpectrum welch;
    LogFrequencySpectrum logSpectrum;
    LowFrequencyNoise lowFrequency;
    std::int64_t firstCodesWanted;
    std::vector<std::int32_t> firstCodes;
};

// The codes read back a stretch at a time into every figure of the second pass.
bool AddSecondPass(RunningSumFile& file, SecondPass& pass) {
    std::vector<std::int32_t> codes(RecordingReader::kStretch);
    for (std::int64_t first = 0; first < file.Count();
         first += static_cast<std::int64_t>(codes.size())) {
        const auto n = static_cast<std::size_t>(
            std::min(file.Count() - first, static_cast<std::int64_t>(codes.size())));
        const std::span<std::int32_t> stretch = std::span(codes).first(n);
        if (!file.ReadCodes(first, stretch)) {
            return false;
        }
        pass.histogram.Add(stretch);
        pass.welch.AddCodes(stretch);
        pass.logSpectrum.Add(stretch);
        pass.lowFrequency.Add(stretch);
        pass.AddFirstCodes(stretch);
    }
    return true;
}

// Every figure of the channel, none below two samples; false when the running sums could not
// be read back.
bool Figures(ChannelPass& pass, double sampleRate, bool fDynamic,
             std::optional<NoiseAnalysis>& figures) {
    RunningSumFile& file = pass.runningSums;
    const std::int64_t count = pass.sums.Count();
    if (!file.Finish()) {
        return false;
    }
    if (count < NoiseAnalysis::kMinSamples) {
        return true;
    }
    NoiseAnalysis analysis;
    analysis.sampleRate = sampleRate;
    analysis.statistics = pass.sums.Result(sampleRate);
    SecondPass second(analysis.statistics, count, sampleRate, fDynamic);
    if (!AddSecondPass(file, second)) {
        return false;
    }
    std::optional<AllanDeviation> allan = AllanDeviation::FromRunningSums(
        count, sampleRate, [&file](std::int64_t first, std::span<std::int64_t> out) {
            return file.ReadSums(first, out);
        });
    if (!allan) {
        return false;
    }
    analysis.histogram = second.histogram.Result();
    analysis.spectrum = second.welch.Result();
    analysis.logSpectrum = second.logSpectrum.Result();
    analysis.lowFrequencyNoise = second.lowFrequency.Result();
    analysis.allan = std::move(*allan);
    if (fDynamic) {
        analysis.dynamic = DynamicFigures::Compute(second.firstCodes, sampleRate);
    }
    figures = std::move(analysis);
    return true;
}

// The rate the figures take: the one given, else the one the file states.
std::optional<double> RateOf(const RecordingReader::Contents& contents,
                             std::optional<double> given) {
    if (given) {
        return given;
    }
    if (contents.fRateIndex) {
        return SampleRates::SamplesPerSecond(contents.settings);
    }
    return contents.sampleRate;
}

}  // namespace

std::optional<RecordingAnalysis> RecordingAnalysis::Analyse(const std::string& path,
                                                            std::optional<int> onlyChannel,
                                                            Failure* failure,
                                                            std::optional<double> sampleRate,
                                                            std::string* reason, bool fDynamic) {
    *failure = Failure::None;
    std::array<std::unique_ptr<ChannelPass>, 2> passes;
    bool fTemporaryFailed = false;
    RecordingReader::Contents contents;
    // The header is read when the first rows arrive: a table that does not say its rate is
    // refused before the rest of it is read.
    bool fNoRate = false;
    const auto firstPass = [&](std::span<const std::int32_t> ch0,
                               std::span<const std::int32_t> ch1) {
        fNoRate = !RateOf(contents, sampleRate);
        if (fNoRate) {
            return false;
        }
        const std::span<const std::int32_t> codes[2] = {ch0, ch1};
        for (std::size_t c = 0; c < passes.size(); ++c) {
            if (passes[c] && !codes[c].empty()) {
                passes[c]->sums.Add(codes[c]);
                fTemporaryFailed = fTemporaryFailed || !passes[c]->runningSums.Append(codes[c]);
            }
        }
        return !fTemporaryFailed;
    };
    for (int channel = 0; channel < 2; ++channel) {
        if (!onlyChannel || *onlyChannel == channel) {
            passes[static_cast<std::size_t>(channel)] = std::make_unique<ChannelPass>();
            fTemporaryFailed =
                fTemporaryFailed || !passes[static_cast<std::size_t>(channel)]->runningSums.Open();
        }
    }
    if (fTemporaryFailed || !RecordingSource::Read(path, contents, firstPass, reason)) {
        *failure = fNoRate            ? Failure::NoSampleRate
                   : fTemporaryFailed ? Failure::TemporaryFile
                                      : Failure::BadFile;
        return std::nullopt;
    }
    RecordingAnalysis result;
    result.settings = contents.settings;
    result.sampleRate = *RateOf(contents, sampleRate);
    for (const int channel : contents.channels) {
        ChannelPass* pass = passes[static_cast<std::size_t>(channel)].get();
        if (pass == nullptr) {
            continue;
        }
        std::optional<NoiseAnalysis> analysis;
        if (!Figures(*pass, result.sampleRate, fDynamic, analysis)) {
            *failure = Failure::TemporaryFile;
            return std::nullopt;
        }
        result.channels.push_back({channel, pass->sums.Count(), std::move(analysis)});
    }
    return result;
}
