// SPDX-License-Identifier: GPL-3.0-or-later
// Whole data files through TmyFile::Load: whatever the bytes, the reader stays inside the
// channel arrays and accepts only settings the window can use as indexes.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ChannelSeries.h"
#include "common/MeasureSettings.h"
#include "datafile/Myfile.h"
#include "tests/fakes/FakePrompts.h"

namespace {

// The file lives in memory; the reader opens it by name like any other.
const std::string& MemoryFilePath() {
    static const int fd = memfd_create("fuzz.DTA", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    return path;
}

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool InRange(std::int32_t value, int count) {
    return value >= 0 && value < count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = MemoryFilePath();
    static const int fd = std::stoi(path.substr(path.rfind('/') + 1));
    Require(ftruncate(fd, 0) == 0);
    Require(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));

    static ChannelBuffer ch0;
    static ChannelBuffer ch1;
    FakePrompts prompts;
    TmyFile file(prompts);
    MeasureSettings settings;
    if (!file.Load(path, settings, ch0.Series, ch1.Series)) {
        return 0;
    }
    Require(InRange(settings.spsSel, kRateCount));
    Require(InRange(settings.DataCountSel, kSampleCountCount));
    Require(InRange(settings.CHSel, kChannelChoiceCount));
    Require(ch0.Series.Count >= 0 && ch0.Series.Count <= kSeriesCapacity);
    Require(ch1.Series.Count >= 0 && ch1.Series.Count <= kSeriesCapacity);
    Require(settings.CHSel != 0 || ch1.Series.Count == 0);
    Require(settings.CHSel != 1 || ch0.Series.Count == 0);
    Require(settings.CHSel != 2 || ch0.Series.Count == ch1.Series.Count);
    Require(prompts.boxes.empty() && prompts.questions.empty());
    return 0;
}
