// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "cli/CliOptions.h"
#include "measure/Acquisition.h"
#include "publish/IntervalFigures.h"
#include "publish/IntervalFile.h"
#include "publish/MqttPublisher.h"

class FifoDriver;
class TmyMessage;

// selkoran-cli monitor: the acquisition engine driven by the command line's loop without end
// (or for --duration), its interval statistics printed one line per interval, written to the
// CSV of intervals and published to the broker. Ctrl-C and SIGTERM end it as the stop button
// does; a broker that cannot be reached or refuses the login ends it before the board is
// contacted, a broker lost later is waited for while the figures queue up.
class CliMonitor {
public:
    // No record for this long ends the run (an unplugged or silent board), so a service
    // manager can start it again; far longer than the slowest rate's 0.8 s between samples.
    static constexpr std::chrono::seconds kNoDataTimeout{10};
    // How long the end may take to deliver what the broker has not confirmed yet.
    static constexpr std::chrono::seconds kDeliveryAtEnd{5};

    CliMonitor(const CliOptions& cliOptions, TmyMessage& messageCatalogue);

    // The exit code.
    int Run(FifoDriver& driver);

    // The board's name in the topics: --id, else the board's USB serial number, else the
    // device text with every character a topic level or a tag cannot take as "_".
    static std::string MonitorId(const CliOptions& options, const std::string& serial);

private:
    bool PrepareFile();
    // True for no problem; else the problem is printed.
    bool FileUsable(IntervalFile::Problem problem);
    // The broker of `settings` (none: no broker) with the board's name in the topics.
    bool ConnectBroker(std::optional<MqttPublisher::Settings> settings, const std::string& serial);
    // What --mqtt and its options say, the password and authority read; nothing, with the
    // reason printed, when a file cannot be used.
    std::optional<MqttPublisher::Settings> BrokerSettings();
    Acquisition::Request Request() const;
    // False, with the reason printed, unless the run started.
    bool Started(Acquisition::StartResult result);
    // The exit code for how the run ended, the reason printed.
    int Ended(AcquisitionOutcome outcome);
    void FinishBroker();
    bool TakeInterval(std::span<const IntervalFigures> interval);
    std::string MetaJson(const AcquisitionInfo& run, const std::string& serial) const;
    static QString IntervalLine(std::span<const IntervalFigures> interval);

    const CliOptions& options;
    TmyMessage& messages;
    std::optional<IntervalFile> file;
    std::unique_ptr<MqttPublisher> publisher;
};
