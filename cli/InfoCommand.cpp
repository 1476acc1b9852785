// SPDX-License-Identifier: GPL-3.0-or-later
// info: the board's name and version; with --device usb:list the FTDI chips instead.

#include <vector>

#include "cli/BoardOptions.h"
#include "cli/CliPrompts.h"
#include "cli/CliReport.h"
#include "cli/CommandTable.h"
#include "link/Ad7172.h"
#include "link/driver/DeviceChoice.h"
#include "link/driver/FtdiDeviceList.h"
#include "measure/Acquisition.h"

namespace {

class InfoCommand : public CliCommand {
public:
    struct Options {
        BoardOptions board;

        bool Parse(const QStringList& arguments, QString& error) {
            return OptionReader::Read("info", arguments, 0, board.With({}, false), error)
                .has_value();
        }
    };

    explicit InfoCommand(Options options) : board(std::move(options.board)) {}

    int Run() override {
        if (board.device.toStdString() == kUsbListText) {
            return ListUsbDevices();
        }
        const std::unique_ptr<FifoDriver> driver = board.Open();
        if (!driver) {
            return CliExit::kUsage;
        }
        TADC adc(*driver);  // its reply waits sleep in poll() until the board answers
        Acquisition engine(adc);
        CliPrompts prompts;
        TmyMessage messages = prompts.Messages();
        const std::optional<CliReport::Board> identified = CliReport::Identify(engine, messages);
        if (!identified) {
            return CliExit::kFailure;
        }
        CliExit::PrintLine(identified->name + QStringLiteral(" / ") + identified->version);
        return CliExit::kOk;
    }

private:
    // One line per FTDI chip: index, serial number and description, tab-separated.
    static int ListUsbDevices() {
        std::vector<FtdiDeviceList::Entry> entries;
        if (!FtdiDeviceList::DescribeAll(&entries)) {
            CliExit::PrintError(QStringLiteral("USB デバイスを調べられませんでした"));
            return CliExit::kFailure;
        }
        if (entries.empty()) {
            CliExit::PrintError(QStringLiteral("FTDI の USB デバイスはありません"));
        }
        for (const FtdiDeviceList::Entry& entry : entries) {
            CliExit::PrintLine(QString::number(entry.index) + '\t' +
                               QString::fromStdString(entry.serial) + '\t' +
                               QString::fromStdString(entry.description));
        }
        return CliExit::kOk;
    }

    BoardOptions board;
};

}  // namespace

const CommandTable::Row CommandTable::kInfo = {"info", "[--device D]",
                                               "ボードを確認して名前とバージョンを表示します",
                                               CliCommand::Made<InfoCommand>};
