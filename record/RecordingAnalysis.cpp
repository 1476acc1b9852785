// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingAnalysis.h"

#include <array>
#include <memory>

#include "analysis/AnalysisProgress.h"
#include "analysis/ParallelAnalysis.h"
#include "common/SampleRates.h"
#include "record/CodeStore.h"
#include "record/RecordingReader.h"
#include "record/RecordingSource.h"

namespace {

// The share of the progress bar the reading takes: parsing a table takes longer than the
// figures of its codes, reading HDF5 a small part of them.
constexpr double kTableReadShare = 0.6;
constexpr double kHdf5ReadShare = 0.15;

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

bool Wanted(const RecordingAnalysis::Request& request, int channel) {
    return !request.onlyChannel || *request.onlyChannel == channel;
}

// The codes of each channel analysed, as the file hands them on.
class Stores {
public:
    explicit Stores(const RecordingAnalysis::Request& analysisRequest) : request(analysisRequest) {}

    // False when a store could not take them.
    bool Add(const RecordingReader::Contents& contents, std::span<const std::int32_t> ch0,
             std::span<const std::int32_t> ch1) {
        if (!fMade) {
            Make(contents);
        }
        const std::span<const std::int32_t> codes[2] = {ch0, ch1};
        for (std::size_t c = 0; c < stores.size(); ++c) {
            if (stores[c] && !codes[c].empty() && !stores[c]->Append(codes[c])) {
                return false;
            }
        }
        return true;
    }
    // The store of a channel of the file, made (empty) when no row came; nothing when what it
    // still had for its file could not be written.
    const CodeStore* Finished(const RecordingReader::Contents& contents, int channel) {
        if (!fMade) {
            Make(contents);
        }
        CodeStore& store = *stores[static_cast<std::size_t>(channel)];
        return store.Finish() ? &store : nullptr;
    }

private:
    // A store per channel analysed, each with its share of the budget and room for the rows
    // the file says it holds.
    void Make(const RecordingReader::Contents& contents) {
        fMade = true;
        std::size_t wanted = 0;
        for (const int channel : contents.channels) {
            wanted += Wanted(request, channel);
        }
        const std::size_t budget = request.memoryBudget.value_or(CodeStore::DefaultBudget());
        for (const int channel : contents.channels) {
            if (Wanted(request, channel)) {
                auto store = std::make_unique<CodeStore>(budget / wanted);
                store->Reserve(contents.rowsAhead);
                stores[static_cast<std::size_t>(channel)] = std::move(store);
            }
        }
    }

    const RecordingAnalysis::Request& request;
    bool fMade = false;
    std::array<std::unique_ptr<CodeStore>, 2> stores;
};

}  // namespace

std::optional<RecordingAnalysis> RecordingAnalysis::Analyse(const Request& request,
                                                            Failure* failure, std::string* reason) {
    *failure = Failure::None;
    AnalysisProgress ownProgress;
    AnalysisProgress& progress = request.progress != nullptr ? *request.progress : ownProgress;
    progress.SetReadShare(RecordingSource::IsHdf5(request.path) ? kHdf5ReadShare : kTableReadShare);
    RecordingReader::Contents contents;
    Stores stores(request);
    // The header is read when the first rows arrive: a table that does not say its rate is
    // refused before the rest of it is read.
    bool fNoRate = false;
    bool fStoreFailed = false;
    const auto read = [&](std::span<const std::int32_t> ch0, std::span<const std::int32_t> ch1) {
        fNoRate = !RateOf(contents, request.sampleRate);
        fStoreFailed = !fNoRate && !stores.Add(contents, ch0, ch1);
        progress.SetRead(contents.fractionRead);
        return !fNoRate && !fStoreFailed && !progress.Cancelled();
    };
    if (!RecordingSource::Read(request.path, contents, read, reason)) {
        *failure = fNoRate                ? Failure::NoSampleRate
                   : fStoreFailed         ? Failure::TemporaryFile
                   : progress.Cancelled() ? Failure::Cancelled
                                          : Failure::BadFile;
        return std::nullopt;
    }
    progress.SetRead(1.0);
    RecordingAnalysis result;
    result.settings = contents.settings;
    result.sampleRate = *RateOf(contents, request.sampleRate);
    std::vector<const CodeSeries*> series;
    for (const int channel : contents.channels) {
        if (!Wanted(request, channel)) {
            continue;
        }
        const CodeStore* store = stores.Finished(contents, channel);
        if (store == nullptr) {
            *failure = Failure::TemporaryFile;
            return std::nullopt;
        }
        series.push_back(store);
        result.channels.push_back({channel, store->Count(), std::nullopt});
    }
    auto analyses =
        ParallelAnalysis::Compute(series, result.sampleRate, request.fDynamic, progress);
    if (!analyses) {
        *failure = progress.Cancelled() ? Failure::Cancelled : Failure::TemporaryFile;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < result.channels.size(); ++i) {
        result.channels[i].analysis = std::move((*analyses)[i]);
    }
    return result;
}
