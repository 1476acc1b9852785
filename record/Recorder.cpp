// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Recorder.h"

Recorder::Recorder(Acquisition& acquisition, Acquisition::NowFunction nowFunction)
    : engine(acquisition),
      now(std::move(nowFunction)),
      file(RecordingSink::Make(RecordingSink::Type::Csv, {}, now)) {
    observing.onBegin = [this](const AcquisitionInfo&) { fRecording = true; };
    observing.onEnd = [this](AcquisitionOutcome) { fRecording = false; };
}

Acquisition::StartResult Recorder::Start(const Request& request, RecordingSink::Type type) {
    // The engine holds the file of a recording under way until it ends.
    if (fRecording || engine.Busy()) {
        return Acquisition::StartResult::Busy;
    }
    file = RecordingSink::Make(type, request.file, now);
    // A recording always meets the board afresh.
    return engine.Start(request.run, {file.get(), &observing}, Acquisition::Identification::Always);
}

void Recorder::Wake() {
    if (fRecording) {
        engine.Wake();
    }
}

void Recorder::Stop() {
    if (fRecording) {
        engine.Stop();
    }
}
