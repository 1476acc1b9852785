// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliServe.h"

#include <string>

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/StopSignal.h"
#include "link/Ad7172.h"
#include "messages/Mymessage.h"
#include "serve/ScpiServer.h"
#include "serve/ServiceAnnouncement.h"

CliServe::CliServe(const CliOptions& cliOptions, TmyMessage& messageCatalogue)
    : options(cliOptions), messages(messageCatalogue) {}

int CliServe::Run(FifoDriver& driver) {
    std::string error;
    const std::optional<AllowList> allow = AllowList::Parse(options.allow.toStdString(), &error);
    if (!allow) {
        CliCommands::PrintError(QString::fromStdString(error));
        return CliCommands::kExitUsage;
    }
    const StopSignal stopSignal;
    TADC adc(driver);  // its reply waits sleep in poll() until the board answers
    ScpiInstrument instrument(adc);
    switch (instrument.Identify()) {
        case Acquisition::StartResult::Started:
            break;
        case Acquisition::StartResult::NoResponse:
            messages.BoardNoResponse();
            return CliCommands::kExitFailure;
        default:
            messages.BoardNotFound();
            return CliCommands::kExitFailure;
    }
    ScpiServer server(instrument,
                      {options.listen.toStdString(), options.port, *allow, options.fQuiet});
    if (!server.Listen(&error)) {
        CliCommands::PrintError(QString::fromStdString(error));
        instrument.Shutdown();
        return CliCommands::kExitFailure;
    }
    ServiceAnnouncement announcement;
    if (!options.fNoAnnounce) {
        announcement.Start(ServiceAnnouncement::Service::Instrument(
            instrument.SerialNumber(), instrument.Version(), server.Port()));
    }
    server.Serve(StopSignal::Descriptor());
    instrument.Shutdown();
    return CliCommands::kExitOk;
}
