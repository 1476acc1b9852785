#include "DeviceChoice.h"

#include "LibftdiFifo.h"
#include "SimulatedFifo.h"
#include "TtyFifo.h"

#include <utility>

namespace {

constexpr std::string_view kSimPrefix = "sim:";
constexpr std::string_view kTtyPrefix = "tty:";

}  // namespace

std::unique_ptr<FifoDriver> ChooseDevice(std::string_view text, std::string* error) {
    if (text.empty() || text == "usb:0") {
        return std::make_unique<LibftdiFifo>();
    }
    if (text == "sim" || text.starts_with(kSimPrefix)) {
        BoardOptions options;
        const auto list = text == "sim" ? std::string_view{} : text.substr(kSimPrefix.size());
        if (!BoardOptions::Parse(list, &options, error)) {
            return nullptr;
        }
        return std::make_unique<SimulatedFifo>(std::move(options));
    }
    if (text.starts_with(kTtyPrefix) && text.size() > kTtyPrefix.size()) {
        return std::make_unique<TtyFifo>(std::string(text.substr(kTtyPrefix.size())));
    }
    *error = "デバイスの指定が正しくありません: " + std::string(text) +
             "（usb:0、sim、sim:キー=値,...、tty:パス のいずれか）";
    return nullptr;
}
