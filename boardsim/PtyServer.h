// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <string>

#include "boardsim/BoardSimulator.h"

// Serves a simulated board on a pseudo-terminal: whatever opens the slave side speaks to
// the board as to a serial node. The server keeps a slave descriptor of its own, so a
// client may close and open the node again, and its raw settings stay put. It learns of
// the client's purges through packet mode and drops the bytes the board had queued, as
// the real chip would.
class PtyServer {
public:
    explicit PtyServer(BoardSimulator& board);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal; false with a reason in `error`.
    bool Open(std::string* error);
    const std::string& SlavePath() const { return slavePath; }
    // Answers the client in real time until `fStop` becomes non-zero or the board
    // vanishes. The signals in `waitMask`'s complement may interrupt the wait. False with a
    // reason in `error` when the pseudo-terminal fails.
    bool Serve(const volatile std::sig_atomic_t& fStop, const sigset_t& waitMask,
               std::string* error);

private:
    bool ReadFromClient(std::string* error);
    bool WriteToClient(std::string* error);
    int WaitTimeoutMs();

    BoardSimulator& board;
    int masterFd = -1;
    int slaveFd = -1;
    std::string slavePath;
    std::string backlog;  // taken from the board, not yet accepted by the pseudo-terminal
};
