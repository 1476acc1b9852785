// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/RunDownload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "common/SystemErrorText.h"
#include "datafile/Myfile.h"
#include "link/Ad7172.h"
#include "record/RecordingSink.h"
#include "serve/ScpiInstrument.h"

namespace {

// The ".DTA" file's largest count: the window's largest.
constexpr std::int32_t kMostDataFileSamples = kSampleCounts[kSampleCountCount - 1];
// The blocks a recording's writer takes, as the board delivers them.
constexpr std::int64_t kBlock = TADC::kMaxBlockRecords;

// The data file's writer asks nothing here: every name is new.
class NoPrompts : public Prompts {
public:
    void ShowMessage(const std::string&, const std::string&, PromptIcon) override {}
    bool AskYesNo(const std::string&, const std::string&, const std::string&, const std::string&,
                  bool) override {
        return false;
    }
    std::optional<std::string> AskSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

bool WriteDataFile(const Measurement& data, const std::string& path) {
    MeasureSettings settings = data.Settings;
    const std::int32_t count = data.Acquired();
    // The count box's item that holds the run, as the window's settings would say.
    settings.DataCountSel = static_cast<std::int32_t>(
        std::lower_bound(std::begin(kSampleCounts), std::end(kSampleCounts), count) -
        std::begin(kSampleCounts));
    NoPrompts prompts;
    TmyFile file(prompts);
    return settings.CHSel == 2
               ? file.SaveTwoChannels(path, settings, data.Series(0), data.Series(1))
               : file.SaveOneChannel(path, settings, data.Series(settings.CHSel));
}

bool WriteRecording(const ScpiInstrument& instrument, RecordingSink::Type type,
                    const std::string& path) {
    const Measurement& data = instrument.Samples();
    const AcquisitionInfo& run = instrument.RunInfo();
    const auto sink = RecordingSink::Make(type, {path, true, false}, AcquisitionSink::Clock::now);
    if (!sink->Check() || !sink->Open(run) || !sink->Begin(run)) {
        return false;
    }
    const std::int64_t acquired = data.Acquired();
    for (std::int64_t first = 0; first < acquired; first += kBlock) {
        const std::size_t size =
            static_cast<std::size_t>(std::min<std::int64_t>(kBlock, acquired - first));
        SampleBlock block{first, {}, {}, AcquisitionSink::Clock::now()};
        for (int channel = 0; channel < 2; ++channel) {
            if (run.Measures(channel)) {
                (channel == 0 ? block.ch0 : block.ch1) = data.Taken(channel).subspan(first, size);
            }
        }
        if (!sink->Take(block)) {
            return false;
        }
    }
    const auto outcome =
        acquired == run.count ? AcquisitionOutcome::Complete : AcquisitionOutcome::Stopped;
    return sink->End(outcome) && sink->FileError() == 0;
}

std::string FileName(const ScpiInstrument& instrument, const std::string& extension) {
    const std::time_t start = std::chrono::system_clock::to_time_t(instrument.RunInfo().start);
    std::tm utc{};
    gmtime_r(&start, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return "SELKORAN-" + instrument.SerialNumber() + '-' + stamp + extension;
}

const char* Extension(RunDownload::Type type) {
    switch (type) {
        case RunDownload::Type::Dta:
            return ".DTA";
        case RunDownload::Type::Csv:
            return ".csv";
        default:
            return ".h5";
    }
}

}  // namespace

RunDownload::RunDownload() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/selkoran-web-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        folder = pattern;
    }
}

RunDownload::~RunDownload() {
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

std::optional<RunDownload::Type> RunDownload::TypeOf(const std::string& extension) {
    if (extension == "DTA") {
        return Type::Dta;
    }
    if (extension == "csv") {
        return Type::Csv;
    }
    return extension == "h5" ? std::optional(Type::Hdf5) : std::nullopt;
}

std::optional<RunDownload::File> RunDownload::Make(const ScpiInstrument& instrument, Type type,
                                                   std::string* reason) const {
    const std::int32_t count = instrument.Samples().Acquired();
    if (instrument.Busy()) {
        *reason = "計測中です。計測が終わってからダウンロードしてください";
    } else if (count == 0) {
        *reason = "ダウンロードできるデータがありません";
    } else if (type == Type::Dta && count > kMostDataFileSamples) {
        *reason = ".DTA ファイルには " + std::to_string(kMostDataFileSamples) +
                  " データまでしか保存できません（" + std::to_string(count) +
                  " データ）。CSV か HDF5 でダウンロードしてください";
    } else {
        const std::string path = folder + "/download" + Extension(type);
        if (!Write(instrument, type, path)) {
            *reason =
                "ダウンロードするファイルを作れませんでした（" + SystemErrorText(errno) + "）";
            ::unlink(path.c_str());
            return std::nullopt;
        }
        File file{::open(path.c_str(), O_RDONLY | O_CLOEXEC), 0,
                  FileName(instrument, Extension(type))};
        ::unlink(path.c_str());
        struct stat status {};
        if (file.fd < 0 || ::fstat(file.fd, &status) != 0) {
            *reason =
                "ダウンロードするファイルを読めませんでした（" + SystemErrorText(errno) + "）";
            return std::nullopt;
        }
        file.size = static_cast<std::uint64_t>(status.st_size);
        return file;
    }
    return std::nullopt;
}

bool RunDownload::Write(const ScpiInstrument& instrument, Type type,
                        const std::string& path) const {
    if (folder.empty()) {
        errno = ENOENT;
        return false;
    }
    if (type == Type::Dta) {
        return WriteDataFile(instrument.Samples(), path);
    }
    return WriteRecording(
        instrument, type == Type::Csv ? RecordingSink::Type::Csv : RecordingSink::Type::Hdf5, path);
}
