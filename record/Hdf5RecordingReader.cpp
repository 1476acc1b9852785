// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Hdf5RecordingReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "common/Codes.h"
#include "common/FileError.h"
#include "common/PosixFile.h"
#include "common/SampleRates.h"
#include "record/Hdf5Attributes.h"
#include "record/Hdf5Datasets.h"
#include "record/Hdf5Layout.h"

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
// A chunk of a recording holds 8192 samples; far larger ones are not read (16 MiB of codes).
constexpr hsize_t kMostChunkValues = hsize_t{1} << 22;
// More restarts than one per 1,048,575 samples of a billion-sample recording is no recording.
constexpr hssize_t kMostRestarts = 1 << 16;

std::string AttributeReason(const char* name) {
    return std::string("属性 ") + name + " が正しくありません";
}

// A reader of a growing file reads a record again when it meets it half-written, waiting
// twice as long each time. The library's default of 100 tries would wait for ages on a damaged
// file; 24 wait about 20 ms in all, thousands of times a writer's write.
constexpr unsigned kReadAttempts = 24;

Hdf5Handle OpenFile(const std::string& path, unsigned flags) {
    const Hdf5Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!access.Valid() || H5Pset_metadata_read_attempts(access.Id(), kReadAttempts) < 0) {
        return {};
    }
    return {H5Fopen(path.c_str(), flags, access.Id()), H5Fclose};
}

}  // namespace

Hdf5RecordingReader::Hdf5RecordingReader() {
    Hdf5Handle::Quiet();
}

bool Hdf5RecordingReader::IsHdf5(const std::string& path) {
    // A pipe or a device named here never keeps the caller waiting.
    const PosixFile file = PosixFile::OpenRegular(path);
    char start[sizeof kSignature] = {};
    return file.IsOpen() && file.ReadAll(start).done == sizeof start &&
           std::memcmp(start, kSignature, sizeof start) == 0;
}

bool Hdf5RecordingReader::Read(const std::string& path, RecordingReader::Contents& contents,
                               const RecordingReader::Sink& sink, std::string* why) {
    contents = {};
    Hdf5RecordingReader reader;
    const bool fOpen = reader.Open(path);
    // Known before the first codes, as a table's header lines are.
    contents.settings = reader.Settings();
    contents.channels = reader.Channels();
    contents.fRateIndex = fOpen;
    contents.rowsAhead = fOpen ? reader.Rows() : 0;
    const bool fRead = fOpen && reader.ReadAll(sink, &contents.fractionRead);
    if (!fRead && why != nullptr) {
        *why = reader.Reason();
    }
    contents.count = fRead ? reader.Rows() : 0;
    return fRead;
}

bool Hdf5RecordingReader::Open(const std::string& path) {
    file.Close();
    codes.Close();
    description = {};
    channels.clear();
    rows = 0;
    reason.clear();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return Fail(FileErrorReason(errno));
    }
    if (!S_ISREG(status.st_mode) || !IsHdf5(path)) {
        return Fail("HDF5 ファイルではありません");
    }
    // Read as another program writes it, or after that program ended without closing it;
    // a file of an older format opens the ordinary way.
    file = OpenFile(path, H5F_ACC_RDONLY | H5F_ACC_SWMR_READ);
    if (!file.Valid()) {
        file = OpenFile(path, H5F_ACC_RDONLY);
    }
    if (!file.Valid()) {
        return Fail("HDF5 ファイルとして開けません");
    }
    return CheckFormat() && CheckCodes() && ReadSettings() && ReadRestarts() && ReadEnd();
}

MeasureSettings Hdf5RecordingReader::Settings() const {
    MeasureSettings settings;
    settings.spsSel = description.header.spsSel;
    settings.fSinc5 = description.header.fSinc5;
    settings.CHSel = description.header.chSel;
    return settings;
}

