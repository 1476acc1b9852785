// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "boardsim/BoardOptions.h"
#include "link/driver/SimulatedFifo.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/ForwardingFifo.h"

// The simulated board on a fake clock, behind a tap that keeps every command line the PC
// writes (its carriage return taken off).
class TappedBoard : public ForwardingFifo {
public:
    explicit TappedBoard(FakeClock& clock, BoardOptions options = {})
        : board(std::move(options), [&clock] { return clock.Now(); }) {}

    std::vector<std::string> commands;

    FifoStatus Write(FifoHandle h, const void* b, unsigned n, unsigned* written) override {
        std::string text(static_cast<const char*>(b), n);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        commands.push_back(text);
        return board.Write(h, b, n, written);
    }

    // The command lines written since the last call.
    std::vector<std::string> TakeCommands() { return std::exchange(commands, {}); }

private:
    FifoDriver& Inner() override { return board; }
    SimulatedFifo board;
};
