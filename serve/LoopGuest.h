// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <poll.h>

#include <span>
#include <vector>

// Another service of the instrument run in the server's one poll() loop beside the SCPI
// connections (the web page): it names what it waits on, is served when that is ready, and
// says how long the loop may sleep for it.
class LoopGuest {
public:
    // Appends the descriptors it waits on.
    virtual void Descriptors(std::vector<pollfd>& fds) = 0;
    // `ready`: its own entries, in the order Descriptors appended them.
    virtual void Serve(std::span<const pollfd> ready) = 0;
    // After every pass, once the SCPI connections have been served and told of runs' ends.
    virtual void AfterPass() = 0;
    // Milliseconds until it must be served again without a ready descriptor; -1: no limit.
    virtual int TimeoutMs() const = 0;

protected:
    ~LoopGuest() = default;
};
