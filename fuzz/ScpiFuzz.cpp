// SPDX-License-Identifier: GPL-3.0-or-later
// Program messages of any bytes through the instrument language: the parser, the command
// table and every command's handler on one connection of an instrument whose simulated board
// never advances (a run started stays under way). Nothing reads or writes outside its buffers,
// every response ends with exactly one line end, and parsed units are well-formed.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/Ad7172.h"
#include "link/driver/SimulatedFifo.h"
#include "serve/ScpiCommandTable.h"
#include "serve/ScpiInterpreter.h"

namespace {

void Check(bool fHolds) {
    if (!fHolds) {
        std::abort();
    }
}

void CheckUnits(std::string_view message) {
    for (const ScpiUnit& unit : ScpiParser::Parse(message)) {
        if (unit.error != 0) {
            continue;
        }
        Check(!unit.header.empty());
        for (const std::string& parameter : unit.parameters) {
            Check(!parameter.empty() && parameter.front() != ' ' && parameter.back() != ' ');
            ScpiParser::Number(parameter);
        }
        ScpiCommandTable::Find(unit);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SimulatedFifo fifo({}, [] { return BoardSimulator::Clock::time_point{}; });
    static TADC adc(fifo);
    static ScpiInstrument instrument(adc);
    instrument.Reset();
    ScpiInterpreter interpreter(instrument);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string output;
    while (!input.empty()) {
        const std::size_t end = std::min(input.find('\n'), input.size());
        const std::string_view message = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));
        CheckUnits(message);
        const bool fWaiting = interpreter.Waiting();
        output.clear();
        if (!fWaiting) {
            interpreter.Receive(message, output);
        }
        Check(output.empty() || (output.back() == '\n' && output.find('\n') == output.size() - 1) ||
              output.find('#') != std::string::npos);
    }
    return 0;
}
