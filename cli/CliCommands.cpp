// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommands.h"

#include <QBuffer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "charts/AnalysisCharts.h"
#include "cli/AnalysisReport.h"
#include "cli/CliMonitor.h"
#include "cli/CliRecording.h"
#include "cli/CliServe.h"
#include "cli/GraphPicture.h"
#include "cli/ProgressBar.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "common/FileError.h"
#include "datafile/Myfile.h"
#include "link/Ad7172.h"
#include "link/driver/DeviceChoice.h"
#include "link/driver/FtdiDeviceList.h"
#include "measure/Measurement.h"
#include "record/RecordingAnalysis.h"
#include "record/RecordingConverter.h"
#include "record/RecordingSource.h"
#include "status/Mystatus.h"

namespace {

const QString kProgramName = QStringLiteral("SELKORAN");
const char* const kBoxCaption = "SELKORAN Board";
const QString kDeviceName = QStringLiteral("SELKORAN Board");
// The window's box texts, which the command line follows with the file and the reason.
const QString kBadDataFileText = QStringLiteral("データファイルの内容が正しくありませんでした");
const QString kUnreadableText = QStringLiteral("データファイルを読めませんでした");

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

// Why a table could not be analysed.
// `reason`: what is wrong with an HDF5 file that is no recording.
QString AnalysisFailureText(const QString& path, RecordingAnalysis::Failure failure,
                            const std::string& reason) {
    switch (failure) {
        case RecordingAnalysis::Failure::NoSampleRate:
            return QString::fromStdString(FileErrorText(
                "サンプルレートがわかりません", path.toStdString(),
                "表にサンプルレートの # 行がありません。--rate 31250 のように指定してください"));
        case RecordingAnalysis::Failure::BadFile:
            return QString::fromStdString(
                FileErrorText(kBadDataFileText.toStdString(), path.toStdString(),
                              reason.empty() ? RecordingAnalysis::kBadTableReason : reason));
        default:
            return kTemporaryFileFailed;
    }
}

}  // namespace

const QString CliCommands::kSaveFailedText = QStringLiteral("データ保存できませんでした");

CliCommands::CliCommands(const CliOptions& cliOptions)
    : options(cliOptions),
      prompts(cliOptions.fForce),
      messages(kProgramName, kBoxCaption, prompts),
      outputs(cliOptions) {}

QString CliCommands::ExistingFileText(const QString& fileName) {
    return QStringLiteral("ファイル：") + fileName +
           QStringLiteral("があります。上書きするには --force を付けてください");
}

QString CliCommands::FileFailureText(const QString& text, const QString& fileName,
                                     const FileFailure& failure) {
    return QString::fromStdString(
        FileErrorText(text.toStdString(), fileName.toStdString(), failure.Reason()));
}

int CliCommands::Run() {
    // Past a file size limit a write then fails like a full disk, with the reason told,
    // instead of the signal ending the program before the figures are printed.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!OutputsMayBeWritten()) {
        return kExitFailure;
    }
    if (options.command == CliOptions::Command::Show) {
        return Show();
    }
    if (options.command == CliOptions::Command::Analyze) {
        return Analyze();
    }
    if (options.command == CliOptions::Command::Convert) {
        return Convert();
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
        case CliOptions::Command::Serve:
            return CliServe(options, messages).Run(*driver);
        case CliOptions::Command::Monitor:
            return CliMonitor(options, messages).Run(*driver);
        default:
            return Measure(*driver);
    }
}

int CliCommands::Info(FifoDriver& driver) {
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    Acquisition engine(adc);
    const std::optional<CliReport::Board> board = Identify(engine);
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
    auto data = std::make_unique<Measurement>();
    data->Settings = options.Settings();
    std::optional<CliReport::Board> board;
    const std::optional<AcquisitionOutcome> outcome = Acquire(driver, *data, board);
    if (!outcome) {
        return kExitFailure;
    }
    const int exitCode = Report(*data, board);
    if (outcome == AcquisitionOutcome::Stopped) {
        PrintError(StoppedNotice(data->Series(data->Settings.CHSel == 1 ? 1 : 0).Count));
    }
    return exitCode;
}

// After Ctrl-C: whether the samples kept are in a file, and in which.
QString CliCommands::StoppedNotice(int count) const {
    QStringList files;
    for (const QString& name : {options.output, options.csvFile}) {
        if (!name.isEmpty() && outputs.Written().contains(name)) {
            files << name;
        }
    }
    if (files.isEmpty()) {
        return QStringLiteral("%1 データはファイルに保存していません").arg(count);
    }
    return QStringLiteral("%1 データを保存しました：").arg(count) +
           files.join(QStringLiteral("、"));
}

