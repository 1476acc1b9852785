// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading a 10000-sample two-channel file against moving the same bytes raw.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/RatioReporter.h"
#include "boardsim/SampleSource.h"
#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "common/Prompts.h"
#include "datafile/Myfile.h"

namespace {

constexpr int kSamples = 10000;

// Answers every overwrite question with yes, as an operator saving again would.
class YesPrompts : public Prompts {
public:
    void ShowMessage(const std::string&, const std::string&, PromptIcon) override {}
    bool AskYesNo(const std::string&, const std::string&, const std::string&, const std::string&,
                  bool) override {
        return true;
    }
    std::optional<std::string> AskSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

// A directory of our own beside the system's temporary files, with one saved measurement.
struct FileScene {
    FileScene() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/selkoran-XXXXXX";
        directory = mkdtemp(pattern.data());
        path = directory + "/bench.DTA";
        SampleSource source(1, 4.0, 1250000.0);
        for (int i = 0; i < kSamples; ++i) {
            const auto codes = source.NextCodes(16, true);
            ch0.Codes[i] = codes[0];
            ch1.Codes[i] = codes[1];
        }
        ch0.Series.Count = kSamples;
        ch1.Series.Count = kSamples;
        settings.CHSel = 2;
        file.SaveTwoChannels(path, settings, ch0.Series, ch1.Series);
        bytes = std::filesystem::file_size(path);
    }
    ~FileScene() { std::filesystem::remove_all(directory); }

    YesPrompts prompts;
    TmyFile file{prompts};
    std::string directory;
    std::string path;
    std::uintmax_t bytes = 0;
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    MeasureSettings settings;
};

void CountBytes(benchmark::State& state, std::uintmax_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_SaveTwoChannels(benchmark::State& state) {
    FileScene scene;
    for (auto _ : state) {
        if (!scene.file.SaveTwoChannels(scene.path, scene.settings, scene.ch0.Series,
                                        scene.ch1.Series)) {
            state.SkipWithError("save failed");
            break;
        }
    }
    CountBytes(state, scene.bytes);
}
BENCHMARK(BM_SaveTwoChannels)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadTwoChannels(benchmark::State& state) {
    FileScene scene;
    ChannelBuffer ch0;
    ChannelBuffer ch1;
    for (auto _ : state) {
        MeasureSettings settings;
        if (!scene.file.Load(scene.path, settings, ch0.Series, ch1.Series) ||
            ch1.Series.Count != kSamples) {
            state.SkipWithError("load failed");
            break;
        }
    }
    CountBytes(state, scene.bytes);
}
BENCHMARK(BM_LoadTwoChannels)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes read in one go: open, read, close.
void BM_ReadRaw(benchmark::State& state) {
    FileScene scene;
    std::string buffer(scene.bytes + 1, '\0');
    for (auto _ : state) {
        const int fd = open(scene.path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        close(fd);
        if (n != static_cast<ssize_t>(scene.bytes)) {
            state.SkipWithError("raw read failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    CountBytes(state, scene.bytes);
}
BENCHMARK(BM_ReadRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes taken in as the reader takes them, a line of at most 255 bytes at a time,
// without looking at them.
void BM_ReadLinesRaw(benchmark::State& state) {
    FileScene scene;
    char line[256];
    for (auto _ : state) {
        std::FILE* file = std::fopen(scene.path.c_str(), "rb");
        std::size_t lines = 0;
        while (std::fgets(line, sizeof line, file) != nullptr) {
            ++lines;
        }
        std::fclose(file);
        benchmark::DoNotOptimize(lines);
    }
    CountBytes(state, scene.bytes);
}
BENCHMARK(BM_ReadLinesRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes written as a save writes them: a new file, synced, renamed over the old.
void BM_WriteRawSynced(benchmark::State& state) {
    FileScene scene;
    std::string bytes(scene.bytes, '\0');
    {
        const int fd = open(scene.path.c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t n = read(fd, bytes.data(), bytes.size());
        close(fd);
        benchmark::DoNotOptimize(n);
    }
    const std::string temporary = scene.path + ".tmp";
    for (auto _ : state) {
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        const bool fOk = n == static_cast<ssize_t>(bytes.size()) && fsync(fd) == 0;
        close(fd);
        if (!fOk || std::rename(temporary.c_str(), scene.path.c_str()) != 0) {
            state.SkipWithError("raw write failed");
            break;
        }
    }
    CountBytes(state, scene.bytes);
}
BENCHMARK(BM_WriteRawSynced)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return RatioReporter::RunAll(argc, argv,
                                 {{"BM_LoadTwoChannels", "BM_ReadRaw"},
                                  {"BM_LoadTwoChannels", "BM_ReadLinesRaw"},
                                  {"BM_SaveTwoChannels", "BM_ReadRaw"},
                                  {"BM_SaveTwoChannels", "BM_WriteRawSynced"}});
}
