// SPDX-License-Identifier: GPL-3.0-or-later
// serve: the board as a network instrument until SIGINT or SIGTERM. The board is identified
// first, as measure does; then the server listens for SCPI and, on its own port, the web page
// (unless --no-http), is announced through Avahi (unless --no-announce), and serves. At the end a
// run in progress is stopped ("AX") and the board closed. The exit code: 0 after a stop by signal,
// 1 when the board, a port, the page's files or the password file failed, 2 for a bad allow list or
// address.

#include <string>

#include "cli/BoardOptions.h"
#include "cli/CliPrompts.h"
#include "cli/CommandTable.h"
#include "cli/StopSignal.h"
#include "link/Ad7172.h"
#include "serve/ScpiServer.h"
#include "serve/ServiceAnnouncement.h"
#include "serve/web/WebServer.h"

namespace {

class ServeCommand : public CliCommand {
public:
    struct Options {
        BoardOptions board;
        // Where it listens (0: any free port), which peers it accepts (empty: all), whether
        // it is announced on the network, and whether each connection is logged.
        QString listen = QStringLiteral("127.0.0.1");
        std::uint16_t port = 5025;
        QString allow;
        bool fNoAnnounce = false;
        bool fQuiet = false;
        // Where *SAV keeps its setups, and the mains' frequency *RST starts from.
        QString stateDir = QString::fromStdString(ScpiSetupStore::DefaultFolder());
        int lineHz = 50;
        std::uint16_t httpPort = 8080;
        bool fNoHttp = false;
        QString passwordFile;

        bool Parse(const QStringList& arguments, QString& error) {
            const OptionReader::Options own = {
                {"listen", OptionReader::Text(listen)},
                {"port",
                 [this](const QString& value, QString&) {
                     const std::optional<int> number = OptionReader::Number(value, 0, 65535);
                     port = static_cast<std::uint16_t>(number.value_or(0));
                     return number.has_value();
                 }},
                {"allow",
                 [this](const QString& value, QString&) {
                     allow = value;
                     return true;  // empty: every peer
                 }},
                {"no-announce", OptionReader::Flag(fNoAnnounce)},
                {"quiet", OptionReader::Flag(fQuiet)},
                {"state-dir", OptionReader::Text(stateDir)},
                {"line", OptionReader::LineFrequency(lineHz)},
                {"http-port",
                 [this](const QString& value, QString&) {
                     const std::optional<int> number = OptionReader::Number(value, 0, 65535);
                     httpPort = static_cast<std::uint16_t>(number.value_or(0));
                     return number.has_value();
                 }},
                {"no-http", OptionReader::Flag(fNoHttp)},
                {"http-password-file", OptionReader::Text(passwordFile)}};
            return OptionReader::Read("serve", arguments, 0, board.With(own, false), error)
                .has_value();
        }
    };

    explicit ServeCommand(Options serveOptions) : options(std::move(serveOptions)) {}

    int Run() override {
        const std::unique_ptr<FifoDriver> driver = options.board.Open();
        if (!driver) {
            return CliExit::kUsage;
        }
        std::string error;
        const std::optional<AllowList> allow =
            AllowList::Parse(options.allow.toStdString(), &error);
        if (!allow) {
            CliExit::PrintError(QString::fromStdString(error));
            return CliExit::kUsage;
        }
        const StopSignal stopSignal;
        TADC adc(*driver);  // its reply waits sleep in poll() until the board answers
        ScpiInstrument instrument(adc);
        instrument.Setups().SetFolder(options.stateDir.toStdString());
        instrument.SetPowerOnLineFrequency(options.lineHz);
        switch (instrument.Identify()) {
            case Acquisition::StartResult::Started:
                break;
            case Acquisition::StartResult::NoResponse:
                messages.BoardNoResponse();
                return CliExit::kFailure;
            default:
                messages.BoardNotFound();
                return CliExit::kFailure;
        }
        ScpiServer server(instrument,
                          {options.listen.toStdString(), options.port, *allow, options.fQuiet});
        if (!server.Listen(&error)) {
            CliExit::PrintError(QString::fromStdString(error));
            instrument.Shutdown();
            return CliExit::kFailure;
        }
        std::unique_ptr<WebServer> web;
        if (!options.fNoHttp) {
            web = StartWeb(instrument, *allow, server.Port(), &error);
            if (!web) {
                CliExit::PrintError(QString::fromStdString(error));
                instrument.Shutdown();
                return CliExit::kFailure;
            }
            server.Host(*web);
        }
        ServiceAnnouncement announcement;
        if (!options.fNoAnnounce) {
            announcement.Start(ServiceAnnouncement::Service::Instrument(
                instrument.SerialNumber(), instrument.Version(), server.Port()));
        }
        server.Serve(StopSignal::Descriptor());
        instrument.Shutdown();
        return CliExit::kOk;
    }

private:
    // The page beside the SCPI port, on the same address and allow list; nothing, with the
    // reason in `error`, when its password file, its files or its port failed.
    std::unique_ptr<WebServer> StartWeb(ScpiInstrument& instrument, const AllowList& allow,
                                        std::uint16_t scpiPort, std::string* error) const {
        WebServer::Options web{options.listen.toStdString(), options.httpPort, allow, {}, scpiPort,
                               WebPageFiles::Folder()};
        if (!options.passwordFile.isEmpty()) {
            const auto access =
                ControlAccess::WithPasswordFile(options.passwordFile.toStdString(), error);
            if (!access) {
                return nullptr;
            }
            web.access = *access;
        }
        auto server = std::make_unique<WebServer>(instrument, std::move(web));
        return server->Start(error) ? std::move(server) : nullptr;
    }

    const Options options;
    CliPrompts prompts;
    TmyMessage messages = prompts.Messages();
};

}  // namespace

const CommandTable::Row CommandTable::kServe = {
    "serve",
    "[--device D] [--listen ADDR] [--port N] [--allow LIST]\n"
    "[--no-announce] [--quiet] [--http-port N] [--no-http]\n"
    "[--http-password-file FILE] [--state-dir DIR] [--line 50|60]",
    "ボードをネットワークの計測器にします（TCP の SCPI、既定は 127.0.0.1\n"
    "のポート 5025。--listen 0.0.0.0 でネットワークに開き、--allow\n"
    "192.168.10.0/24,10.1.2.3 で接続元を限ります。Avahi があれば告知します）。\n"
    "同じアドレスのポート 8080 でウェブページ（識別、ライブ表示と操作、\n"
    "ダウンロード）と Prometheus の /metrics を出します",
    CliCommand::Made<ServeCommand>};
