// SPDX-License-Identifier: GPL-3.0-or-later
// convert: a recording copied into the other type, CSV into HDF5 and HDF5 into CSV.

#include <string>

#include "cli/CommandTable.h"
#include "cli/RecordOptions.h"
#include "common/FileError.h"
#include "record/RecordingConverter.h"
#include "record/RecordingSink.h"

namespace {

class ConvertCommand : public CliCommand {
public:
    struct Options {
        QString input;
        QString output;
        bool fForce = false;
        bool fCompress = false;

        bool Parse(const QStringList& arguments, QString& error) {
            const std::optional<QStringList> files =
                OptionReader::Read("convert", arguments, 2,
                                   {{"force", OptionReader::Flag(fForce)},
                                    {"compress", OptionReader::Flag(fCompress)}},
                                   error);
            if (!files) {
                return false;
            }
            input = files->first();
            output = files->last();
            const bool fHdf5 =
                RecordingSink::TypeOf(output.toStdString()) == RecordingSink::Type::Hdf5;
            return RecordOptions::CompressionFits(fCompress, fHdf5, error);
        }
    };

    explicit ConvertCommand(Options convertOptions) : options(std::move(convertOptions)) {}

    int Run() override {
        std::string reason;
        const RecordingConverter::Request request{options.input.toStdString(),
                                                  options.output.toStdString(), options.fForce,
                                                  options.fCompress};
        switch (RecordingConverter::Convert(request, &reason)) {
            case RecordingConverter::Result::Done:
                return CliExit::kOk;
            case RecordingConverter::Result::InputBad:
                PrintFailure(CliExit::kBadDataFileText, request.input, reason);
                break;
            case RecordingConverter::Result::OutputExists:
                CliExit::PrintError(CliExit::ExistingFileText(options.output));
                break;
            case RecordingConverter::Result::OutputFailed:
                PrintFailure(CliExit::kSaveFailedText, request.output, reason);
                break;
        }
        return CliExit::kFailure;
    }

private:
    static void PrintFailure(const QString& text, const std::string& path,
                             const std::string& reason) {
        CliExit::PrintError(
            QString::fromStdString(FileErrorText(text.toStdString(), path, reason)));
    }

    const Options options;
};

}  // namespace

const CommandTable::Row CommandTable::kConvert = {
    "convert", "IN OUT [--force] [--compress]",
    "記録を CSV から HDF5 へ、HDF5 から CSV へ変換します\n"
    "（拡張子 .h5 か .hdf5 が HDF5、それ以外は CSV）",
    CliCommand::Made<ConvertCommand>};
