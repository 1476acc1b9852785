// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/InstrumentPages.h"

#include <utility>
#include <vector>

#include "serve/ScpiInstrument.h"
#include "common/JsonText.h"

namespace {

constexpr const char* kLxiNamespace = "http://www.lxistandard.org/InstrumentIdentification/1.0";

std::string Element(const std::string& name, const std::string& value, const char* indent) {
    return std::string(indent) + '<' + name + '>' + JsonText::Html(value) + "</" + name + ">\n";
}

}  // namespace

std::string InstrumentPages::Title() const {
    return kManufacturer + '-' + kModel + '-' + instrument.SerialNumber();
}

std::string InstrumentPages::VisaResource(const HostIdentity& host) const {
    return "TCPIP::" + host.address + "::" + std::to_string(scpiPort) + "::SOCKET";
}

std::string InstrumentPages::WelcomePage(const HostIdentity& host) const {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"製造元", kManufacturer},
        {"機種", kModel},
        {"シリアル番号", instrument.SerialNumber()},
        {"説明", kDescription},
        {"ボードのバージョン", instrument.Version()},
        {"プログラムのバージョン", SELKORAN_VERSION},
        {"ホスト名", host.hostName},
        {"IP アドレス", host.address},
        {"MAC アドレス", host.macAddress},
        {"VISA リソース", VisaResource(host)},
    };
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width\">\n<title>" +
        JsonText::Html(Title()) +
        "</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n</head>\n<body>\n<h1>" +
        JsonText::Html(Title()) + "</h1>\n<table class=\"identity\">\n";
    for (const auto& [name, value] : rows) {
        page += "<tr><th>" + JsonText::Html(name) + "</th><td id=\"" + JsonText::Html(name) +
                "\">" + JsonText::Html(value) + "</td></tr>\n";
    }
    return page +
           "</table>\n<ul class=\"links\">\n"
           "<li><a id=\"live\" href=\"/live\">ライブ表示と操作</a></li>\n"
           "<li><a href=\"/lxi/identification\">LXI 識別情報（XML）</a></li>\n"
           "<li><a href=\"/metrics\">Prometheus メトリクス</a></li>\n"
           "</ul>\n</body>\n</html>\n";
}

std::string InstrumentPages::Identification(const HostIdentity& host,
                                            std::uint16_t httpPort) const {
    const std::string base = "http://" + host.UrlHost() + ':' + std::to_string(httpPort);
    const char* one = "  ";
    const char* two = "    ";
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LXIDevice xmlns=\"") +
           kLxiNamespace +
           "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"" +
           kLxiNamespace + ' ' + kLxiNamespace + "/LXIIdentification.xsd\">\n" +
           Element("Manufacturer", kManufacturer, one) + Element("Model", kModel, one) +
           Element("SerialNumber", instrument.SerialNumber(), one) +
           Element("FirmwareRevision", instrument.Version(), one) +
           Element("ManufacturerDescription", kDescription, one) +
           Element("HomepageURL", base + '/', one) + Element("DriverURL", base + '/', one) +
           Element("UserDescription", Title(), one) +
           Element("IdentificationURL", base + "/lxi/identification", one) +
           "  <Interface xsi:type=\"NetworkInformation\" InterfaceType=\"LXI\" IPType=\"" +
           (host.address.find(':') == std::string::npos ? "IPv4" : "IPv6") + "\" InterfaceName=\"" +
           JsonText::Html(host.interfaceName) + "\">\n" +
           Element("InstrumentAddressString", VisaResource(host), two) +
           Element("Hostname", host.hostName, two) + Element("IPAddress", host.address, two) +
           Element("MACAddress", host.macAddress, two) + "  </Interface>\n" +
           Element("Domain", "0", one) + Element("LXIVersion", "1.5", one) + "</LXIDevice>\n";
}
