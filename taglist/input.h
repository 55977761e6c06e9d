// What the readers read: bytes copied in as they arrive (a pipe, a terminal, a list in memory), or
// a file that the system has mapped into memory, read where it lies. A large plant's list is read
// from a file, where mapping it saves copying every byte once more.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "taglist/utf8_source.h"

namespace taglist {

// A mapped file, handed on a stretch at a time, so that its owner can see between two stretches
// that the file is still whole and the program was not interrupted.
struct MappedBytes {
    const char* data = nullptr;
    // Sets `readable` to how many bytes from `data` may be read now: more than before, or as many
    // as before at the end of the input. False when the input failed (the file shrank while it was
    // read, or the program was interrupted): nothing more is read, not even what was given before
    // and not yet read as a whole line.
    std::function<bool(std::size_t& readable)> extend;
};

struct Input {
    Input(Source copied) : source(std::move(copied)) {}     // NOLINT: a source is an input
    Input(MappedBytes bytes) : mapped(std::move(bytes)) {}  // NOLINT: so is a mapped file
    Input(Source copied, std::function<bool()> failed_at_end)
        : source(std::move(copied)), failed(std::move(failed_at_end)) {}

    Source source;       // when the input is copied in
    MappedBytes mapped;  // when it is not: `mapped.extend` is set
    // For a source: whether its end was a failure (a file cut short, a read error), when the
    // bytes after the last line break are not a last line but what the failure left of one.
    std::function<bool()> failed;
};

}  // namespace taglist
