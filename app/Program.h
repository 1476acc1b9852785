// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>

#include "app/Selkoran_main.h"
#include "link/Ad7172.h"
#include "link/LinkTiming.h"
#include "measure/Acquisition.h"
#include "measure/Measurement.h"

class FifoDriver;
class Prompts;

// Everything the program runs on, made and connected here in one place: the board on the
// chosen driver, the one acquisition engine that owns its runs, the measurement the window
// shows, and the main window (which makes its own message catalogue, status line, data file and
// graph, and on demand the analysis and recording windows on the same engine). A service that
// cannot be made is named in the fatal memory message and nothing is shown.
class Program {
public:
    // `timing` drives the board's reply waits (in the window's event loop by default);
    // `failCreating` names a service whose creation fails as if memory had run out.
    Program(FifoDriver& driver, Prompts& prompts, LinkTiming timing = RunWake::WindowTiming(),
            const QString& failCreating = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // False when a service could not be made; the window must not be shown then.
    bool Constructed() const { return window && window->Constructed(); }
    TFormMain& Window() { return *window; }
    Acquisition& Engine() { return *engine; }

private:
    std::unique_ptr<TADC> board;
    std::unique_ptr<Acquisition> engine;
    Measurement measurement;
    std::unique_ptr<TFormMain> window;
};
