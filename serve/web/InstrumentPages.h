// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "serve/web/HostIdentity.h"

class ScpiInstrument;

// The instrument's identity as a LAN instrument shows it: the welcome page and the XML
// identification document, both saying what *IDN? says.
class InstrumentPages {
public:
    static inline const std::string kManufacturer = "SELKORAN";
    static inline const std::string kModel = "SELKORAN Board";
    static inline const std::string kDescription =
        "24 ビット シグマデルタ A/D 変換ボード（差動入力 2 チャンネル、USB）";

    InstrumentPages(const ScpiInstrument& shared, std::uint16_t scpi)
        : instrument(shared), scpiPort(scpi) {}

    std::string WelcomePage(const HostIdentity& host) const;
    std::string Identification(const HostIdentity& host, std::uint16_t httpPort) const;
    // "TCPIP::<host>::5025::SOCKET"
    std::string VisaResource(const HostIdentity& host) const;
    // "SELKORAN-SELKORAN Board-<serial>"
    std::string Title() const;

private:
    const ScpiInstrument& instrument;
    std::uint16_t scpiPort;
};
