// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serve/ScpiSetup.h"

// The five setups of *SAV and *RCL, each a small text file in the server's state folder
// ("setup0" ... "setup4"), so they outlast a restart. A setup is written whole through a
// temporary file and renamed over the old one, so a failure never leaves half a setup; the
// folder is made when the first setup is saved. A failure is told on standard error with the
// file and the reason, for whoever reads the service's journal.
class ScpiSetupStore {
public:
    static constexpr int kSetups = 5;
    // The longest unit text a scale takes, in characters.
    static constexpr std::size_t kLongestUnit = 16;

    enum class Result { Done, Empty, Failed };

    // Empty: no folder, every save fails.
    void SetFolder(std::string path) { folder = std::move(path); }
    const std::string& Folder() const { return folder; }
    // The user's state folder for the server: $XDG_STATE_HOME/selkoran, else
    // $HOME/.local/state/selkoran; empty when neither variable is set.
    static std::string DefaultFolder();

    Result Save(int index, const ScpiSetup& setup) const;
    // Empty when nothing was saved there; Failed for a file that cannot be read or is no setup.
    Result Recall(int index, ScpiSetup& setup) const;

    // A setup as its file holds it, and read back; nothing for a text that is no whole setup or
    // holds a value the instrument does not take.
    static std::string Text(const ScpiSetup& setup);
    static std::optional<ScpiSetup> Parse(std::string_view text);

private:
    std::string PathOf(int index) const;

    std::string folder;
};
