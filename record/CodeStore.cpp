// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/CodeStore.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr auto kCodeBytes = static_cast<std::int64_t>(sizeof(std::int32_t));
constexpr std::size_t kMostBudget = std::size_t{2} << 30;
// Codes gathered before a write to the file.
constexpr std::size_t kWriteCodes = std::size_t{1} << 18;
// The least a reader maps at once: a few of the figures' stretches.
constexpr std::int64_t kMappedBytes = std::int64_t{2} << 20;

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A file without a name (O_TMPFILE), or where the file system cannot make one, a named file
// removed at once.
PosixFile OpenNamelessFile() {
    const std::string folder = TemporaryFolder();
    PosixFile file = PosixFile::Open(folder, O_TMPFILE | O_RDWR, 0600);
    if (file.IsOpen()) {
        return file;
    }
    std::string name = folder + "/selkoran-codes-XXXXXX";
    file = PosixFile(::mkostemp(name.data(), O_CLOEXEC));
    if (file.IsOpen()) {
        ::unlink(name.c_str());
    }
    return file;
}

// Reads the file through one mapped stretch at a time, moved on when a read leaves it.
class MappedReader : public CodeSeries::Reader {
public:
    MappedReader(int descriptor, std::int64_t codes)
        : fd(descriptor), fileBytes(codes * kCodeBytes) {}
    ~MappedReader() override { Unmap(); }
    MappedReader(const MappedReader&) = delete;
    MappedReader& operator=(const MappedReader&) = delete;

    std::span<const std::int32_t> Read(std::int64_t first, std::int64_t count) override {
        const std::int64_t begin = first * kCodeBytes;
        const std::int64_t end = begin + count * kCodeBytes;
        if (begin < mappedFrom || end > mappedFrom + mappedBytes) {
            Map(begin, end);
        }
        if (mapped == nullptr) {
            return {};
        }
        return {reinterpret_cast<const std::int32_t*>(mapped + (begin - mappedFrom)),
                static_cast<std::size_t>(count)};
    }

private:
    void Map(std::int64_t begin, std::int64_t end) {
        Unmap();
        static const std::int64_t page = ::sysconf(_SC_PAGESIZE);
        mappedFrom = begin / page * page;
        mappedBytes = std::min(std::max(end - mappedFrom, kMappedBytes), fileBytes - mappedFrom);
        void* at = ::mmap(nullptr, static_cast<std::size_t>(mappedBytes), PROT_READ, MAP_SHARED, fd,
                          static_cast<off_t>(mappedFrom));
        if (at == MAP_FAILED) {
            mappedBytes = 0;
            return;
        }
        // Each reader walks its stretch once, in order.
        ::madvise(at, static_cast<std::size_t>(mappedBytes), MADV_SEQUENTIAL);
        mapped = static_cast<const char*>(at);
    }
    void Unmap() {
        if (mapped != nullptr) {
            ::munmap(const_cast<char*>(mapped), static_cast<std::size_t>(mappedBytes));
            mapped = nullptr;
        }
    }

    int fd;
    std::int64_t fileBytes;
    const char* mapped = nullptr;
    std::int64_t mappedFrom = 0;
    std::int64_t mappedBytes = 0;
};

}  // namespace

std::size_t CodeStore::DefaultBudget() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return kMostBudget;
    }
    return std::min(static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize) / 4,
                    kMostBudget);
}

CodeStore::CodeStore(std::size_t budgetBytes) : budgetCodes(budgetBytes / sizeof(std::int32_t)) {}

void CodeStore::Reserve(std::int64_t codes) {
    if (!InFile()) {
        held.reserve(
            std::min(budgetCodes, static_cast<std::size_t>(std::max<std::int64_t>(codes, 0))));
    }
}

bool CodeStore::Append(std::span<const std::int32_t> codes) {
    count += static_cast<std::int64_t>(codes.size());
    if (!InFile() && held.size() + codes.size() > budgetCodes && !MoveToFile()) {
        return false;
    }
    if (!InFile() && held.size() + codes.size() > held.capacity()) {
        // Grown by doubling but never past the budget, so the memory held stays within it.
        held.reserve(
            std::min(budgetCodes, std::max(2 * held.capacity(), held.size() + codes.size())));
    }
    held.insert(held.end(), codes.begin(), codes.end());
    return !InFile() || held.size() < kWriteCodes || WriteHeld();
}

bool CodeStore::Finish() {
    return !InFile() || WriteHeld();
}

bool CodeStore::MoveToFile() {
    file = OpenNamelessFile();
    if (!InFile() || !WriteHeld()) {
        return false;
    }
    held = {};
    held.reserve(kWriteCodes);
    return true;
}

bool CodeStore::WriteHeld() {
    const std::string_view bytes(reinterpret_cast<const char*>(held.data()),
                                 held.size() * sizeof(std::int32_t));
    // A write moves the whole buffer or fails.
    const bool fWritten = file.WriteAll(bytes).done == bytes.size();
    held.clear();
    return fWritten;
}

std::unique_ptr<CodeSeries::Reader> CodeStore::Open() const {
    if (InFile()) {
        return std::make_unique<MappedReader>(file.Descriptor(), count);
    }
    return CodeSeries::ReaderOf(held);
}