bool Hdf5RecordingReader::CheckFormat() {
    using namespace Hdf5Attributes;
    const std::optional<std::string> format = ReadText(file.Id(), Hdf5Layout::kFormatKey);
    if (format != Hdf5Layout::kFormat) {
        return Fail("SELKORAN の記録ではありません");
    }
    const std::optional<std::int64_t> version =
        ReadInteger(file.Id(), Hdf5Layout::kFormatVersionKey);
    if (version != Hdf5Layout::kFormatVersion) {
        return Fail(version ? "この版では読めない記録です（format_version " +
                                  std::to_string(*version) + "）"
                            : AttributeReason(Hdf5Layout::kFormatVersionKey));
    }
    RecordingHeader& header = description.header;
    header.boardName = ReadText(file.Id(), Hdf5Layout::kBoardKey).value_or("");
    header.boardVersion = ReadText(file.Id(), Hdf5Layout::kBoardVersionKey).value_or("");
    description.serial = ReadText(file.Id(), Hdf5Layout::kSerialKey).value_or("");
    description.programVersion = ReadText(file.Id(), Hdf5Layout::kProgramVersionKey).value_or("");
    return true;
}

bool Hdf5RecordingReader::CheckCodes() {
    if (H5Lexists(file.Id(), Hdf5Layout::kCodes, H5P_DEFAULT) <= 0) {
        return Fail("/codes がありません");
    }
    codes = Hdf5Handle(H5Dopen2(file.Id(), Hdf5Layout::kCodes, H5P_DEFAULT), H5Dclose);
    const Hdf5Handle type(codes.Valid() ? H5Dget_type(codes.Id()) : H5I_INVALID_HID, H5Tclose);
    const Hdf5Handle space(codes.Valid() ? H5Dget_space(codes.Id()) : H5I_INVALID_HID, H5Sclose);
    hsize_t dims[2] = {};
    if (!type.Valid() || !space.Valid() || H5Tget_class(type.Id()) != H5T_INTEGER ||
        H5Sget_simple_extent_ndims(space.Id()) != 2 ||
        H5Sget_simple_extent_dims(space.Id(), dims, nullptr) != 2 || dims[1] < 1 || dims[1] > 2) {
        return Fail("/codes の形か型が正しくありません");
    }
    rows = static_cast<std::int64_t>(std::min<hsize_t>(dims[0], INT64_MAX / 8));
    if (!Plausible(type.Id(), space.Id(), dims[1])) {
        return Fail("/codes のデータが欠けています");
    }
    return true;
}

bool Hdf5RecordingReader::Plausible(hid_t type, hid_t space, hsize_t width) {
    // A damaged file may claim more rows than it stores; reading those would take forever.
    const Hdf5Handle properties(H5Dget_create_plist(codes.Id()), H5Pclose);
    if (!properties.Valid() || H5Pget_layout(properties.Id()) != H5D_CHUNKED) {
        return H5Dget_storage_size(codes.Id()) >=
               static_cast<hsize_t>(rows) * width * H5Tget_size(type);
    }
    // A chunk is read whole: one of absurd size is no recording's either.
    hsize_t chunk[2] = {};
    hsize_t chunks = 0;
    return H5Pget_chunk(properties.Id(), 2, chunk) == 2 && chunk[0] > 0 &&
           chunk[0] * width <= kMostChunkValues &&
           H5Dget_num_chunks(codes.Id(), space, &chunks) >= 0 &&
           static_cast<hsize_t>(rows) <= chunks * chunk[0];
}

