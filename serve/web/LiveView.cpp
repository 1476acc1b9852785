// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/LiveView.h"

#include "analysis/DynamicFigureTable.h"
#include "analysis/NoiseAnalysis.h"
#include "analysis/NoiseFigureTable.h"
#include "common/Codes.h"
#include "common/SettingTexts.h"
#include "measure/StatusLineText.h"
#include "serve/web/ChartColumns.h"
#include "common/JsonText.h"

namespace {

// The ".DTA" file's largest count: the window's largest.
constexpr std::int32_t kMostDataFileSamples = kSampleCounts[kSampleCountCount - 1];

template <typename Texts>
std::string TextList(const Texts& texts) {
    std::string list = "[";
    for (const auto& text : texts) {
        list += (list.size() > 1 ? "," : "") + JsonText::Quoted(text);
    }
    return list + ']';
}

std::string NumberList(const std::vector<std::int32_t>& numbers) {
    std::string list = "[";
    for (const std::int32_t number : numbers) {
        list += (list.size() > 1 ? "," : "") + std::to_string(number);
    }
    return list + ']';
}

std::string RowsJson(const std::vector<NoiseFigure>& rows) {
    std::string json;
    for (const NoiseFigure& row : rows) {
        json += (json.empty() ? "{\"name\":" : ",{\"name\":") + JsonText::Quoted(row.name) +
                ",\"value\":" + JsonText::Quoted(NoiseFigureTable::ValueText(row)) +
                ",\"unit\":" + JsonText::Quoted(row.unit) +
                ",\"note\":" + JsonText::Quoted(row.note) + '}';
    }
    return json;
}

std::string ChannelFigures(std::span<const std::int32_t> codes, const MeasureSettings& settings) {
    const auto analysis = NoiseAnalysis::WithDynamic(codes, settings);
    if (!analysis) {
        return "[" + RowsJson({{NoiseFigureTable::kTooFewSamplesText, std::nullopt, ""}}) + "]";
    }
    std::string rows = RowsJson(NoiseFigureTable::Rows(*analysis));
    if (analysis->dynamic && analysis->dynamic->sine) {
        rows += ',' + RowsJson(DynamicFigureTable::Rows(*analysis->dynamic, std::ssize(codes)));
    }
    return '[' + rows + ']';
}

}  // namespace

LiveView::LiveView(ScpiInstrument& shared) : instrument(shared) {
    instrument.Attach(this);
}

LiveView::~LiveView() {
    instrument.Detach(this);
}

void LiveView::RunEnding(const ScpiInstrument::RunEnd& end) {
    status = end.fFailed    ? StatusLineText::kMeasureError
             : end.fAborted ? StatusLineText::kStopped
                            : StatusLineText::kFinished;
    samplesBefore += static_cast<std::uint64_t>(instrument.Samples().Acquired());
    fRunningSeen = false;
    runSeen = end.run;
    Changed();
}

void LiveView::Notice() {
    if (instrument.Busy() &&
        (instrument.RunNumber() != runSeen || instrument.Running() != fRunningSeen)) {
        runSeen = instrument.RunNumber();
        fRunningSeen = instrument.Running();
        status = fRunningSeen ? StatusLineText::kMeasuring : StatusLineText::kStarting;
        Changed();
    }
    std::string settings = SettingsJson();
    if (settings != settingsSeen) {
        settingsSeen = std::move(settings);
        Changed();
    }
}

std::uint64_t LiveView::SamplesTotal() const {
    return samplesBefore +
           (instrument.Running() ? static_cast<std::uint64_t>(instrument.Samples().Acquired()) : 0);
}

bool LiveView::Behind(const Page& page) const {
    return page.columns > 0 &&
           (page.stateSeen != version || page.chartRun != instrument.RunNumber() ||
            page.samplesSent != instrument.Samples().Acquired());
}

std::string LiveView::Update(Page& page) {
    std::string parts;
    if (page.stateSeen != version) {
        parts = "\"state\":" + StateJson(page);
        page.stateSeen = version;
    }
    const std::string chart = ChartJson(page);
    if (!chart.empty()) {
        parts += (parts.empty() ? "\"chart\":" : ",\"chart\":") + chart;
    }
    return parts.empty() ? parts : '{' + parts + '}';
}

std::string LiveView::SettingsJson() const {
    const ScpiInstrument::Settings& setup = instrument.Setup();
    const MeasureSettings& settings = setup.run.settings;
    return "{\"rate\":" + std::to_string(settings.spsSel) + ",\"filter\":\"" +
           (settings.fSinc5 ? "sinc5" : "sinc3") +
           "\",\"channel\":" + std::to_string(settings.CHSel) +
           ",\"count\":" + std::to_string(setup.run.count) + '}';
}

