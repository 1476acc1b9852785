// SPDX-License-Identifier: GPL-3.0-or-later
// monitor: the acquisition engine driven by the command line's loop without end (or for
// --duration), its interval statistics printed one line per interval, written to the CSV of
// intervals and published to the broker. Ctrl-C and SIGTERM end it as the stop button does; a
// broker that cannot be reached or refuses the login ends it before the board is contacted, a
// broker lost later is waited for while the figures queue up.

#include <sys/stat.h>

#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "cli/CliPrompts.h"
#include "cli/CommandTable.h"
#include "cli/MonitorAlarms.h"
#include "cli/MonitorOptions.h"
#include "cli/RunLoop.h"
#include "cli/StopSignal.h"
#include "common/FileError.h"
#include "common/PosixFile.h"
#include "link/Ad7172.h"
#include "measure/Acquisition.h"
#include "publish/IntervalFigures.h"
#include "publish/IntervalFile.h"
#include "publish/IntervalFormat.h"
#include "publish/IntervalStatistics.h"
#include "publish/MqttPublisher.h"
#include "record/RecordingFormat.h"

namespace {

const char* const kPasswordVariable = "SELKORAN_MQTT_PASSWORD";
// No record for this long ends the run (an unplugged or silent board), so a service manager
// can start it again; far longer than the slowest rate's 0.8 s between samples.
constexpr std::chrono::seconds kNoDataTimeout{10};
// How long the end may take to deliver what the broker has not confirmed yet.
constexpr std::chrono::seconds kDeliveryAtEnd{5};
// A file of secrets that others may read is refused, as ssh refuses such a private key.
constexpr mode_t kOthersMayUse = S_IRWXG | S_IRWXO;
// More than any password a broker takes.
constexpr std::size_t kLongestPasswordFile = 64 * 1024;

void PrintNotice(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

// The board's USB serial number, where the driver can tell it (the board is opened for it, as
// the start then finds it); empty when it cannot.
std::string BoardSerial(TADC& adc) {
    return adc.OpenBoard() ? adc.SerialNumber() : std::string();
}

void PrintFileError(const char* text, const QString& path, const std::string& reason) {
    CliExit::PrintError(QString::fromStdString(FileErrorText(text, path.toStdString(), reason)));
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

// "12 2025-03-01T08:00:10.123Z n=31250 CH0 平均値：1.2346[uV] 標準偏差：0.4568[uV] / CH1 ..."
QString IntervalLine(std::span<const IntervalFigures> interval) {
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

class MonitorCommand : public CliCommand {
public:
    using Options = MonitorOptions;

    explicit MonitorCommand(Options monitorOptions) : options(std::move(monitorOptions)) {}

    int Run() override {
        const std::unique_ptr<FifoDriver> driver = options.board.Open();
        if (!driver) {
            return CliExit::kUsage;
        }
        const StopSignal stopSignal;
        // The broker's files are read before the board is opened: a refused one costs nothing.
        std::optional<MqttPublisher::Settings> broker;
        if (!options.mqttUrl.isEmpty() && !(broker = BrokerSettings())) {
            return CliExit::kFailure;
        }
        TADC adc(*driver);  // its reply waits sleep in poll() until the board answers
        const std::string serial = BoardSerial(adc);
        if (!PrepareFile() || !ConnectBroker(std::move(broker), serial)) {
            return CliExit::kFailure;
        }
        Acquisition engine(adc);
        IntervalStatistics statistics(
            *options.interval,
            [this](std::span<const IntervalFigures> interval) { return TakeInterval(interval); });
        std::vector<AcquisitionSink*> sinks = {&statistics};
        if (file) {
            statistics.ContinueAfter(file->LastSeq());
            sinks.push_back(&*file);
        }
        if (!Started(
                engine.Start(Request(), std::move(sinks), Acquisition::Identification::Always))) {
            FinishBroker();
            return CliExit::kFailure;
        }
        if (publisher) {
            publisher->SetMeta(MetaJson(engine.Info(), serial));
        }
        RunLoop::Drive(engine);
        const int exitCode = Ended(engine.Result());
        FinishBroker();
        return exitCode;
    }

private:
    bool PrepareFile() {
        if (options.csvFile.isEmpty()) {
            return true;
        }
        const auto mode = options.fAppend  ? IntervalFile::Mode::Continue
                          : options.fForce ? IntervalFile::Mode::Replace
                                           : IntervalFile::Mode::New;
        file.emplace(options.csvFile.toStdString(), mode, *options.interval);
        return FileUsable(file->Prepare());
    }

    // True when the file did not refuse; else why it did is printed.
    bool FileUsable(FileRefusal refusal) {
        switch (refusal) {
            case FileRefusal::None:
                return true;
            case FileRefusal::Exists:
                CliExit::PrintError(CliExit::ExistingFileText(options.csvFile));
                return false;
            case FileRefusal::WrongKind:
                CliExit::PrintError(QStringLiteral("ファイル：") + options.csvFile +
                                    QStringLiteral("は区間統計の CSV ファイルではありません"));
                return false;
            case FileRefusal::Failed:
                messages.SaveFailed();
                return false;
        }
        return false;
    }

    // The broker of `settings` (none: no broker) with the board's name in the topics.
    bool ConnectBroker(std::optional<MqttPublisher::Settings> settings, const std::string& serial) {
        if (!settings) {
            return true;
        }
        settings->id = MonitorId(serial);
        const std::string where = settings->address.HostAndPort();
        publisher = std::make_unique<MqttPublisher>(std::move(*settings), PrintNotice);
        std::string reason;
        if (!publisher->Connect(StopSignal::Descriptor(), reason)) {
            if (!reason.empty()) {
                PrintNotice("MQTT：ブローカー " + where + " に接続できませんでした（" + reason +
                            "）");
            }
            publisher.reset();
            return false;
        }
        publisher->Start();
        return true;
    }

    // The board's name in the topics: --id, else the board's USB serial number, else the
    // device text with every character a topic level or a tag cannot take as "_".
    std::string MonitorId(const std::string& serial) const {
        if (!options.id.isEmpty()) {
            return options.id.toStdString();
        }
        std::string id = serial.empty() ? options.board.device.toStdString() : serial;
        for (char& c : id) {
            const bool fPlain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
            c = fPlain ? c : '_';
        }
        return id;
    }

    // What --mqtt and its options say, the password and authority read; nothing, with the
    // reason printed, when a file cannot be used.
    std::optional<MqttPublisher::Settings> BrokerSettings() const {
        MqttPublisher::Settings settings;
        std::string error;
        settings.address = *MqttAddress::Parse(options.mqttUrl.toStdString(), error);
        settings.format =
            options.fInflux ? MqttPublisher::Format::Influx : MqttPublisher::Format::Json;
        settings.caFile = options.caFile.toStdString();
        settings.user = options.user.toStdString();
        if (!options.caFile.isEmpty() &&
            !OpenToRead("認証局の証明書を読めませんでした", options.caFile)) {
            return std::nullopt;
        }
        if (!options.passwordFile.isEmpty()) {
            const std::optional<std::string> password = ReadPassword(options.passwordFile);
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

    RunRequest Request() const {
        return {.settings = options.board.settings,
                .count = options.duration ? options.board.SamplesIn(*options.duration)
                                          : AcquisitionInfo::kWithoutEnd,
                .noDataTimeout = kNoDataTimeout};
    }

    // False, with the reason printed, unless the run started.
    bool Started(Acquisition::StartResult result) {
        if (result == Acquisition::StartResult::Refused) {
            // The file appeared or could not be made since it was looked at.
            return FileUsable(file ? file->Refused() : FileRefusal::Failed);
        }
        messages.StartFailed(result);
        return result == Acquisition::StartResult::Started;
    }

    // The exit code for how the run ended, the reason printed.
    int Ended(AcquisitionOutcome outcome) {
        CliExit::PrintRunEnd(messages, outcome);
        switch (outcome) {
            case AcquisitionOutcome::Complete:
            case AcquisitionOutcome::Stopped:
                return CliExit::kOk;
            case AcquisitionOutcome::WriteFailed:
                messages.SaveFailed();
                break;
            default:
                break;
        }
        return CliExit::kFailure;
    }

    void FinishBroker() {
        if (!publisher) {
            return;
        }
        const std::size_t undelivered = publisher->Finish(kDeliveryAtEnd);
        if (undelivered > 0) {
            PrintNotice("MQTT：ブローカーに届けられなかった統計が " + std::to_string(undelivered) +
                        " 件あります");
        }
    }

    bool TakeInterval(std::span<const IntervalFigures> interval) {
        std::fprintf(stdout, "%s\n", IntervalLine(interval).toUtf8().constData());
        std::fflush(stdout);
        if (publisher) {
            publisher->Publish(interval);
        }
        const bool fWritten = !file || file->Write(interval);
        return alarms.Take(interval, file ? &*file : nullptr, publisher.get()) && fWritten;
    }

    std::string MetaJson(const AcquisitionInfo& run, const std::string& serial) const {
        IntervalFormat::Meta meta;
        meta.board = run.boardName;
        meta.boardVersion = run.boardVersion;
        meta.serial = serial;
        meta.host = QSysInfo::machineHostName().toStdString();
        meta.sampleRate = run.SampleRate();
        meta.fSinc5 = run.settings.fSinc5;
        meta.channels = RecordingFormat::ChannelsOf(run.settings.CHSel);
        meta.intervalSeconds = options.interval->count();
        meta.programVersion = SELKORAN_VERSION;
        meta.start = RecordingFormat::IsoTime(run.start);
        return IntervalFormat::MetaJson(meta);
    }

    const Options options;
    MonitorAlarms alarms{options};
    CliPrompts prompts;
    TmyMessage messages = prompts.Messages();
    std::optional<IntervalFile> file;
    std::unique_ptr<MqttPublisher> publisher;
};

}  // namespace

const CommandTable::Row CommandTable::kMonitor = {
    "monitor",
    "[--device D] [--rate SPS] [--filter sinc3|sinc5]\n"
    "[--channel 0|1|2|both] --interval 10s [--duration 7d]\n"
    "[--csv FILE [--force|--append]] [--mqtt URL]\n"
    "[--mqtt-format json|influx] [--id NAME] [--mqtt-ca FILE]\n"
    "[--mqtt-user NAME] [--mqtt-password-file FILE]\n"
    "[--limit chN:LOW:HIGH ...] [--limit-by mean|extremes]\n"
    "[--hysteresis H] [--null V] [--scale GAIN[,OFFSET[,UNIT]]]",
    "測定を続けながら区間ごとの統計（平均値、標準偏差、最小値、\n"
    "最大値）を表示し、CSV ファイルと MQTT ブローカーに送ります\n"
    "（Ctrl-C か SIGTERM まで、または --duration の間）",
    CliCommand::Made<MonitorCommand>};
