// SPDX-License-Identifier: GPL-3.0-or-later
// selkoran-boardsim: the simulated board on a pseudo-terminal. Prints the slave path on its
// first line, then answers whatever opens it until SIGINT or SIGTERM. Exit code 0 after a stop
// signal or when the board vanished, 1 when the pseudo-terminal fails, 2 for a bad option.

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "boardsim/BoardOptions.h"
#include "boardsim/BoardSimulator.h"
#include "boardsim/PtyServer.h"

namespace {

volatile std::sig_atomic_t fStopRequested = 0;

void OnStopSignal(int) {
    fStopRequested = 1;
}

constexpr const char* kUsage =
    "Usage: selkoran-boardsim [--help] [--version] [--KEY=VALUE ...]\n"
    "Serves the simulated converter board on a pseudo-terminal; the first line of output\n"
    "is the path to open (selkoran --device tty:PATH). SIGINT or SIGTERM ends it.\n"
    "K counts records of a run from 0.\n"
    "\n"
    "Options:\n"
    "  --seed=N          noise seed (default 1)\n"
    "  --ch0=UV          DC input of CH0 in microvolts (default 4)\n"
    "  --ch1=UV          DC input of CH1 in microvolts (default 1250000)\n"
    "  --sine=HZ         a sine of HZ hertz added to CH0's input (default none)\n"
    "  --amp=UV          the sine's peak amplitude in microvolts (default 1000000)\n"
    "  --hd2=DBC         the sine's second harmonic in dBc (default none)\n"
    "  --hd3=DBC         the sine's third harmonic in dBc (default none)\n"
    "  --name=TEXT       the name answered to \"U?\" (default SELKORAN)\n"
    "  --silent          no answer at all: no replies, no records\n"
    "  --ng=COMMAND      answer \"NG\" to this exact command text\n"
    "  --delay=MS        every reply appears this many milliseconds late\n"
    "  --split=BYTES     replies leave in bursts of this many bytes, 5 ms apart\n"
    "  --lf=K            record K of each run ends with a line feed\n"
    "  --short=K         record K of each run lacks its last digit\n"
    "  --stopafter=K     each run stops after K records\n"
    "  --vanish=K        the board disappears when record K of a run is due\n"
    "  --trace           print every command line the board receives, after the path\n"
    "                    line, as \"< \" and the command\n"
    "  --help            show this text\n"
    "  --version         show the program's version\n";

// The options arrive as --key=value; the simulator reads them as one key=value list.
bool ReadArguments(int argc, char** argv, BoardOptions* options, bool* fTrace, std::string* error) {
    std::string list;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--trace") {
            *fTrace = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            *error = "unknown argument: " + std::string(arg);
            return false;
        }
        list += (list.empty() ? "" : ",") + std::string(arg.substr(2));
    }
    if (!BoardOptions::Parse(list, options, error)) {
        return false;
    }
    if (options->purgeFailsAt >= 0) {
        // The client purges in its own kernel call; nothing here can make that fail.
        *error = "purgefail works only with the simulator in process";
        return false;
    }
    return true;
}

void InstallStopHandlers(sigset_t* waitMask) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Blocked except inside the wait, so a signal can never slip in between test and wait.
    sigprocmask(SIG_BLOCK, &stopSignals, waitMask);
    sigdelset(waitMask, SIGINT);
    sigdelset(waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "selkoran-boardsim " SELKORAN_VERSION "\n";
        return 0;
    }
    BoardOptions options;
    bool fTrace = false;
    std::string error;
    if (!ReadArguments(argc, argv, &options, &fTrace, &error)) {
        std::cerr << "selkoran-boardsim: " << error << '\n' << kUsage;
        return 2;
    }
    sigset_t waitMask;
    InstallStopHandlers(&waitMask);

    BoardSimulator board(options);
    if (fTrace) {
        // Flushed at once: whoever drives the board watches it while the program runs.
        board.ObserveCommands(
            [](std::string_view command) { std::cout << "< " << command << std::endl; });
    }
    PtyServer server(board);
    if (!server.Open(&error)) {
        std::cerr << "selkoran-boardsim: " << error << '\n';
        return 1;
    }
    std::cout << server.SlavePath() << std::endl;
    if (!server.Serve(fStopRequested, waitMask, &error)) {
        std::cerr << "selkoran-boardsim: " << error << '\n';
        return 1;
    }
    if (fStopRequested == 0) {
        std::cerr << "selkoran-boardsim: the board has vanished\n";
    }
    return 0;
}