bool Hdf5RecordingReader::ReadSettings() {
    using namespace Hdf5Attributes;
    const hid_t c = codes.Id();
    RecordingHeader& header = description.header;
    const auto channelList = ReadIntegers(c, Hdf5Layout::kChannelsKey);
    // One of the two channels, or both in order: [0, 0] would put two columns into one.
    if (!channelList || channelList->empty() || channelList->size() > 2 ||
        channelList->front() < 0 || channelList->back() > 1 ||
        (channelList->size() == 2 && (channelList->front() != 0 || channelList->back() != 1))) {
        return Fail(AttributeReason(Hdf5Layout::kChannelsKey));
    }
    hsize_t dims[2] = {};
    const Hdf5Handle space(H5Dget_space(c), H5Sclose);
    if (H5Sget_simple_extent_dims(space.Id(), dims, nullptr) != 2 ||
        dims[1] != channelList->size()) {
        return Fail("/codes の列の数が channels と合いません");
    }
    channels.assign(channelList->begin(), channelList->end());
    header.chSel = channels.size() == 2 ? 2 : channels.front();
    const auto rate = ReadInteger(c, Hdf5Layout::kRateKey);
    const auto filter = ReadInteger(c, Hdf5Layout::kFilterKey);
    const auto chSel = ReadInteger(c, Hdf5Layout::kChannelKey);
    if (!rate || *rate < 0 || *rate >= kRateCount) {
        return Fail(AttributeReason(Hdf5Layout::kRateKey));
    }
    if (!filter || (*filter != 0 && *filter != 1)) {
        return Fail(AttributeReason(Hdf5Layout::kFilterKey));
    }
    if (!chSel || *chSel != header.chSel) {
        return Fail(AttributeReason(Hdf5Layout::kChannelKey));
    }
    header.spsSel = static_cast<int>(*rate);
    header.fSinc5 = *filter == 1;
    const auto sampleRate = ReadDouble(c, Hdf5Layout::kSampleRateKey);
    if (!sampleRate ||
        std::abs(*sampleRate - SampleRates::SamplesPerSecond(header.spsSel, header.fSinc5)) >
            1e-9 * *sampleRate) {
        return Fail(AttributeReason(Hdf5Layout::kSampleRateKey));
    }
    // The program's one rule from code to microvolts; a file that says otherwise is not ours.
    const auto perCode = ReadDouble(c, Hdf5Layout::kMicrovoltsPerCodeKey);
    if (!perCode || std::abs(*perCode - kMicrovoltsPerCode) > 1e-12 * kMicrovoltsPerCode) {
        return Fail(AttributeReason(Hdf5Layout::kMicrovoltsPerCodeKey));
    }
    if (ReadInteger(c, Hdf5Layout::kZeroCodeKey) != kMidScaleCode) {
        return Fail(AttributeReason(Hdf5Layout::kZeroCodeKey));
    }
    const auto count = ReadInteger(c, Hdf5Layout::kCountKey);
    if (!count || *count < 0) {
        return Fail(AttributeReason(Hdf5Layout::kCountKey));
    }
    header.count = *count;
    const auto start =
        RecordingDescription::ParseIsoTime(ReadText(c, Hdf5Layout::kStartKey).value_or(""));
    if (!start) {
        return Fail(AttributeReason(Hdf5Layout::kStartKey));
    }
    header.start = *start;
    return true;
}

bool Hdf5RecordingReader::ReadRestarts() {
    if (H5Lexists(file.Id(), Hdf5Layout::kRestarts, H5P_DEFAULT) <= 0) {
        return true;
    }
    const Hdf5Handle dataset(H5Dopen2(file.Id(), Hdf5Layout::kRestarts, H5P_DEFAULT), H5Dclose);
    const Hdf5Handle space(dataset.Valid() ? H5Dget_space(dataset.Id()) : H5I_INVALID_HID,
                           H5Sclose);
    const Hdf5Handle type = Hdf5Datasets::RestartType(H5T_NATIVE_INT64);
    const hssize_t count = space.Valid() && H5Sget_simple_extent_ndims(space.Id()) == 1
                               ? H5Sget_simple_extent_npoints(space.Id())
                               : -1;
    if (count < 0 || count > kMostRestarts || !type.Valid()) {
        return Fail("/restarts が正しくありません");
    }
    std::vector<Hdf5Datasets::RestartRow> restartRows(static_cast<std::size_t>(count));
    if (count > 0 &&
        H5Dread(dataset.Id(), type.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, restartRows.data()) < 0) {
        return Fail("/restarts が正しくありません");
    }
    std::int64_t previous = 0;
    for (const Hdf5Datasets::RestartRow& row : restartRows) {
        // Each further start command begins after the one before it, within the samples.
        if (row.sample <= previous || row.sample > rows) {
            return Fail("/restarts が正しくありません");
        }
        previous = row.sample;
        description.restarts.push_back(
            {row.sample, RecordingDescription::Time(std::chrono::nanoseconds(row.timeNs))});
    }
    return true;
}

