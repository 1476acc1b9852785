// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <microhttpd.h>

#include <cstdint>
#include <functional>
#include <string>

#include "serve/web/ControlAccess.h"
#include "serve/web/InstrumentPages.h"
#include "serve/web/LiveView.h"
#include "serve/web/RunDownload.h"
#include "serve/web/WebPageFiles.h"

// The answer to each request of the web server, by its path: the welcome page, the LXI
// identification, the live view's files and WebSocket, the downloads, /metrics, and the
// control requests of a live view page (start with its settings, stop), which need the
// password, or a browser on this machine where there is none.
class WebRoutes {
public:
    static constexpr std::uint64_t kLongestBody = 4096;

    // What one request has brought so far.
    struct Request {
        std::uint64_t bodyBytes = 0;
        ControlAccess::Note control;  // for a WebSocket, what its page may do
    };

    struct Ports {
        std::uint16_t scpi = 5025;
        std::uint16_t http = 8080;
    };

    // `upgraded` takes each page's WebSocket after its handshake, with `upgradedArgument`.
    WebRoutes(ScpiInstrument& shared, LiveView& view, const ControlAccess& control,
              WebPageFiles pageFiles, Ports listening, MHD_UpgradeHandler onUpgraded,
              void* onUpgradedArgument);

    MHD_Result Respond(MHD_Connection* connection, const std::string& url,
                       const std::string& method, Request& request);

private:
    MHD_Result Get(MHD_Connection* connection, const std::string& url, Request& request);
    MHD_Result Control(MHD_Connection* connection, const std::string& url);
    MHD_Result Start(MHD_Connection* connection);
    MHD_Result Download(MHD_Connection* connection, const std::string& extension);
    MHD_Result Upgrade(MHD_Connection* connection, Request& request);

    ScpiInstrument& instrument;
    LiveView& live;
    const ControlAccess& access;
    WebPageFiles files;
    InstrumentPages pages;
    Ports ports;
    RunDownload downloads;
    MHD_UpgradeHandler upgraded;
    void* upgradedArgument;
};
