#include "console/mapped_file.h"

#include "console/file_io.h"

#include <algorithm>

#ifndef _WIN32
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#endif

namespace console {

namespace {

// How much of the file is handed on at once: small enough that the pages behind the reader can be
// handed back often, large enough that a stretch costs nothing beside the reading of it.
constexpr std::size_t kStretch = std::size_t{1} << 20;

#ifndef _WIN32
// The one file mapped at a time, as the guard sees it: a signal handler can read only atomics.
std::atomic<char*> guarded_map{nullptr};
std::atomic<std::uintptr_t> guarded_begin{0};
std::atomic<std::uintptr_t> guarded_end{0};
std::atomic<std::uintptr_t> page_size{4096};
volatile std::sig_atomic_t guarded_shrank = 0;
struct sigaction before_guard {};

// A bus error inside the mapped file: its pages from there on have gone with the end of the file.
// Zeros in their place let the read go on, and the reader stops at them. Any other bus error is not
// ours: the handler that was in place before takes it when the access is made again.
void OnBusError(int /*signal*/, siginfo_t* info, void* /*context*/) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const auto begin = guarded_begin.load();
    const auto end = guarded_end.load();
    if (address >= begin && address < end) {
        const std::uintptr_t page = address & ~(page_size.load() - 1);
        if (mmap(guarded_map.load() + (page - begin), end - page, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            guarded_shrank = 1;
            return;
        }
    }
    sigaction(SIGBUS, &before_guard, nullptr);
}
#endif

}  // namespace

#ifdef _WIN32
std::unique_ptr<MappedFile> MappedFile::Map(int /*fd*/) {
    return nullptr;
}
MappedFile::~MappedFile() = default;
bool MappedFile::shrank() const {
    return false;
}
taglist::MappedBytes MappedFile::Bytes(std::function<bool()> /*interrupted*/) {
    return {};
}
#else
std::unique_ptr<MappedFile> MappedFile::Map(int fd) {
    const std::int64_t left = BytesLeft(fd);
    if (left <= 0 || guarded_end.load() != 0) {
        return nullptr;
    }
    const off_t offset = lseek(fd, 0, SEEK_CUR);
    const std::int64_t file_size = offset + left;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = static_cast<std::uintptr_t>(offset) & ~(page - 1);
    const auto map_size = static_cast<std::size_t>(static_cast<std::uintptr_t>(file_size) - start);
    void* map = mmap(nullptr, map_size, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(start));
    if (map == MAP_FAILED) {
        return nullptr;  // read by copying instead
    }
    madvise(map, map_size, MADV_SEQUENTIAL);
    struct sigaction guard {};
    guard.sa_sigaction = OnBusError;
    guard.sa_flags = SA_SIGINFO;
    sigemptyset(&guard.sa_mask);
    if (sigaction(SIGBUS, &guard, &before_guard) != 0) {
        munmap(map, map_size);
        return nullptr;
    }
    page_size = page;
    guarded_shrank = 0;
    guarded_map = static_cast<char*>(map);
    guarded_begin = reinterpret_cast<std::uintptr_t>(map);
    guarded_end = reinterpret_cast<std::uintptr_t>(map) + (map_size + page - 1) / page * page;
    return std::unique_ptr<MappedFile>(
        new MappedFile(fd, static_cast<char*>(map), map_size,
                       static_cast<std::size_t>(static_cast<std::uintptr_t>(offset) - start),
                       static_cast<std::size_t>(left), file_size));
}

MappedFile::MappedFile(int fd, char* map, std::size_t map_size, std::size_t skip, std::size_t size,
                       std::int64_t end_offset)
    : fd_(fd), map_(map), map_size_(map_size), skip_(skip), size_(size), end_offset_(end_offset) {}

MappedFile::~MappedFile() {
    guarded_begin = 0;
    guarded_end = 0;
    guarded_map = nullptr;
    sigaction(SIGBUS, &before_guard, nullptr);
    munmap(map_, map_size_);
    lseek(fd_, static_cast<off_t>(end_offset_), SEEK_SET);
}

bool MappedFile::shrank() const {
    return shrank_ || guarded_shrank != 0;
}

// Hands on the next stretch, after checking that what was handed on before is still the file's.
bool MappedFile::Extend(std::size_t& readable, const std::function<bool()>& interrupted) {
    if (shrank() || (interrupted && interrupted())) {
        return false;
    }
    if (readable >= size_) {
        // The end: the last stretch may lie in a page the file still reaches, where bytes past its
        // new end read as zeros without a bus error; its size says whether it lost any.
        struct stat status {};
        shrank_ = fstat(fd_, &status) != 0 || status.st_size < end_offset_;
        return !shrank_;
    }
    // The pages behind the last stretch: read already, and mapped again if a line reaches back.
    const auto page = page_size.load();
    const std::size_t release = (skip_ + readable - std::min(readable, kStretch)) / page * page;
    if (release > released_) {
        madvise(map_ + released_, release - released_, MADV_DONTNEED);
        released_ = release;
    }
    readable = std::min(size_, readable + kStretch);
    return true;
}

taglist::MappedBytes MappedFile::Bytes(std::function<bool()> interrupted) {
    return {map_ + skip_, [this, interrupted = std::move(interrupted)](std::size_t& readable) {
                return Extend(readable, interrupted);
            }};
}
#endif

}  // namespace console