std::optional<AcquisitionOutcome> CliCommands::Acquire(FifoDriver& driver, Measurement& data,
                                                       std::optional<CliReport::Board>& board) {
    const StopSignal stopSignal;
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    Acquisition engine(adc);
    board = Identify(engine);
    if (!board) {
        return std::nullopt;
    }
    const Acquisition::StartResult started =
        engine.Start({data.Settings, options.request.count}, {&data});
    if (started != Acquisition::StartResult::Started) {
        messages.StartFailed(started);
        return std::nullopt;
    }
    ProgressBar progress;
    RunLoop::Drive(engine, [&] { progress.Show(engine.Acquired(), engine.Total()); });
    progress.Finish();
    switch (engine.Result()) {
        case AcquisitionOutcome::Complete:
            return AcquisitionOutcome::Complete;
        case AcquisitionOutcome::Stopped:
            // As the stop button: the samples are kept from 10 on.
            PrintError(TmyStatus::StoppedText());
            if (!data.HasData(data.Settings.CHSel == 1 ? 1 : 0)) {
                PrintError(QStringLiteral("データが %1 個未満のため保存していません（%2 データ）")
                               .arg(Measurement::kMinSamplesKept)
                               .arg(engine.Acquired()));
                return std::nullopt;
            }
            return AcquisitionOutcome::Stopped;
        default:
            PrintError(TmyStatus::MeasureErrorText());
            return std::nullopt;
    }
}

int CliCommands::Show() {
    auto data = std::make_unique<Measurement>();
    if (!LoadDataFile(*data)) {
        return kExitFailure;
    }
    data->Evaluate();
    return Report(*data, std::nullopt);
}

