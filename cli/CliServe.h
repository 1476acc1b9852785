// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CliOptions;
class FifoDriver;
class TmyMessage;

// serve: the board as a network instrument until SIGINT or SIGTERM. The board is identified
// first, as measure does; then the server listens, is announced through Avahi (unless
// --no-announce), and serves. At the end a run in progress is stopped ("AX") and the board
// closed.
class CliServe {
public:
    CliServe(const CliOptions& cliOptions, TmyMessage& messageCatalogue);

    // The exit code: 0 after a stop by signal, 1 when the board or the port failed, 2 for a
    // bad allow list or address.
    int Run(FifoDriver& driver);

private:
    const CliOptions& options;
    TmyMessage& messages;
};
