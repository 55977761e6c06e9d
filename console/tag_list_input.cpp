#include "console/tag_list_input.h"

#include <cerrno>
#include <cstring>

#include "console/file_io.h"
#include "console/program.h"

namespace console {

InputFile::~InputFile() {
    mapped_.reset();  // before the descriptor goes
    if (fd > 0) {
        Close(fd);
    }
}

bool InputFile::Open(const std::string& path) {
    if (path.empty() || path == "-") {
        return true;
    }
    name = path;
    fd = OpenForReading(path);
    error = fd < 0 ? errno : 0;
    return fd >= 0;
}

taglist::Input InputFile::Input() {
    mapped_ = MappedFile::Map(fd);
    if (mapped_) {
        return mapped_->Bytes([] { return InterruptSignal() != 0; });
    }
    expected_ = BytesLeft(fd);
    return {[this](char* buffer, std::size_t size) -> std::size_t {
                if (InterruptSignal() != 0) {
                    return 0;
                }
                const std::size_t got = ReadSome(fd, buffer, size, error);
                read_ += static_cast<std::int64_t>(got);
                if (got == 0 && error == 0 && read_ < expected_) {
                    shrank_ = true;
                }
                return got;
            },
            [this] { return Problem().has_value(); }};
}

std::optional<std::string> InputFile::Problem() const {
    if (shrank_ || (mapped_ && mapped_->shrank())) {
        return "cannot read " + name +
               " whole: it was cut short while it was read (the rows before that are written)";
    }
    if (error != 0) {
        return "cannot read " + name + ": " + std::strerror(error);
    }
    return std::nullopt;
}

}  // namespace console
