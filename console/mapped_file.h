// A regular file read where the system maps it into memory, rather than copied in by reads: a large
// plant's list is read once, not copied once more on the way. POSIX systems only; on Windows, and
// for anything that is not a regular file, the file is read by copying.
//
// Another program may cut a mapped file short while it is read, which would stop this one with
// SIGBUS at the first page past the new end. While a file is mapped, a guard puts zeros in place of
// those pages and marks the file as shrunk; the reader is told before it takes a line from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "taglist/input.h"

namespace console {

class MappedFile {
  public:
    // Maps what is left of `fd` from its offset on, if it is a regular file with bytes left that
    // the system maps; nothing otherwise (and when another file is mapped already). The descriptor
    // stays the caller's.
    static std::unique_ptr<MappedFile> Map(int fd);

    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    // Unmaps the file and leaves the descriptor's offset past what was mapped, as reading it
    // through would have.
    ~MappedFile();

    // The file a stretch at a time, failing once it has shrunk or `interrupted` says so. The pages
    // read before the last stretch are handed back to the system as the reading goes on, so that
    // the memory a run holds does not grow with the file.
    taglist::MappedBytes Bytes(std::function<bool()> interrupted);

    // Whether the file was cut short while it was read.
    bool shrank() const;

  private:
    MappedFile(int fd, char* map, std::size_t map_size, std::size_t skip, std::size_t size,
               std::int64_t end_offset);
    bool Extend(std::size_t& readable, const std::function<bool()>& interrupted);

    int fd_;
    char* map_;             // page-aligned
    std::size_t map_size_;  // bytes mapped from map_
    std::size_t skip_;      // bytes before the descriptor's offset, in the first page
    std::size_t size_;      // bytes of the file from the offset on
    std::int64_t end_offset_;
    std::size_t released_ = 0;  // bytes from map_ handed back
    bool shrank_ = false;
};

}  // namespace console
