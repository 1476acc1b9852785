// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecordingWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cerrno>
#include <filesystem>

#include "common/Prompts.h"
#include "messages/Mymessage.h"
#include "record/RecordingTexts.h"
#include "status/StatusTexts.h"

namespace {

const QString kCompleteText = QStringLiteral("記録が終わりました");
const QString kCutShortText = QStringLiteral("記録が途中で終わりました");
const QString kRecordingText = QStringLiteral("記録中");

// A name of either type keeps its extension; any other becomes a CSV file's.
QString WithRecordingExtension(const QString& name) {
    const bool fTyped = name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ||
                        RecordingSink::TypeOf(name.toStdString()) == RecordingSink::Type::Hdf5;
    return fTyped ? name : name + ".csv";
}

bool Exists(const QString& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path.toStdString(), error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

RecordingWindow::RecordingWindow(Acquisition& engine, BoardUse& boardUse,
                                 TmyMessage& messageCatalogue, Prompts& windowPrompts,
                                 NowFunction now, AnalyseFunction analyseFunction, QWidget* parent)
    : QWidget(parent, Qt::Window),
      use(boardUse),
      messages(messageCatalogue),
      prompts(windowPrompts),
      analyse(std::move(analyseFunction)),
      recorder(engine, now) {
    SetupUi(*this);
    view = std::make_unique<RecordingView>(*this, recorder, std::move(now));
    recorder.SetBlockObserver([this](const SampleBlock& block) { view->TakeBlock(block); });
    connect(BrowseBtn, &QPushButton::clicked, this, &RecordingWindow::BrowseBtnClick);
    connect(StartBtn, &QPushButton::clicked, this, &RecordingWindow::StartBtnClick);
    connect(AnalyseBtn, &QPushButton::clicked, this, &RecordingWindow::AnalyseBtnClick);
    connect(&use, &BoardUse::Changed, this, &RecordingWindow::UpdateStartButton);
    UpdateStartButton();
}

RecordingWindow::~RecordingWindow() {
    // The window goes with the program: a recording's file is finished and the board told to
    // stop (a run of the main window is left as it is).
    wake.Disarm();
    recorder.Stop();
    use.Release(BoardUse::User::Recording);
}

// The start waits while the main window measures; the stop is always there.
void RecordingWindow::UpdateStartButton() {
    StartBtn->setEnabled(recorder.Recording() || use.Holder() == BoardUse::User::None);
}

// ---- Start and stop -------------------------------------------------------------------------

void RecordingWindow::BrowseBtnClick() {
    const auto chosen =
        prompts.AskSaveFileName("CSV ファイル (*.csv);;HDF5 ファイル (*.h5 *.hdf5)", "*.csv");
    if (chosen && !chosen->empty()) {
        FileEdit->setText(WithRecordingExtension(QString::fromStdString(*chosen)));
    }
}

void RecordingWindow::StartBtnClick() {
    if (recorder.Recording()) {
        StopRecording();
        return;
    }
    if (use.Holder() != BoardUse::User::None) {
        return;
    }
    const auto request = RequestFromControls();
    // The questions before ran the event loop: the main window may have started meanwhile.
    if (!request || !use.Take(BoardUse::User::Recording)) {
        return;
    }
    SetControlsEnabled(false);
    StartBtn->setEnabled(false);  // identification waits in the event loop
    AnalyseBtn->setEnabled(false);
    StateLabel->clear();
    view->Begin(*request);
    // Painted now, not while the board's replies are awaited: the replies' time-out runs
    // while the event loop paints, and a slow machine may need longer for the chart.
    repaint();
    if (!Started(recorder.Start(*request, RecordingSink::TypeOf(request->file.path)), *request)) {
        GiveUpStart();
        return;
    }
    recordingPath = QString::fromStdString(request->file.path);
    if (analysablePath == recordingPath) {
        analysablePath.clear();  // replaced by this recording
    }
    view->Started();
    StartBtn->setText(kStopCaption);
    UpdateStartButton();
    if (!recorder.Recording()) {
        Finish();  // the file's header could not be written
        return;
    }
    StateLabel->setText(kRecordingText);
    wake.Arm(recorder.NextWait());
}

std::optional<Recorder::Request> RecordingWindow::RequestFromControls() {
    if (FileEdit->text().trimmed().isEmpty()) {
        BrowseBtnClick();
    }
    const QString name = FileEdit->text().trimmed();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    const QString path = WithRecordingExtension(name);
    FileEdit->setText(path);
    Recorder::Request request = ReadRequest(path.toStdString());
    if (Exists(path)) {
        if (!ConfirmOverwrite(prompts, request.file.path, false)) {
            return std::nullopt;
        }
        request.file.fOverwrite = true;
    }
    return request;
}

// The same failures as the command line's, as the window's boxes.
bool RecordingWindow::Started(Acquisition::StartResult result, const Recorder::Request& request) {
    if (result != Acquisition::StartResult::Refused) {
        messages.StartFailed(result);
        return result == Acquisition::StartResult::Started;
    }
    // A file that exists now was made between the question and the start.
    const int error = recorder.Refused() == FileRefusal::Exists ? EEXIST : recorder.FileError();
    messages.Show(QString::fromStdString(RecordingTexts::FileFailed(request.file.path, error)));
    return false;
}

// The board goes back; the last file stays there for the analysis, unless this start
// replaced it.
void RecordingWindow::GiveUpStart() {
    use.Release(BoardUse::User::Recording);
    SetControlsEnabled(true);
    UpdateStartButton();
    if (!Exists(analysablePath)) {
        analysablePath.clear();
    }
    AnalyseBtn->setEnabled(!analysablePath.isEmpty());
}

void RecordingWindow::RecordWake() {
    recorder.Wake();
    if (recorder.Recording()) {
        wake.Arm(recorder.NextWait());
    } else {
        Finish();
    }
}

void RecordingWindow::StopRecording() {
    wake.Disarm();
    recorder.Stop();
    if (recorder.Recording()) {
        // Asked for during a step of the engine: the next wake finds it stopped.
        wake.Arm(recorder.NextWait());
    } else {
        Finish();
    }
}

void RecordingWindow::Finish() {
    wake.Disarm();
    use.Release(BoardUse::User::Recording);
    SetControlsEnabled(true);
    StartBtn->setText(kStartCaption);
    UpdateStartButton();
    if (recorder.Kept() > 0) {
        analysablePath = recordingPath;
    }
    AnalyseBtn->setEnabled(!analysablePath.isEmpty());
    view->Ended();
    ShowOutcome();
}

void RecordingWindow::ShowOutcome() {
    switch (recorder.Result()) {
        case AcquisitionOutcome::Complete:
            StateLabel->setText(kCompleteText);
            break;
        case AcquisitionOutcome::Stopped:
            StateLabel->setText(StatusTexts::Stopped());
            break;
        case AcquisitionOutcome::TimedOut:
            StateLabel->setText(kCutShortText);
            messages.BoardNoResponse();
            break;
        case AcquisitionOutcome::ReadFailed:
            StateLabel->setText(StatusTexts::MeasureError());
            messages.Show(StatusTexts::MeasureError());
            break;
        case AcquisitionOutcome::WriteFailed: {
            StateLabel->setText(kCutShortText);
            const std::string path = recordingPath.toStdString();
            messages.Show(
                QString::fromStdString(RecordingTexts::FileFailed(path, recorder.FileError()) +
                                       '\n' + RecordingTexts::Kept(path, recorder.Kept())));
            break;
        }
        case AcquisitionOutcome::None:
            break;
    }
}

void RecordingWindow::AnalyseBtnClick() {
    if (!analysablePath.isEmpty() && !recorder.Recording()) {
        analyse(analysablePath);
    }
}

void RecordingWindow::closeEvent(QCloseEvent* event) {
    if (recorder.Recording() || use.Holder() == BoardUse::User::Recording) {
        const bool fStop =
            recorder.Recording() &&
            prompts.AskYesNo("確認", kStopQuestion.toStdString(), "はい(&Y)", "いいえ(&N)", false);
        if (!fStop) {
            event->ignore();  // or still starting: it can be stopped once it runs
            return;
        }
        StopRecording();
    }
    event->accept();
}
