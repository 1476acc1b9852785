// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliAcquisition.h"

#include "cli/MeasurementData.h"
#include "cli/ProgressBar.h"
#include "cli/StopSignal.h"
#include "link/Ad7172.h"
#include "link/ReadyWait.h"

CliAcquisition::CliAcquisition(TADC& adc, const BoardSession::RunRequest& request,
                               MeasurementData& data)
    : board(adc), session(adc), run(request), measurement(data) {}

CliAcquisition::Outcome CliAcquisition::Run(ProgressBar& progress) {
    acquired = 0;
    BlockWait pacing;
    while (acquired < run.count) {
        if (StopSignal::Requested()) {
            board.StopConversion();
            board.CloseBoard();
            return Outcome::Stopped;
        }
        int got = 0;
        if (!session.ReadBlock(run.chSel, run.spsSel, measurement.Series(0).Codes,
                               measurement.Series(1).Codes, acquired, &got)) {
            board.StopConversion();
            return Outcome::Failed;
        }
        if (got > 0) {
            acquired += got;
            progress.Show(acquired, run.count);
        }
        if (acquired < run.count) {
            const BlockWait::Sleep next = session.NextLook(run, pacing);
            ReadyWait::Sleep({next.fd, StopSignal::Descriptor()}, next.duration);
        }
    }
    return Outcome::Complete;
}
