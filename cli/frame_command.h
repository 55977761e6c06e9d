// Captured Modbus frames read as devices: given on the command line (--frame) or one per line of a
// capture log (--frames), written in the tool's three formats. Each frame is read against the one
// before it, so a response that follows its request names the devices it carries.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "cli/batch.h"
#include "cli/output.h"
#include "taglist/input.h"

namespace cli {

// The columns of a frame's result, in their order; the JSON keys are the same.
inline constexpr std::array<std::string_view, 15> kFrameColumnNames = {
    "input",         "mode",     "slave",        "function",
    "function_name", "role",     "checksum_ok",  "checksum_expected",
    "address",       "quantity", "first_device", "last_device",
    "values",        "note",     "error"};

struct FrameCounts {
    std::size_t frames = 0;
    std::size_t failed = 0;      // a wrong checksum, or no frame at all
    bool output_failed = false;  // the output refused a write: the rest was not read
};

// Reads `texts` in order as frames and writes one row (or JSON object) per reading of each frame,
// one row with the error for a text that is no frame; one line per failed frame to `errors`,
// naming it.
FrameCounts DecodeFrameTexts(std::span<const std::string> texts, Format format, const Sink& out,
                             const Sink& errors);

// The same for a capture log: one frame per line (LF or CR LF, a byte-order mark skipped), blank
// lines skipped, error lines naming the line number. CSV and JSON are written as the log is read;
// a table is aligned over the whole log, so it waits for the end, unless `flush_before_read` says
// that the input may wait (a terminal, `tail -f`): then every row read goes out before the next
// read, in CSV and JSON, and in a table aligned to the widest cells seen yet.
FrameCounts DecodeFrameLines(taglist::Input input, Format format, const Sink& out,
                             const Sink& errors, bool flush_before_read = false);

}  // namespace cli
