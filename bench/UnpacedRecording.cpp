// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/UnpacedRecording.h"

#include <fstream>

UnpacedRecording::UnpacedRecording(int chSel, std::int64_t count, const std::string& path,
                                   RecordingSink::Type type, bool fCompress)
    : fifo({}, [this] { return clockNow; }),
      adc(fifo, {[this] { return clockNow; },
                 [this](const FifoReadiness&, LinkTiming::Clock::duration) {
                     clockNow += std::chrono::milliseconds(1);
                 }}),
      engine(adc, [this] { return clockNow; }),
      recorder(engine, [this] { return clockNow; }) {
    const Recorder::Request request{
        .run = {.settings = {.spsSel = kTopRate, .CHSel = chSel}, .count = count},
        .file = {.path = path, .fOverwrite = true, .fCompress = fCompress}};
    fStarted = recorder.Start(request, type) == Acquisition::StartResult::Started;
}

bool UnpacedRecording::Finish() {
    while (recorder.Recording()) {
        clockNow += std::chrono::microseconds(3200);
        recorder.Wake();
    }
    return fStarted && recorder.Result() == AcquisitionOutcome::Complete;
}

UnpacedRecording::Comparison UnpacedRecording::CompareRows(const std::string& path,
                                                           const std::string& referencePath) {
    std::ifstream file(path);
    std::ifstream reference(referencePath);
    const auto nextRow = [](std::ifstream& in, std::string& line) {
        while (std::getline(in, line)) {
            if (!line.starts_with('#') && !line.starts_with("sample,")) {
                return true;
            }
        }
        return false;
    };
    Comparison c;
    std::string a;
    std::string b;
    for (;;) {
        const bool fA = nextRow(file, a);
        const bool fB = nextRow(reference, b);
        c.rows += fA;
        c.referenceRows += fB;
        c.equal += fA && fB && a == b;
        if (!fA && !fB) {
            return c;
        }
    }
}