bool Hdf5RecordingReader::ReadEnd() {
    using namespace Hdf5Attributes;
    const std::string word = ReadText(file.Id(), Hdf5Layout::kOutcomeKey).value_or("");
    if (word.empty()) {
        return true;  // still growing, or its writer did not live to the end
    }
    const auto outcome = RecordingDescription::OutcomeOf(word);
    if (!outcome) {
        return Fail(AttributeReason(Hdf5Layout::kOutcomeKey));
    }
    const auto time =
        RecordingDescription::ParseIsoTime(ReadText(file.Id(), Hdf5Layout::kEndKey).value_or(""));
    if (!time) {
        return Fail(AttributeReason(Hdf5Layout::kEndKey));
    }
    description.end = RecordingDescription::End{*time, *outcome};
    return true;
}

bool Hdf5RecordingReader::ReadRows(std::int64_t first, std::int64_t last,
                                   std::array<std::vector<std::int32_t>, 2>& out) {
    for (auto& channel : out) {
        channel.clear();
    }
    std::vector<std::int32_t> values;
    if (first < 0 || first >= last || last > rows || !ReadSlab(first, last - first, values)) {
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        out[static_cast<std::size_t>(channels[i % channels.size()])].push_back(values[i]);
    }
    return true;
}

bool Hdf5RecordingReader::ReadAll(const RecordingReader::Sink& sink, double* fractionRead) {
    std::vector<std::int32_t> values;
    std::array<std::vector<std::int32_t>, 2> stretch;
    const std::size_t width = channels.size();
    for (std::int64_t first = 0; first < rows; first += kReadRows) {
        if (!ReadSlab(first, std::min(kReadRows, rows - first), values)) {
            return false;
        }
        if (fractionRead != nullptr) {
            *fractionRead =
                static_cast<double>(first + static_cast<std::int64_t>(values.size() / width)) /
                static_cast<double>(rows);
        }
        const std::span<const std::int32_t> slab = values;
        for (std::size_t row = 0; row < slab.size() / width; row += RecordingReader::kStretch) {
            const std::size_t n = std::min(slab.size() / width - row, RecordingReader::kStretch);
            const std::span<const std::int32_t> part = slab.subspan(row * width, n * width);
            // One channel's codes go on as they are; two channels' rows are taken apart.
            if (width == 1) {
                stretch[static_cast<std::size_t>(channels.front())].assign(part.begin(),
                                                                           part.end());
            } else {
                stretch[0].resize(n);
                stretch[1].resize(n);
                for (std::size_t i = 0; i < n; ++i) {
                    stretch[0][i] = part[2 * i];
                    stretch[1][i] = part[2 * i + 1];
                }
            }
            if (!sink(stretch[0], stretch[1])) {
                return false;
            }
        }
    }
    return true;
}

bool Hdf5RecordingReader::ReadSlab(std::int64_t first, std::int64_t count,
                                   std::vector<std::int32_t>& values) {
    const hsize_t width = channels.size();
    values.resize(static_cast<std::size_t>(count) * width);
    if (!Hdf5Datasets::ReadRows(codes.Id(), first, count, width, values.data())) {
        return Fail("/codes を読めません");
    }
    const auto bad = std::find_if(values.begin(), values.end(), [](std::int32_t code) {
        return code < kMinScaleCode || code > kFullScaleCode;
    });
    if (bad != values.end()) {
        const auto sample = first + (bad - values.begin()) / static_cast<std::ptrdiff_t>(width);
        return Fail("範囲外のコードがあります（サンプル " + std::to_string(sample + 1) + "）");
    }
    return true;
}

bool Hdf5RecordingReader::Fail(std::string why) {
    reason = std::move(why);
    return false;
}
