// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Hdf5RecordingSink.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/Codes.h"
#include "common/PosixFile.h"
#include "record/Hdf5Attributes.h"
#include "record/Hdf5Datasets.h"
#include "record/Hdf5Layout.h"
#include "record/Hdf5RecordingReader.h"

namespace {

namespace fs = std::filesystem;

// What the writes up to the next look and the close may add at most (a second of the top
// rate on two channels, a chunk, the library's own records), with a wide margin.
constexpr std::int64_t kRoomAhead = 1 << 20;

std::int64_t Nanoseconds(std::chrono::system_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

// After the library has let go of the file: the blocks reserved past its end are given back
// (a cut at its own length does that), and the last bits of its close reach the disk.
void ReleaseAndSync(const std::string& path) {
    const PosixFile file = PosixFile::Open(path, O_WRONLY);
    struct stat status {};
    if (file.IsOpen()) {
        if (::fstat(file.Descriptor(), &status) == 0) {
            static_cast<void>(::ftruncate(file.Descriptor(), status.st_size));
        }
        file.SyncData();
    }
}

}  // namespace

Hdf5RecordingSink::Hdf5RecordingSink(Options fileOptions, NowFunction nowFunction)
    : RecordingSink(std::move(fileOptions), std::move(nowFunction)) {
    Hdf5Handle::Quiet();
}

Hdf5RecordingSink::~Hdf5RecordingSink() {
    Close(std::nullopt);
}

bool Hdf5RecordingSink::Check() {
    refusal = FileRefusal::None;
    fileError = 0;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(options.path, error);
    if (fs::exists(status) && !options.fOverwrite) {
        refusal = FileRefusal::Exists;
        fileError = EEXIST;
    } else if (fs::exists(status) && !fs::is_regular_file(fs::status(options.path, error))) {
        // A pipe or a device cannot hold a file that is read while it grows.
        refusal = FileRefusal::Failed;
        fileError = fs::is_directory(fs::status(options.path, error)) ? EISDIR : EINVAL;
    }
    return refusal == FileRefusal::None;
}

bool Hdf5RecordingSink::Open(const AcquisitionInfo& run) {
    Close(std::nullopt);
    fFailed = fBroken = false;
    written = flushed = kept = reservedTo = 0;
    fileError = 0;
    restartRows.clear();
    restartsWritten = 0;
    pending.clear();
    channels.clear();
    for (const int channel : {0, 1}) {
        if (run.Measures(channel)) {
            channels.push_back(channel);
        }
    }
    pending.reserve(static_cast<std::size_t>(Hdf5Layout::kChunkRows) * channels.size());
    // Single-writer/multiple-reader mode needs the newest file format.
    const Hdf5Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    errno = 0;  // what the system says when the file cannot be made
    if (access.Valid() &&
        H5Pset_libver_bounds(access.Id(), H5F_LIBVER_LATEST, H5F_LIBVER_LATEST) >= 0) {
        file = Hdf5Handle(
            H5Fcreate(options.path.c_str(), options.fOverwrite ? H5F_ACC_TRUNC : H5F_ACC_EXCL,
                      H5P_DEFAULT, access.Id()),
            H5Fclose);
    }
    if (!file.Valid()) {
        fileError = errno != 0 ? errno : EIO;
        refusal = options.fOverwrite || !fs::exists(options.path) ? FileRefusal::Failed
                                                                  : FileRefusal::Exists;
        return false;
    }
    if (!WriteHeader(run) || !MakeCodes(run) || !MakeRestarts()) {
        fileError = errno != 0 ? errno : EIO;
        refusal = FileRefusal::Failed;
        Discard();
        return false;
    }
    return true;
}

bool Hdf5RecordingSink::WriteHeader(const AcquisitionInfo& run) {
    using namespace Hdf5Attributes;
    const hid_t f = file.Id();
    return WriteText(f, Hdf5Layout::kFormatKey, Hdf5Layout::kFormat) &&
           WriteInteger(f, Hdf5Layout::kFormatVersionKey, Hdf5Layout::kFormatVersion,
                        H5T_STD_I32LE) &&
           WriteText(f, Hdf5Layout::kProgramVersionKey, SELKORAN_VERSION) &&
           WriteText(f, Hdf5Layout::kBoardKey, run.boardName) &&
           WriteText(f, Hdf5Layout::kBoardVersionKey, run.boardVersion) &&
           WriteText(f, Hdf5Layout::kSerialKey, run.serial) &&
           WriteFixedText(f, Hdf5Layout::kEndKey, Hdf5Layout::kEndLength, "") &&
           WriteFixedText(f, Hdf5Layout::kOutcomeKey, Hdf5Layout::kOutcomeLength, "");
}

bool Hdf5RecordingSink::MakeCodes(const AcquisitionInfo& run) {
    using namespace Hdf5Attributes;
    codes =
        Hdf5Datasets::MakeExtendible(file.Id(), Hdf5Layout::kCodes, H5T_STD_I32LE, channels.size(),
                                     Hdf5Layout::kChunkRows, options.fCompress);
    const hid_t c = codes.Id();
    const MeasureSettings& s = run.settings;
    return codes.Valid() && WriteIntegers(c, Hdf5Layout::kChannelsKey, channels) &&
           WriteDouble(c, Hdf5Layout::kSampleRateKey, run.SampleRate()) &&
           WriteInteger(c, Hdf5Layout::kRateKey, s.spsSel, H5T_STD_I32LE) &&
           WriteInteger(c, Hdf5Layout::kFilterKey, s.fSinc5 ? 1 : 0, H5T_STD_I32LE) &&
           WriteInteger(c, Hdf5Layout::kChannelKey, s.CHSel, H5T_STD_I32LE) &&
           WriteInteger(c, Hdf5Layout::kCountKey, run.count, H5T_STD_I64LE) &&
           WriteDouble(c, Hdf5Layout::kMicrovoltsPerCodeKey,
                       kMicrovoltsPerCode / std::max(s.GainFactor, 1)) &&
           WriteInteger(c, Hdf5Layout::kZeroCodeKey, kMidScaleCode, H5T_STD_I32LE);
}

bool Hdf5RecordingSink::MakeRestarts() {
    const Hdf5Handle type = Hdf5Datasets::RestartType(H5T_STD_I64LE);
    restarts = type.Valid()
                   ? Hdf5Datasets::MakeExtendible(file.Id(), Hdf5Layout::kRestarts, type.Id(), 0,
                                                  Hdf5Layout::kRestartChunkRows, false)
                   : Hdf5Handle();
    return restarts.Valid();
}

void Hdf5RecordingSink::Discard() {
    restarts.Close();
    codes.Close();
    if (file.Valid()) {
        file.Close();
        ::unlink(options.path.c_str());
    }
}

bool Hdf5RecordingSink::Begin(const AcquisitionInfo& run) {
    if (!file.Valid() ||
        !Hdf5Attributes::WriteText(codes.Id(), Hdf5Layout::kStartKey,
                                   RecordingFormat::IsoTime(run.start)) ||
        H5Fstart_swmr_write(file.Id()) < 0 || !Sync()) {
        return Break();
    }
    PosixFile::SyncFolderOf(options.path);
    return true;
}

bool Hdf5RecordingSink::Take(const SampleBlock& block) {
    if (fFailed || !file.Valid()) {
        return false;
    }
    if (!Waiting()) {
        oldestWaiting = block.arrived;
    }
    const std::span<const std::int32_t> columns[2] = {block.ch0, block.ch1};
    for (std::size_t i = 0; i < block.Size(); ++i) {
        for (const int channel : channels) {
            pending.push_back(columns[channel][i]);
        }
    }
    // Whole chunks go out as they fill; the rest waits for the next flush.
    const std::int64_t toBoundary = Hdf5Layout::kChunkRows - written % Hdf5Layout::kChunkRows;
    return PendingRows() < toBoundary || (MakeRoom() && WriteRows(toBoundary));
}

bool Hdf5RecordingSink::Restart(std::int64_t firstSample,
                                std::chrono::system_clock::time_point time) {
    if (!Waiting()) {
        oldestWaiting = timeNow();
    }
    restartRows.push_back({firstSample, time});
    return !fFailed;
}

bool Hdf5RecordingSink::Tick(Clock::time_point t) {
    if (fFailed) {
        return false;
    }
    // A flush rides on the last wake that comes anyway before the second is up, judged by the
    // time since the wake before: a slow recording flushes at its samples' wakes, a fast one
    // about once a second (each flush of a compressed file packs its last chunk again). The
    // deadline keeps what waits within the second all the same.
    const Clock::duration sinceLastTick = t - lastTick;
    lastTick = t;
    return !Waiting() || t + sinceLastTick < oldestWaiting + kFlushInterval ||
           (MakeRoom() && Flush());
}

Hdf5RecordingSink::Clock::time_point Hdf5RecordingSink::NextDeadline() const {
    return file.Valid() && !fFailed && Waiting() ? oldestWaiting + kFlushInterval
                                                 : Clock::time_point::max();
}

bool Hdf5RecordingSink::Waiting() const {
    return Rows() > flushed || restartsWritten < restartRows.size();
}

bool Hdf5RecordingSink::End(AcquisitionOutcome outcome) {
    return Close(RecordingDescription::End{std::chrono::system_clock::now(), outcome});
}

bool Hdf5RecordingSink::Close(const std::optional<RecordingDescription::End>& end) {
    if (!file.Valid()) {
        return !fFailed;
    }
    // After a stop for want of room, what waits still fits in the room reserved for it.
    const bool fKept = !fBroken && Flush();
    kept = fKept ? written : flushed;
    if (!fKept) {
        // What the last good flush holds stays the recording; later rows may not have
        // reached the disk.
        const hsize_t extent[] = {static_cast<hsize_t>(flushed), channels.size()};
        H5Dset_extent(codes.Id(), extent);
    }
    bool fNoted = true;
    if (end) {
        const AcquisitionOutcome outcome =
            fKept && !fFailed ? end->outcome : AcquisitionOutcome::WriteFailed;
        fNoted =
            Hdf5Attributes::WriteFixedText(file.Id(), Hdf5Layout::kEndKey, Hdf5Layout::kEndLength,
                                           RecordingFormat::IsoTime(end->time)) &&
            Hdf5Attributes::WriteFixedText(file.Id(), Hdf5Layout::kOutcomeKey,
                                           Hdf5Layout::kOutcomeLength,
                                           RecordingDescription::OutcomeWord(outcome));
    }
    fNoted = fNoted && H5Fflush(file.Id(), H5F_SCOPE_GLOBAL) >= 0 && Sync();
    restarts.Close();
    codes.Close();
    const bool fClosed = file.Close();
    ReleaseAndSync(options.path);
    pending.clear();
    return fKept && fNoted && fClosed && !fFailed;
}

std::uint64_t Hdf5RecordingSink::FileSize() const {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(options.path, error);
    return error ? 0 : size;
}

bool Hdf5RecordingSink::ReadBack(std::int64_t first, std::int64_t last,
                                 std::array<std::vector<std::int32_t>, 2>& out) const {
    for (auto& channel : out) {
        channel.clear();
    }
    if (!file.Valid()) {
        Hdf5RecordingReader reader;
        return reader.Open(options.path) && reader.ReadRows(first, last, out);
    }
    if (first < 0 || first >= last || last > Rows()) {
        return false;
    }
    // From the file what it holds, from memory what waits for it.
    const std::int64_t fromFile = std::clamp(written - first, std::int64_t{0}, last - first);
    const std::size_t width = channels.size();
    std::vector<std::int32_t> fileRows(static_cast<std::size_t>(fromFile) * width);
    if (fromFile > 0 &&
        !Hdf5Datasets::ReadRows(codes.Id(), first, fromFile, width, fileRows.data())) {
        return false;
    }
    for (std::int64_t sample = first; sample < last; ++sample) {
        const std::int32_t* row =
            sample < written ? &fileRows[static_cast<std::size_t>(sample - first) * width]
                             : &pending[static_cast<std::size_t>(sample - written) * width];
        for (std::size_t c = 0; c < width; ++c) {
            out[static_cast<std::size_t>(channels[c])].push_back(row[c]);
        }
    }
    return true;
}

std::int64_t Hdf5RecordingSink::PendingRows() const {
    return channels.empty() ? 0 : static_cast<std::int64_t>(pending.size() / channels.size());
}

bool Hdf5RecordingSink::WriteRows(std::int64_t rows) {
    if (rows == 0) {
        return true;
    }
    if (!Hdf5Datasets::Append(codes.Id(), H5T_NATIVE_INT32, written, rows, channels.size(),
                              pending.data())) {
        return Break();
    }
    written += rows;
    pending.erase(pending.begin(),
                  pending.begin() + static_cast<std::ptrdiff_t>(rows * std::ssize(channels)));
    return true;
}

bool Hdf5RecordingSink::WriteRestarts() {
    std::vector<Hdf5Datasets::RestartRow> rows;
    for (std::size_t i = restartsWritten; i < restartRows.size(); ++i) {
        rows.push_back({restartRows[i].firstSample, Nanoseconds(restartRows[i].time)});
    }
    const Hdf5Handle type = Hdf5Datasets::RestartType(H5T_STD_I64LE);
    if (!rows.empty() &&
        (!type.Valid() ||
         !Hdf5Datasets::Append(restarts.Id(), type.Id(), static_cast<std::int64_t>(restartsWritten),
                               std::ssize(rows), 0, rows.data()))) {
        return Break();
    }
    restartsWritten = restartRows.size();
    return true;
}

bool Hdf5RecordingSink::Flush() {
    if (!WriteRows(PendingRows()) || !WriteRestarts() ||
        H5Fflush(file.Id(), H5F_SCOPE_GLOBAL) < 0 || !Sync()) {
        return Break();
    }
    flushed = written;
    return true;
}

bool Hdf5RecordingSink::Sync() {
    const int fd = Descriptor();
    return fd >= 0 && ::fdatasync(fd) == 0;
}

bool Hdf5RecordingSink::MakeRoom() {
    const int fd = Descriptor();
    struct stat status {};
    if (fFailed || fd < 0 || ::fstat(fd, &status) != 0) {
        return fFailed ? false : Break();
    }
    // A file size limit is a full disk of this file's own.
    const std::int64_t size = status.st_size;
    rlimit limit{};
    const bool fLimited = ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                          limit.rlim_cur != RLIM_INFINITY &&
                          static_cast<rlim_t>(size + kRoomAhead) > limit.rlim_cur;
    if (!fLimited && size + kRoomAhead / 2 <= reservedTo) {
        return true;
    }
    if (fLimited) {
        return Fail(EFBIG);
    }
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, size, kRoomAhead) == 0) {
        reservedTo = size + kRoomAhead;
        return true;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        return Fail(errno);
    }
    // A file system that reserves nothing: its free space has to do.
    struct statvfs space {};
    return (::fstatvfs(fd, &space) == 0 &&
            static_cast<std::int64_t>(space.f_bavail * space.f_frsize) >= kRoomAhead) ||
           Fail(ENOSPC);
}

int Hdf5RecordingSink::Descriptor() const {
    void* handle = nullptr;
    return file.Valid() && H5Fget_vfd_handle(file.Id(), H5P_DEFAULT, &handle) >= 0 &&
                   handle != nullptr
               ? *static_cast<int*>(handle)
               : -1;
}

bool Hdf5RecordingSink::Break() {
    fBroken = true;
    return Fail(errno != 0 ? errno : EIO);
}

bool Hdf5RecordingSink::Fail(int error) {
    fFailed = true;
    fileError = fileError != 0 ? fileError : error;
    return false;
}