std::string LiveView::StateJson(const Page& page) {
    return "{\"status\":" + JsonText::Quoted(status) +
           ",\"busy\":" + (instrument.Busy() ? "true" : "false") +
           ",\"running\":" + (instrument.Running() ? "true" : "false") +
           ",\"settings\":" + settingsSeen + ",\"rates\":" + TextList(SettingTexts::kRates) +
           ",\"channels\":" + TextList(SettingTexts::kChannels) +
           ",\"counts\":" + NumberList({std::begin(kSampleCounts), std::end(kSampleCounts)}) +
           ",\"countMost\":" + std::to_string(Acquisition::kMaxStartCount) +
           ",\"codeRule\":{\"midScale\":" + std::to_string(kMidScaleCode) +
           ",\"microvoltsPerCode\":" + JsonText::Number(kMicrovoltsPerCode) +
           "},\"control\":{\"allowed\":" + (page.control.fAllowed ? "true" : "false") +
           ",\"password\":" + (page.control.fPassword ? "true" : "false") +
           ",\"note\":" + JsonText::Quoted(page.control.text) + "},\"result\":" + ResultJson() +
           '}';
}

// Statistics lines, figures and downloads of the finished run; null while one runs or none has.
std::string LiveView::ResultJson() {
    const Measurement& data = instrument.Samples();
    if (instrument.Busy() || data.Acquired() == 0) {
        return "null";
    }
    std::string codes;
    std::string volts;
    for (int channel = 0; channel < 2; ++channel) {
        if (data.HasData(channel)) {
            codes += (codes.empty() ? "" : ",") +
                     JsonText::Quoted(StatusLineText::Statistics(data, channel, false));
            volts += (volts.empty() ? "" : ",") +
                     JsonText::Quoted(StatusLineText::Statistics(data, channel, true));
        }
    }
    return "{\"count\":" + std::to_string(data.Acquired()) + ",\"statistics\":{\"codes\":[" +
           codes + "],\"volts\":[" + volts + "]},\"figures\":" + FiguresJson() +
           ",\"footnote\":" + JsonText::Quoted(NoiseFigureTable::kMissingCodesNote) +
           ",\"dataFile\":" + (data.Acquired() <= kMostDataFileSamples ? "true" : "false") + '}';
}

const std::string& LiveView::FiguresJson() {
    const Measurement& data = instrument.Samples();
    if (figuresRun != instrument.RunNumber() || figuresCount != data.Acquired()) {
        figuresRun = instrument.RunNumber();
        figuresCount = data.Acquired();
        figures.clear();
        for (int channel = 0; channel < 2; ++channel) {
            if (data.HasData(channel)) {
                figures += (figures.empty() ? "" : ",") + std::string("{\"channel\":") +
                           std::to_string(channel) +
                           ",\"rows\":" + ChannelFigures(data.Taken(channel), data.Settings) + '}';
            }
        }
        figures = '[' + figures + ']';
    }
    return figures;
}

std::string LiveView::ChartJson(Page& page) const {
    const Measurement& data = instrument.Samples();
    const std::int64_t acquired = data.Acquired();
    const std::int64_t count = instrument.Running() ? instrument.RunInfo().count : acquired;
    if (page.columns <= 0) {
        return {};
    }
    const ChartColumns columns(count, page.columns);
    if (page.chartRun != instrument.RunNumber() || page.chartCount != count ||
        page.chartWidth != columns.Width()) {
        page = {page.columns,
                page.control,
                page.stateSeen,
                instrument.RunNumber(),
                count,
                columns.Width(),
                0,
                -1};
    }
    if (acquired == page.samplesSent) {
        return {};
    }
    const std::int64_t first = page.columnsSent;
    const std::int64_t last = acquired > 0 ? columns.ColumnOf(acquired - 1) + 1 : 0;
    std::string json =
        "{\"run\":" + std::to_string(page.chartRun) + ",\"count\":" + std::to_string(count) +
        ",\"columns\":" + std::to_string(columns.Width()) + ",\"first\":" + std::to_string(first) +
        ",\"acquired\":" + std::to_string(acquired);
    std::int32_t newest[2] = {0, 0};
    for (int channel = 0; channel < 2; ++channel) {
        const auto codes = data.Taken(channel);
        if (!codes.empty() && instrument.RunInfo().Measures(channel)) {
            json += ",\"ch" + std::to_string(channel) +
                    "\":" + NumberList(columns.Extremes(codes, first, last));
            newest[channel] = codes.back();
        }
    }
    if (instrument.Running() && acquired > 0) {
        const std::string progress =
            instrument.RunInfo().settings.CHSel == 2
                ? StatusLineText::ProgressTwo(static_cast<std::int32_t>(acquired), newest[0],
                                              newest[1])
                : StatusLineText::Progress(static_cast<std::int32_t>(acquired),
                                           newest[instrument.RunInfo().settings.CHSel]);
        json += ",\"progress\":" + JsonText::Quoted(progress);
    }
    page.columnsSent = columns.Complete(acquired);
    page.samplesSent = acquired;
    return json + '}';
}
