// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "serve/ScpiInterpreter.h"
#include "serve/ServerLog.h"

// One client on its socket (non-blocking): program messages end with LF (CR LF too); each
// response message leaves in one write where the socket takes it. Bounded however the client
// behaves: a message longer than 64 KiB before its LF is not executed at all, however its
// bytes came (-223 once); a client that does not read its responses is not read from either
// once 1 MiB of them waits, and a command that waits for a run holds back the input behind it.
// Its opening, its end and each hardware error it is given are a line in the log.
class ScpiConnection {
public:
    static constexpr std::size_t kLongestMessage = 64 * 1024;
    static constexpr std::size_t kMostWaitingOutput = 1024 * 1024;

    // Takes over the socket `fd` of the peer `peer` ("127.0.0.1:43210").
    ScpiConnection(int fd, ScpiInstrument& instrument, std::string peer, const ServerLog& log);
    ~ScpiConnection();
    ScpiConnection(const ScpiConnection&) = delete;
    ScpiConnection& operator=(const ScpiConnection&) = delete;

    int Descriptor() const { return fd; }
    // The poll() events it waits for.
    short Events() const;
    // False once the connection is over (the peer has gone, or closed and been answered).
    bool OnReadable();
    bool OnWritable();
    bool OnRunEnded(const ScpiInstrument::RunEnd& end);

private:
    void ExecuteMessages();
    bool Flush();
    bool Over() const;

    int fd;
    std::string peer;
    const ServerLog& log;
    ScpiInterpreter interpreter;
    std::string input;
    std::string output;
    std::size_t sent = 0;      // bytes of `output` already written
    bool fDiscarding = false;  // inside an over-long message, up to its LF
    bool fPeerClosed = false;  // the peer will send nothing more
};
