// SPDX-License-Identifier: GPL-3.0-or-later
// show: a ".DTA" file read as the window loads it, its settings and statistics printed, and
// written again as a table and a graph when asked for.

#include "cli/CliOutputs.h"
#include "cli/CliReport.h"
#include "cli/CommandTable.h"
#include "measure/Measurement.h"

namespace {

class ShowCommand : public CliCommand {
public:
    struct Options {
        QString dataFile;
        ReportOptions report;

        bool Parse(const QStringList& arguments, QString& error) {
            const std::optional<QStringList> files =
                OptionReader::Read("show", arguments, 1, report.With({}), error);
            dataFile = files ? files->first() : QString();
            return files.has_value();
        }
    };

    explicit ShowCommand(Options showOptions)
        : options(std::move(showOptions)),
          outputs({options.report.csvFile, options.report.pngFile}, false) {}

    bool WantsPicture() const override { return !options.report.pngFile.isEmpty(); }

    int Run() override {
        auto data = std::make_unique<Measurement>();
        if (!outputs.MayBeWritten() || !CliReport::Load(options.dataFile, *data)) {
            return CliExit::kFailure;
        }
        data->Evaluate();
        const CliReport report(*data, options.report.fVolt);
        const bool fWritten = report.WriteFiles(outputs, options.report, {}, options.dataFile);
        report.Print(options.report.fJson, true, {}, nullptr);
        return fWritten ? CliExit::kOk : CliExit::kFailure;
    }

private:
    const Options options;
    CliOutputs outputs;
};

}  // namespace

const CommandTable::Row CommandTable::kShow = {
    "show", "FILE.DTA [--volt] [--json] [--csv FILE] [--png FILE]",
    "データファイルを読み込んで設定と統計を表示します", CliCommand::Made<ShowCommand>};
