// Text collected and handed on in large blocks: one write per row would cost more than answering
// it. Rows are written straight into the block, with room made for the longest a row can be.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

// Receives output in large pieces; false when it could not be written, which ends the run.
using Sink = std::function<bool(std::string_view)>;

class OutputBlock {
  public:
    // How much gathers before it is handed on: small enough to stay in the processor's cache while
    // it fills. A file on a disk takes larger blocks: the system spends less on each byte of a
    // large write to a file, where writing to a pipe or a device costs little for any size.
    static constexpr std::size_t kBlockSize = std::size_t{1} << 16;
    static constexpr std::size_t kFileBlockSize = std::size_t{1} << 18;

    explicit OutputBlock(Sink sink, std::size_t block = kBlockSize)
        : sink_(std::move(sink)), block_(block), bytes_(2 * block) {}

    void Append(std::string_view text) { Put(Room(text.size()), text); }

    // Room for `size` bytes at the end of the text; Advance(end) keeps what was written up to
    // `end`.
    char* Room(std::size_t size) {
        if (bytes_.size() - used_ < size) {
            bytes_.resize(used_ + size);  // a row longer than a block
        }
        return bytes_.data() + used_;
    }
    void Advance(char* end) { used_ = static_cast<std::size_t>(end - bytes_.data()); }

    // Copies `text` to `at`, gives where it ends.
    static char* Copy(char* at, std::string_view text) {
        std::memcpy(at, text.data(), text.size());
        return at + text.size();
    }

    bool full() const { return used_ >= block_; }

    // Hands on what has gathered; false when the sink could not take it.
    bool Flush() {
        if (used_ == 0) {
            return true;
        }
        const bool written = sink_({bytes_.data(), used_});
        used_ = 0;
        return written;
    }

  private:
    void Put(char* at, std::string_view text) { Advance(Copy(at, text)); }

    Sink sink_;
    std::size_t block_;
    std::vector<char> bytes_;  // the first used_ hold text
    std::size_t used_ = 0;
};

}  // namespace cli
