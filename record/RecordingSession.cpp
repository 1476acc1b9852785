// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/RecordingSession.h"

#include <algorithm>
#include <cctype>

RecordingSession::FileType RecordingSession::TypeOf(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.ends_with(".h5") || lower.ends_with(".hdf5") ? FileType::Hdf5 : FileType::Csv;
}

RecordingSession::RecordingSession(Acquisition& acquisition, Acquisition::NowFunction now)
    : engine(acquisition), csv(now), hdf5(now) {
    observing.onBegin = [this](const AcquisitionInfo&) { fRecording = true; };
    observing.onEnd = [this](AcquisitionOutcome) { fRecording = false; };
}

Acquisition::StartResult RecordingSession::Start(const Request& request, FileType fileType,
                                                 bool fCompress) {
    type = fileType;
    AcquisitionSink* file = &csv;
    if (Hdf5()) {
        hdf5.Prepare({request.path, request.fOverwrite, fCompress});
        file = &hdf5;
    } else {
        csv.Prepare({request.path, request.fOverwrite});
    }
    Acquisition::Request run;
    run.settings.fSinc5 = request.fSinc5;
    run.settings.spsSel = request.spsSel;
    run.settings.CHSel = request.chSel;
    run.count = request.count;
    run.noDataTimeout = request.noDataTimeout;
    run.fIdentify = true;  // a recording always meets the board afresh
    return engine.Start(run, {file, &observing});
}

void RecordingSession::Wake() {
    if (fRecording) {
        engine.Wake();
    }
}

void RecordingSession::Stop() {
    if (fRecording) {
        engine.Stop();
    }
}

FileRefusal RecordingSession::Refused() const {
    return Hdf5() ? hdf5.Refused() : csv.Refused();
}

std::int64_t RecordingSession::Written() const {
    return Hdf5() ? hdf5.Rows() : csv.Rows();
}

std::int64_t RecordingSession::Kept() const {
    return Hdf5() ? hdf5.Kept() : csv.Kept();
}

int RecordingSession::FileError() const {
    return Hdf5() ? hdf5.FileError() : csv.FileError();
}

std::uint64_t RecordingSession::FileSize() const {
    return Hdf5() ? hdf5.FileSize() : csv.FileSize();
}

RecordingHeader RecordingSession::Header() const {
    const AcquisitionInfo& run = engine.Info();
    return {run.boardName,      run.boardVersion,    run.settings.spsSel,
            run.settings.CHSel, run.settings.fSinc5, run.count,
            run.start};
}

bool RecordingSession::ReadBack(std::int64_t first, std::int64_t last,
                                std::array<std::vector<std::int32_t>, 2>& codes) const {
    return Hdf5() ? hdf5.ReadBack(first, last, codes) : csv.ReadBack(first, last, codes);
}
