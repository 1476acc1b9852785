// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "analysis/CodeSeries.h"
#include "common/PosixFile.h"

// One channel's codes as a recording is read, for its figures: held in memory while they fit
// the store's budget, beyond it moved to a temporary file that has no name and vanishes when
// closed, which the figures read through mapped stretches (mmap) of a few MiB each. A recording
// too long to hold thus costs the same memory whatever its length, and the figures come from
// the same code either way.
class CodeStore : public CodeSeries {
public:
    // A quarter of the machine's memory, at most 2 GiB: the bytes of codes of all channels a
    // recording's analysis holds in memory.
    static std::size_t DefaultBudget();

    // `budgetBytes` of codes in memory, no more (0: every code goes to the file).
    explicit CodeStore(std::size_t budgetBytes);

    // Room for `codes` in memory at once, within the budget, where their count is known ahead:
    // no copies as the store grows.
    void Reserve(std::int64_t codes);
    // False when the temporary file could not be made or written (a full disk).
    bool Append(std::span<const std::int32_t> codes);
    // Writes what is still on its way to the file; reads come after it. False as Append.
    bool Finish();
    // The codes went to the file.
    bool InFile() const { return file.IsOpen(); }

    std::int64_t Count() const override { return count; }
    std::unique_ptr<Reader> Open() const override;

private:
    // The codes held so far to a new temporary file, the memory given back.
    bool MoveToFile();
    bool WriteHeld();

    std::size_t budgetCodes;
    std::int64_t count = 0;
    std::vector<std::int32_t> held;  // every code, or those on their way to the file
    PosixFile file;
};
