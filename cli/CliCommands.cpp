// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliCommands.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <memory>
#include <string>

#include "Ad7172.h"
#include "AnalysisCharts.h"
#include "AnalysisReport.h"
#include "BoardSession.h"
#include "CliAcquisition.h"
#include "CliMonitor.h"
#include "CliRecording.h"
#include "DeviceChoice.h"
#include "FtdiDeviceList.h"
#include "GraphPicture.h"
#include "MeasurementData.h"
#include "Myfile.h"
#include "Mystatus.h"
#include "ProgressBar.h"
#include "RecordingAnalysis.h"
#include "RecordingReader.h"
#include "StopSignal.h"

namespace {

const QString kProgramName = QStringLiteral("SELKORAN");
const char* const kBoxCaption = "SELKORAN Board";
const QString kDeviceName = QStringLiteral("SELKORAN Board");

void PrintLine(const QString& text) {
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
}

const QString kTemporaryFileFailed = QStringLiteral("解析用の一時ファイルを書けませんでした");

QJsonObject RecordingSettingsJson(const MeasureSettings& settings) {
    return QJsonObject{
        {"spsSel", settings.spsSel}, {"CHSel", settings.CHSel}, {"fSinc5", settings.fSinc5}};
}

QByteArray PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

CliCommands::CliCommands(const CliOptions& cliOptions)
    : options(cliOptions),
      prompts(cliOptions.fForce),
      messages(kProgramName, kBoxCaption, prompts) {}

QString CliCommands::ExistingFileText(const QString& fileName) {
    return QStringLiteral("ファイル：") + fileName +
           QStringLiteral("があります。上書きするには --force を付けてください");
}

int CliCommands::Run() {
    if (options.command == CliOptions::Command::Show) {
        return Show();
    }
    if (options.command == CliOptions::Command::Analyze) {
        return Analyze();
    }
    if (options.command == CliOptions::Command::Info &&
        options.device.toStdString() == kUsbListText) {
        return ListUsbDevices();
    }
    std::string error;
    const std::unique_ptr<FifoDriver> driver = ChooseDevice(options.device.toStdString(), &error);
    if (!driver) {
        PrintError(QString::fromStdString(error));
        return kExitUsage;
    }
    switch (options.command) {
        case CliOptions::Command::Info:
            return Info(*driver);
        case CliOptions::Command::Record:
            return Record(*driver);
        case CliOptions::Command::Monitor:
            return CliMonitor(options, messages).Run(*driver);
        default:
            return Measure(*driver);
    }
}

int CliCommands::Info(FifoDriver& driver) {
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    const std::optional<CliReport::Board> board = Identify(adc);
    if (!board) {
        return kExitFailure;
    }
    PrintLine(board->name + QStringLiteral(" / ") + board->version);
    return kExitOk;
}

// One line per FTDI chip: index, serial number and description, tab-separated.
int CliCommands::ListUsbDevices() {
    std::vector<FtdiDeviceList::Entry> entries;
    if (!FtdiDeviceList::DescribeAll(&entries)) {
        PrintError(QStringLiteral("USB デバイスを調べられませんでした"));
        return kExitFailure;
    }
    if (entries.empty()) {
        PrintError(QStringLiteral("FTDI の USB デバイスはありません"));
    }
    for (const FtdiDeviceList::Entry& entry : entries) {
        PrintLine(QString::number(entry.index) + '\t' + QString::fromStdString(entry.serial) +
                  '\t' + QString::fromStdString(entry.description));
    }
    return kExitOk;
}

int CliCommands::Measure(FifoDriver& driver) {
    if (!OutputMayBeWritten()) {
        return kExitFailure;
    }
    auto data = std::make_unique<MeasurementData>();
    data->Settings = options.Settings();
    std::optional<CliReport::Board> board;
    if (!Acquire(driver, *data, board)) {
        return kExitFailure;
    }
    data->Evaluate();
    return Report(*data, board);
}

bool CliCommands::Acquire(FifoDriver& driver, MeasurementData& data,
                          std::optional<CliReport::Board>& board) {
    const StopSignal stopSignal;
    TADC adc(driver);
    board = Identify(adc);
    if (!board) {
        return false;
    }
    if (!BoardSession(adc).ConfigureAndStart(options.request)) {
        PrintError(TmyStatus::BoardErrorText(kDeviceName));
        return false;
    }
    data.Settings.GainFactor = adc.GetGainFactor();
    CliAcquisition acquisition(adc, options.request, data);
    ProgressBar progress;
    const CliAcquisition::Outcome outcome = acquisition.Run(progress);
    progress.Finish();
    switch (outcome) {
        case CliAcquisition::Outcome::Complete:
            data.SetRunData(options.request.count);
            return true;
        case CliAcquisition::Outcome::Stopped:
            // As the stop button: the samples are kept from 10 on.
            PrintError(TmyStatus::StoppedText());
            if (acquisition.Acquired() < BoardSession::kMinSamplesKept) {
                return false;
            }
            data.SetRunData(acquisition.Acquired());
            return true;
        case CliAcquisition::Outcome::Failed:
            PrintError(TmyStatus::MeasureErrorText());
            return false;
    }
    return false;
}

int CliCommands::Show() {
    auto data = std::make_unique<MeasurementData>();
    if (!LoadDataFile(*data)) {
        return kExitFailure;
    }
    data->Evaluate();
    return Report(*data, std::nullopt);
}

int CliCommands::Analyze() {
    QJsonObject settings;
    std::optional<AnalysisReport> analysis;
    if (RecordingReader::IsTable(options.dataFile.toStdString())) {
        analysis = AnalyseRecording(options.dataFile, settings);
    } else {
        auto data = std::make_unique<MeasurementData>();
        if (!LoadDataFile(*data)) {
            return kExitFailure;
        }
        settings = CliReport(*data, false).SettingsJson();
        analysis = Analyse(*data);
    }
    if (!analysis || !WriteAnalysisPictures(*analysis)) {
        return kExitFailure;
    }
    PrintAnalysis(*analysis, settings, {});
    return kExitOk;
}

int CliCommands::Record(FifoDriver& driver) {
    CliRecording recording(options, messages);
    if (!recording.Run(driver)) {
        return kExitFailure;
    }
    if (!options.fAnalyze && !options.fJson) {
        return kExitOk;
    }
    QJsonObject settings;
    const std::optional<AnalysisReport> analysis = AnalyseRecording(options.output, settings);
    if (!analysis) {
        return kExitFailure;
    }
    const RecordingHeader& header = recording.Header();
    const QJsonObject extra{
        {"board", QJsonObject{{"name", QString::fromStdString(header.boardName)},
                              {"version", QString::fromStdString(header.boardVersion)}}},
        {"file", options.output},
        {"start", QString::fromStdString(RecordingFormat::IsoTime(header.start))},
        {"count", static_cast<qint64>(recording.Written())}};
    PrintAnalysis(*analysis, settings, extra);
    return kExitOk;
}

std::optional<AnalysisReport> CliCommands::AnalyseRecording(const QString& path,
                                                            QJsonObject& settings) {
    RecordingAnalysis::Failure failure = RecordingAnalysis::Failure::None;
    std::optional<RecordingAnalysis> recording =
        RecordingAnalysis::Analyse(path.toStdString(), options.analysisChannel, &failure);
    if (!recording) {
        if (failure == RecordingAnalysis::Failure::BadFile) {
            messages.BadDataFile();
        } else {
            PrintError(kTemporaryFileFailed);
        }
        return std::nullopt;
    }
    settings = RecordingSettingsJson(recording->settings);
    return Checked(AnalysisReport(std::move(*recording), options.analysisChannel));
}

void CliCommands::PrintAnalysis(const AnalysisReport& analysis, const QJsonObject& settings,
                                const QJsonObject& extra) {
    if (options.fJson) {
        std::fputs(analysis.Json(settings, extra).constData(), stdout);
        return;
    }
    for (const QString& line : analysis.Lines()) {
        PrintLine(line);
    }
}

bool CliCommands::LoadDataFile(MeasurementData& data) {
    // Keys the file lacks keep the start-up settings.
    MeasureSettings loaded;
    TmyFile file(prompts);
    if (!file.Load(options.dataFile.toStdString(), loaded, data.Series(0), data.Series(1))) {
        messages.BadDataFile();
        return false;
    }
    data.Settings = loaded;
    return true;
}

std::optional<AnalysisReport> CliCommands::Analyse(const MeasurementData& data) {
    return Checked(AnalysisReport(data, options.analysisChannel));
}

std::optional<AnalysisReport> CliCommands::Checked(AnalysisReport analysis) {
    for (const QString& problem : analysis.Problems()) {
        PrintError(problem);
    }
    if (analysis.Channels().empty()) {
        return std::nullopt;
    }
    return analysis;
}

bool CliCommands::WriteAnalysisPictures(const AnalysisReport& analysis) {
    const AnalysisReport::Channel& shown = analysis.Channels().front();
    const std::pair<const QString&, AnalysisCharts::Kind> pictures[] = {
        {options.histogramFile, AnalysisCharts::Kind::Histogram},
        {options.spectrumFile, AnalysisCharts::Kind::Spectrum},
        {options.allanFile, AnalysisCharts::Kind::Allan}};
    for (const auto& [fileName, kind] : pictures) {
        if (!fileName.isEmpty() &&
            !WriteExport(fileName,
                         PngBytes(AnalysisCharts::Picture(kind, shown.analysis, shown.channel)))) {
            return false;
        }
    }
    return true;
}

std::optional<CliReport::Board> CliCommands::Identify(TADC& adc) {
    std::string name;
    std::string version;
    switch (BoardSession(adc).Identify(name, version)) {
        case BoardSession::IdentifyResult::Ok:
            return CliReport::Board{QString::fromStdString(name), QString::fromStdString(version)};
        case BoardSession::IdentifyResult::NotFound:
        case BoardSession::IdentifyResult::WrongName:
            messages.BoardNotFound();
            return std::nullopt;
        case BoardSession::IdentifyResult::NoResponse:
            messages.BoardNoResponse();
            return std::nullopt;
    }
    return std::nullopt;
}

int CliCommands::Report(MeasurementData& data, const std::optional<CliReport::Board>& board) {
    if (!options.output.isEmpty() && !SaveDataFile(data)) {
        return kExitFailure;
    }
    std::optional<AnalysisReport> analysis;
    if (options.WantsAnalysis()) {
        analysis = Analyse(data);
        if (!analysis || !WriteAnalysisPictures(*analysis)) {
            return kExitFailure;
        }
    }
    const CliReport report(data, options.fVolt);
    if (!options.csvFile.isEmpty() && !WriteExport(options.csvFile, report.Csv())) {
        return kExitFailure;
    }
    if (!options.pngFile.isEmpty() &&
        !WriteExport(options.pngFile, PngBytes(GraphPicture::Render(data, options.fVolt)))) {
        return kExitFailure;
    }
    if (options.fJson) {
        std::fputs(report.Json(board, analysis ? &*analysis : nullptr).constData(), stdout);
        return kExitOk;
    }
    if (options.command == CliOptions::Command::Show) {
        for (const QString& line : report.SettingsLines()) {
            PrintLine(line);
        }
    }
    QStringList lines = report.StatisticsLines();
    if (analysis) {
        lines += analysis->Lines();
    }
    for (const QString& line : lines) {
        PrintLine(line);
    }
    return kExitOk;
}

bool CliCommands::SaveDataFile(const MeasurementData& data) {
    const std::string path = options.output.toStdString();
    TmyFile file(prompts);
    const bool fSaved =
        data.Settings.CHSel == 2
            ? file.SaveTwoChannels(path, data.Settings, data.Series(0), data.Series(1))
            : file.SaveOneChannel(path, data.Settings, data.Series(data.Settings.CHSel));
    if (!fSaved) {
        messages.SaveFailed();
        return false;
    }
    // The file turned up while the run went on: nothing was written.
    if (prompts.Declined()) {
        PrintError(ExistingFileText(options.output));
        return false;
    }
    return true;
}

// Written whole through a temporary file, so a failed write leaves an older file intact.
bool CliCommands::WriteExport(const QString& fileName, const QByteArray& contents) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        messages.SaveFailed();
        return false;
    }
    return true;
}

bool CliCommands::OutputMayBeWritten() {
    const QFileInfo info(options.output);
    if (options.output.isEmpty() || options.fForce || !info.exists() || info.isDir()) {
        return true;
    }
    PrintError(ExistingFileText(options.output));
    return false;
}

void CliCommands::PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}
