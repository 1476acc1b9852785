// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliMonitor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QSysInfo>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/CliCommands.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "common/FileError.h"
#include "common/PosixFile.h"
#include "link/Ad7172.h"
#include "messages/Mymessage.h"
#include "publish/IntervalFormat.h"
#include "publish/IntervalStatistics.h"
#include "record/RecordingFormat.h"
#include "status/Mystatus.h"

namespace {

const char* const kPasswordVariable = "SELKORAN_MQTT_PASSWORD";

void PrintNotice(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

// The board's USB serial number, where the driver can tell it (the board is opened for it, as
// the start then finds it); empty when it cannot.
std::string BoardSerial(TADC& adc) {
    return adc.OpenBoard() ? adc.SerialNumber() : std::string();
}

// A file of secrets that others may read is refused, as ssh refuses such a private key.
constexpr mode_t kOthersMayUse = S_IRWXG | S_IRWXO;
// More than any password a broker takes.
constexpr std::size_t kLongestPasswordFile = 64 * 1024;

void PrintFileError(const char* text, const QString& path, const std::string& reason) {
    CliCommands::PrintError(
        QString::fromStdString(FileErrorText(text, path.toStdString(), reason)));
}

// The file opened for reading; nothing, with the reason printed, when it cannot be.
std::optional<PosixFile> OpenToRead(const char* text, const QString& path) {
    PosixFile file = PosixFile::OpenRegular(path.toStdString());
    if (!file.IsOpen()) {
        PrintFileError(text, path, FileErrorReason(file.Error()));
        return std::nullopt;
    }
    return file;
}

// The first line of the password file, without its line end; nothing, with the reason printed,
// for a file that others may read or that holds no password.
std::optional<std::string> ReadPassword(const QString& path) {
    const char* const kUnusable = "パスワードファイルを使えません";
    const std::optional<PosixFile> file = OpenToRead("パスワードファイルを読めませんでした", path);
    if (!file) {
        return std::nullopt;
    }
    struct stat status {};
    if (fstat(file->Descriptor(), &status) != 0) {
        PrintFileError("パスワードファイルを読めませんでした", path, FileErrorReason(errno));
        return std::nullopt;
    }
    if ((status.st_mode & kOthersMayUse) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        PrintFileError(kUnusable, path,
                       std::string("所有者のほかにも許可があります（モード ") + mode +
                           "）。chmod 600 で所有者だけにしてください");
        return std::nullopt;
    }
    std::string text(kLongestPasswordFile, '\0');
    const PosixFile::Transfer read = file->ReadAll(text);
    if (read.error != 0) {
        PrintFileError("パスワードファイルを読めませんでした", path, FileErrorReason(read.error));
        return std::nullopt;
    }
    text.resize(std::min(read.done, text.find_first_of("\r\n")));
    if (text.empty()) {
        PrintFileError(kUnusable, path, "1 行目にパスワードがありません");
        return std::nullopt;
    }
    return text;
}

}  // namespace

CliMonitor::CliMonitor(const CliOptions& cliOptions, TmyMessage& messageCatalogue)
    : options(cliOptions), messages(messageCatalogue) {}

std::string CliMonitor::MonitorId(const CliOptions& options, const std::string& serial) {
    if (!options.monitor.id.isEmpty()) {
        return options.monitor.id.toStdString();
    }
    std::string id = serial.empty() ? options.device.toStdString() : serial;
    for (char& c : id) {
        const bool fPlain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        c = fPlain ? c : '_';
    }
    return id;
}

int CliMonitor::Run(FifoDriver& driver) {
    const StopSignal stopSignal;
    // Past a file size limit a write then fails like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    // The broker's files are read before the board is opened: a refused one costs nothing.
    std::optional<MqttPublisher::Settings> broker;
    if (!options.monitor.mqttUrl.isEmpty() && !(broker = BrokerSettings())) {
        return CliCommands::kExitFailure;
    }
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    const std::string serial = BoardSerial(adc);
    if (!PrepareFile() || !ConnectBroker(std::move(broker), serial)) {
        return CliCommands::kExitFailure;
    }
    Acquisition engine(adc);
    IntervalStatistics statistics(
        *options.monitor.interval,
        [this](std::span<const IntervalFigures> interval) { return TakeInterval(interval); });
    std::vector<AcquisitionSink*> sinks = {&statistics};
    if (file) {
        statistics.ContinueAfter(file->LastSeq());
        sinks.push_back(&*file);
    }
    if (!Started(engine.Start(Request(), std::move(sinks)))) {
        FinishBroker();
        return CliCommands::kExitFailure;
    }
    if (publisher) {
        publisher->SetMeta(MetaJson(engine.Info(), serial));
    }
    RunLoop::Drive(engine);
    const int exitCode = Ended(engine.Result());
    FinishBroker();
    return exitCode;
}

bool CliMonitor::PrepareFile() {
    if (options.csvFile.isEmpty()) {
        return true;
    }
    const auto mode = options.monitor.fAppend ? IntervalFile::Mode::Continue
                      : options.fForce        ? IntervalFile::Mode::Replace
                                              : IntervalFile::Mode::New;
    file.emplace(options.csvFile.toStdString(), mode, *options.monitor.interval);
    return FileUsable(file->Prepare());
}

bool CliMonitor::FileUsable(IntervalFile::Problem problem) {
    switch (problem) {
        case IntervalFile::Problem::None:
            return true;
        case IntervalFile::Problem::Exists:
            CliCommands::PrintError(CliCommands::ExistingFileText(options.csvFile));
            return false;
        case IntervalFile::Problem::NotIntervals:
            CliCommands::PrintError(QStringLiteral("ファイル：") + options.csvFile +
                                    QStringLiteral("は区間統計の CSV ファイルではありません"));
            return false;
        case IntervalFile::Problem::Failed:
            messages.SaveFailed();
            return false;
    }
    return false;
}

bool CliMonitor::ConnectBroker(std::optional<MqttPublisher::Settings> settings,
                               const std::string& serial) {
    if (!settings) {
        return true;
    }
    settings->id = MonitorId(options, serial);
    const std::string where = settings->address.HostAndPort();
    publisher = std::make_unique<MqttPublisher>(std::move(*settings), PrintNotice);
    std::string reason;
    if (!publisher->Connect(StopSignal::Descriptor(), reason)) {
        if (!reason.empty()) {
            PrintNotice("MQTT：ブローカー " + where + " に接続できませんでした（" + reason + "）");
        }
        publisher.reset();
        return false;
    }
    publisher->Start();
    return true;
}

std::optional<MqttPublisher::Settings> CliMonitor::BrokerSettings() {
    const MonitorOptions& monitor = options.monitor;
    MqttPublisher::Settings settings;
    std::string error;
    settings.address = *MqttAddress::Parse(monitor.mqttUrl.toStdString(), error);
    settings.format = monitor.fInflux ? MqttPublisher::Format::Influx : MqttPublisher::Format::Json;
    settings.caFile = monitor.caFile.toStdString();
    settings.user = monitor.user.toStdString();
    if (!monitor.caFile.isEmpty() &&
        !OpenToRead("認証局の証明書を読めませんでした", monitor.caFile)) {
        return std::nullopt;
    }
    if (!monitor.passwordFile.isEmpty()) {
        const std::optional<std::string> password = ReadPassword(monitor.passwordFile);
        if (!password) {
            return std::nullopt;
        }
        settings.password = *password;
    } else if (const char* password = std::getenv(kPasswordVariable);
               password != nullptr && !settings.user.empty()) {
        settings.password = password;
    }
    return settings;
}

Acquisition::Request CliMonitor::Request() const {
    Acquisition::Request request;
    request.settings = options.Settings();
    request.count = options.recordDuration ? options.RecordSamples() : AcquisitionInfo::kWithoutEnd;
    request.noDataTimeout = kNoDataTimeout;
    request.fIdentify = true;
    return request;
}

bool CliMonitor::Started(Acquisition::StartResult result) {
    if (result == Acquisition::StartResult::Refused) {
        // The file appeared or could not be made since it was looked at.
        return FileUsable(file ? file->LastProblem() : IntervalFile::Problem::Failed);
    }
    messages.StartFailed(result);
    return result == Acquisition::StartResult::Started;
}

int CliMonitor::Ended(AcquisitionOutcome outcome) {
    CliCommands::PrintRunEnd(messages, outcome);
    switch (outcome) {
        case AcquisitionOutcome::Complete:
        case AcquisitionOutcome::Stopped:
            return CliCommands::kExitOk;
        case AcquisitionOutcome::WriteFailed:
            messages.SaveFailed();
            break;
        default:
            break;
    }
    return CliCommands::kExitFailure;
}

void CliMonitor::FinishBroker() {
    if (!publisher) {
        return;
    }
    const std::size_t undelivered = publisher->Finish(kDeliveryAtEnd);
    if (undelivered > 0) {
        PrintNotice("MQTT：ブローカーに届けられなかった統計が " + std::to_string(undelivered) +
                    " 件あります");
    }
}

bool CliMonitor::TakeInterval(std::span<const IntervalFigures> interval) {
    std::fprintf(stdout, "%s\n", IntervalLine(interval).toUtf8().constData());
    std::fflush(stdout);
    if (publisher) {
        publisher->Publish(interval);
    }
    return !file || file->Write(interval);
}

std::string CliMonitor::MetaJson(const AcquisitionInfo& run, const std::string& serial) const {
    IntervalFormat::Meta meta;
    meta.board = run.boardName;
    meta.boardVersion = run.boardVersion;
    meta.serial = serial;
    meta.host = QSysInfo::machineHostName().toStdString();
    meta.sampleRate = run.SampleRate();
    meta.fSinc5 = run.settings.fSinc5;
    meta.channels = RecordingFormat::ChannelsOf(run.settings.CHSel);
    meta.intervalSeconds = options.monitor.interval->count();
    meta.programVersion = SELKORAN_VERSION;
    meta.start = RecordingFormat::IsoTime(run.start);
    return IntervalFormat::MetaJson(meta);
}

// "12 2025-03-01T08:00:10.123Z n=31250 CH0 平均値：1.2346[uV] 標準偏差：0.4568[uV] / CH1 ..."
QString CliMonitor::IntervalLine(std::span<const IntervalFigures> interval) {
    const IntervalFigures& first = interval.front();
    QString line = QString::number(first.seq) + ' ' +
                   QString::fromStdString(RecordingFormat::IsoTime(first.end)) +
                   QStringLiteral(" n=") + QString::number(first.n);
    for (const IntervalFigures& figures : interval) {
        line += (&figures == &first ? QStringLiteral(" CH") : QStringLiteral(" / CH")) +
                QString::number(figures.channel) + QStringLiteral(" 平均値：") +
                QString::number(figures.meanMicrovolts, 'f', 4) +
                QStringLiteral("[uV] 標準偏差：") + QString::number(figures.stdMicrovolts, 'f', 4) +
                QStringLiteral("[uV]");
    }
    return line;
}