int CliCommands::Analyze() {
    QJsonObject settings;
    std::optional<AnalysisReport> analysis;
    if (RecordingSource::IsRecording(options.dataFile.toStdString())) {
        analysis = AnalyseRecording(options.dataFile, settings);
    } else {
        auto data = std::make_unique<Measurement>();
        if (!LoadDataFile(*data)) {
            return kExitFailure;
        }
        if (options.samplesPerSecond) {
            PrintError(QStringLiteral("--rate は CSV の表のためのものです（データファイルは"
                                      "サンプルレートを持っています）：") +
                       options.dataFile);
            return kExitUsage;
        }
        settings = CliReport(*data, false).SettingsJson();
        analysis = Analyse(*data);
    }
    if (!analysis) {
        return kExitFailure;
    }
    const bool fWritten = WriteAnalysisPictures(*analysis);
    PrintAnalysis(*analysis, settings, {});
    return fWritten ? kExitOk : kExitFailure;
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

int CliCommands::Convert() {
    std::string reason;
    const RecordingConverter::Request request{options.dataFile.toStdString(),
                                              options.output.toStdString(), options.fForce,
                                              options.fCompress};
    switch (RecordingConverter::Convert(request, &reason)) {
        case RecordingConverter::Result::Done:
            return kExitOk;
        case RecordingConverter::Result::InputBad:
            PrintError(QString::fromStdString(
                FileErrorText(kBadDataFileText.toStdString(), request.input, reason)));
            return kExitFailure;
        case RecordingConverter::Result::OutputExists:
            PrintError(ExistingFileText(options.output));
            return kExitFailure;
        case RecordingConverter::Result::OutputFailed:
            PrintError(QString::fromStdString(
                FileErrorText(kSaveFailedText.toStdString(), request.output, reason)));
            return kExitFailure;
    }
    return kExitFailure;
}

std::optional<AnalysisReport> CliCommands::AnalyseRecording(const QString& path,
                                                            QJsonObject& settings) {
    RecordingAnalysis::Failure failure = RecordingAnalysis::Failure::None;
    std::string reason;
    std::optional<RecordingAnalysis> recording = RecordingAnalysis::Analyse(
        path.toStdString(), options.analysisChannel, &failure,
        options.command == CliOptions::Command::Analyze ? options.samplesPerSecond : std::nullopt,
        &reason);
    if (!recording) {
        PrintError(AnalysisFailureText(path, failure, reason));
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

bool CliCommands::LoadDataFile(Measurement& data) {
    // Keys the file lacks keep the start-up settings.
    MeasureSettings loaded;
    TmyFile file(prompts);
    FileFailure failure;
    if (!file.Load(options.dataFile.toStdString(), loaded, data.Series(0), data.Series(1),
                   &failure)) {
        PrintError(FileFailureText(failure.IsAccess() ? kUnreadableText : kBadDataFileText,
                                   options.dataFile, failure));
        return false;
    }
    data.Settings = loaded;
    return true;
}

std::optional<AnalysisReport> CliCommands::Analyse(const Measurement& data) {
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
    const std::pair<const QString&, AnalysisCharts::Kind> pictures[] = {
        {options.histogramFile, AnalysisCharts::Kind::Histogram},
        {options.spectrumFile, AnalysisCharts::Kind::Spectrum},
        {options.allanFile, AnalysisCharts::Kind::Allan}};
    bool fWritten = true;
    for (const auto& [fileName, kind] : pictures) {
        if (!fileName.isEmpty()) {
            fWritten =
                outputs.Write(fileName, PngBytes(analysis.Picture(kind, options.dataFile))) &&
                fWritten;
        }
    }
    return fWritten;
}

std::optional<CliReport::Board> CliCommands::Identify(Acquisition& engine) {
    const Acquisition::StartResult result = engine.Identify();
    if (result != Acquisition::StartResult::Started) {
        messages.StartFailed(result);
        return std::nullopt;
    }
    return CliReport::Board{QString::fromStdString(engine.Info().boardName),
                            QString::fromStdString(engine.Info().boardVersion)};
}

// Every file is written that can be, and the figures are printed all the same: a file that
// could not be written costs neither the others nor the run's statistics.
int CliCommands::Report(Measurement& data, const std::optional<CliReport::Board>& board) {
    const std::optional<AnalysisReport> analysis =
        options.WantsAnalysis() ? Analyse(data) : std::nullopt;
    const CliReport report(data, options.fVolt);
    const bool fWritten = WriteFiles(data, report, board, analysis ? &*analysis : nullptr);
    if (options.WantsAnalysis() && !analysis) {
        return kExitFailure;
    }
    if (options.fJson) {
        std::fputs(report.Json(board, analysis ? &*analysis : nullptr).constData(), stdout);
        return fWritten ? kExitOk : kExitFailure;
    }
    QStringList lines;
    if (options.command == CliOptions::Command::Show) {
        lines = report.SettingsLines();
    }
    lines += report.StatisticsLines();
    if (analysis) {
        lines += analysis->Lines();
    }
    for (const QString& line : lines) {
        PrintLine(line);
    }
    return fWritten ? kExitOk : kExitFailure;
}

bool CliCommands::WriteFiles(Measurement& data, const CliReport& report,
                             const std::optional<CliReport::Board>& board,
                             const AnalysisReport* analysis) {
    bool fWritten = options.output.isEmpty() || SaveDataFile(data);
    if (analysis != nullptr) {
        fWritten = WriteAnalysisPictures(*analysis) && fWritten;
    }
    if (!options.csvFile.isEmpty()) {
        fWritten = outputs.Write(options.csvFile, report.Csv(board)) && fWritten;
    }
    if (!options.pngFile.isEmpty()) {
        fWritten =
            outputs.Write(options.pngFile,
                          PngBytes(GraphPicture::Render(data, options.fVolt, options.dataFile))) &&
            fWritten;
    }
    return fWritten;
}

bool CliCommands::SaveDataFile(const Measurement& data) {
    const std::string path = options.output.toStdString();
    TmyFile file(prompts);
    FileFailure failure;
    const bool fSaved =
        data.Settings.CHSel == 2
            ? file.SaveTwoChannels(path, data.Settings, data.Series(0), data.Series(1), &failure)
            : file.SaveOneChannel(path, data.Settings, data.Series(data.Settings.CHSel), &failure);
    if (!fSaved) {
        PrintError(FileFailureText(kSaveFailedText, options.output, failure));
        return false;
    }
    // The file turned up while the run went on: nothing was written.
    if (prompts.Declined()) {
        PrintError(ExistingFileText(options.output));
        return false;
    }
    outputs.Note(options.output);
    return true;
}

bool CliCommands::OutputsMayBeWritten() {
    const QStringList problems = outputs.Problems();
    for (const QString& problem : problems) {
        PrintError(problem);
    }
    return problems.isEmpty();
}

void CliCommands::PrintError(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

void CliCommands::PrintRunEnd(TmyMessage& messages, AcquisitionOutcome outcome) {
    switch (outcome) {
        case AcquisitionOutcome::Stopped:
            PrintError(TmyStatus::StoppedText());
            break;
        case AcquisitionOutcome::TimedOut:
            messages.BoardNoResponse();
            break;
        case AcquisitionOutcome::ReadFailed:
            PrintError(TmyStatus::MeasureErrorText());
            break;
        default:
            break;
    }
}
