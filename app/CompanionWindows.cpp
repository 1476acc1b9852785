// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CompanionWindows.h"

#include <optional>

#include "app/BoardUse.h"
#include "app/NoiseAnalysisWindow.h"
#include "app/RecordingWindow.h"
#include "common/Prompts.h"
#include "measure/Measurement.h"

CompanionWindows::CompanionWindows(QWidget& mainWindow, Acquisition& acquisition,
                                   BoardUse& boardUse, TmyMessage& messageCatalogue,
                                   Prompts& windowPrompts, Acquisition::NowFunction nowFunction)
    : owner(mainWindow),
      engine(acquisition),
      use(boardUse),
      messages(messageCatalogue),
      prompts(windowPrompts),
      now(std::move(nowFunction)) {}

CompanionWindows::~CompanionWindows() {
    delete recording;
}

NoiseAnalysisWindow& CompanionWindows::OpenAnalysis() {
    if (analysis == nullptr) {
        analysis = new NoiseAnalysisWindow(prompts, &owner);
    }
    analysis->show();
    analysis->raise();
    analysis->activateWindow();
    return *analysis;
}

void CompanionWindows::ShowAnalysis(const Measurement& data) {
    OpenAnalysis();
    Follow(data);
}

void CompanionWindows::Follow(const Measurement& data) {
    if (analysis == nullptr || !analysis->isVisible()) {
        return;
    }
    const auto codesOf = [&data](int channel) {
        const ChannelSeries& series = data.Series(channel);
        return data.HasData(channel)
                   ? NoiseAnalysisWindow::ChannelCodes(std::in_place, series.Codes,
                                                       static_cast<std::size_t>(series.Count))
                   : std::nullopt;
    };
    analysis->ShowData(data.Settings, codesOf(0), codesOf(1));
}

void CompanionWindows::AnalyseChosenFile(const Measurement& data) {
    const auto chosen =
        prompts.AskOpenFileName(NoiseAnalysisWindow::kOpenFilter.toStdString(), std::string());
    if (!chosen || chosen->empty()) {
        return;
    }
    // A window just opened shows the data on screen until the file is read.
    const bool fWasOpen = analysis != nullptr && analysis->isVisible();
    OpenAnalysis();
    if (!fWasOpen) {
        Follow(data);
    }
    analysis->ShowFile(QString::fromStdString(*chosen));
}

void CompanionWindows::ShowRecording() {
    if (recording == nullptr) {
        // The analysis window shows a recording until the data on screen change.
        recording = new RecordingWindow(
            engine, use, messages, prompts, now,
            [this](const QString& path) { OpenAnalysis().ShowRecording(path); }, &owner);
    }
    recording->show();
    recording->raise();
    recording->activateWindow();
}

bool CompanionWindows::MayClose() {
    return use.Holder() != BoardUse::User::Recording || recording->close();
}
