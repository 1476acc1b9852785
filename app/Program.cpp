// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Program.h"

#include "app/Creation.h"
#include "messages/Mymessage.h"

Program::Program(FifoDriver& driver, Prompts& prompts, LinkTiming timing,
                 const QString& failCreating) {
    const auto now = timing.Now;
    try {
        board = Create<TADC>("AD7172", failCreating, driver, std::move(timing));
    } catch (const CreationFailed& failure) {
        TmyMessage(QStringLiteral("SELKORAN"), "SELKORAN Board", prompts)
            .FatalMemoryError(failure.objectName);
        return;
    }
    engine = std::make_unique<Acquisition>(*board, now);
    window = std::make_unique<TFormMain>(*engine, measurement, prompts, now, failCreating);
}

// The windows go first: a recording still going is finished while the board it uses exists,
// and the board, going last, closes the device.
Program::~Program() {
    window.reset();
    engine.reset();
    board.reset();
}
