// zentriq-lookup: the controller's Modbus address map from the command line. Items on the command
// line are looked up and printed together; --batch streams a CSV tag list through the map; --frame
// and --frames read captured Modbus frames as devices.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/frames.h"
#include "cli/output.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kAllAnswered = 0;
constexpr int kSomeUnanswered = 1;
constexpr int kUsageError = 2;

constexpr const char* kExamples = R"(Examples:
  zentriq-lookup D100 X17 T5          devices: their addresses, references, function codes
  zentriq-lookup 0x1064 404197        an address from a frame or an HMI: the devices there
  zentriq-lookup --format json M1536  the same for a program
  zentriq-lookup --batch tags.csv --column 2 --header > tags-with-addresses.csv
                                      a tag list, the device names in its second column
  zentriq-lookup --frame :01031064000286
                                      a captured frame: its function, addresses, devices, checksum
  zentriq-lookup --frames capture.log one frame per line (ASCII ":..." or RTU hex bytes); a
                                      response after its request names the devices it carries

Items: a device (D100, d100, X17 with X and Y in octal, T5, M1536), a hex address (0x1064, 1064h,
H1064) or a six-digit reference (404197 holding register, 001542 coil, 101040 discrete input).
Exit status: 0 every item answered (every frame read, its checksum right), 1 some item had no
answer (some frame had a wrong checksum or was no frame), 2 usage error.)";

struct Options {
    std::vector<std::string> items;
    std::string format = "table";
    std::string batch_path = "-";
    std::size_t column = 1;
    bool header = false;
    std::vector<std::vector<std::string>> frames;  // one per --frame, its arguments joined
    std::string frames_path = "-";
};

void Write(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "zentriq-lookup: %s\nRun with --help for more information.\n",
                 message.c_str());
    return kUsageError;
}

int CannotRead(const std::string& name, int error) {
    std::fprintf(stderr, "zentriq-lookup: cannot read %s: %s\n", name.c_str(),
                 std::strerror(error));
    return kUsageError;
}

lookup::Format FormatOf(const Options& options) {
    return options.format == "csv"    ? lookup::Format::Csv
           : options.format == "json" ? lookup::Format::Json
                                      : lookup::Format::Table;
}

int LookUpItems(const Options& options) {
    std::vector<lookup::Lookup> lookups;
    bool all_answered = true;
    for (const auto& item : options.items) {
        auto result = conversion::LookUp(item);
        if (!result.ok()) {
            all_answered = false;
            std::fprintf(stderr, "zentriq-lookup: %s\n", result.message.c_str());
        }
        lookups.push_back({item, std::move(result)});
    }
    std::string out;
    lookup::AppendLookups(out, FormatOf(options), lookups);
    Write(stdout, out);
    return all_answered ? kAllAnswered : kSomeUnanswered;
}

// Runs `read` over the file at `path` (standard input for - or no name), which says whether every
// item had its answer, and gives the exit status.
template <class Read>
int FromInput(const std::string& path, const Read& read) {
    const bool from_stdin = path.empty() || path == "-";
    std::FILE* in = from_stdin ? stdin : std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return CannotRead(path, errno);
    }
    int read_error = 0;
    const lookup::CsvReader::Source source = [&](char* buffer, std::size_t size) -> std::size_t {
        const std::size_t got = std::fread(buffer, 1, size, in);
        if (got == 0 && std::ferror(in)) {
            read_error = errno;
        }
        return got;
    };
    const bool all_answered = read(source);
    if (!from_stdin) {
        std::fclose(in);
    }
    if (read_error != 0) {
        return CannotRead(from_stdin ? "standard input" : path, read_error);
    }
    return all_answered ? kAllAnswered : kSomeUnanswered;
}

void ToStdout(std::string_view text) {
    Write(stdout, text);
}

void ToStderr(std::string_view text) {
    Write(stderr, text);
}

int LookUpBatch(const Options& options) {
    return FromInput(options.batch_path, [&](const lookup::CsvReader::Source& source) {
        return lookup::RunBatch(source, ToStdout, ToStderr, {options.column - 1, options.header})
                   .unanswered == 0;
    });
}

// An RTU frame typed without quotes comes as one argument per byte: one --frame takes them all.
int DecodeFrameArguments(const Options& options) {
    std::vector<std::string> texts;
    for (const auto& arguments : options.frames) {
        std::string& text = texts.emplace_back();
        for (const auto& argument : arguments) {
            text += (text.empty() ? "" : " ") + argument;
        }
    }
    return lookup::DecodeFrameTexts(texts, FormatOf(options), ToStdout, ToStderr).failed == 0
               ? kAllAnswered
               : kSomeUnanswered;
}

int DecodeFrameLog(const Options& options) {
    return FromInput(options.frames_path, [&](const lookup::CsvReader::Source& source) {
        return lookup::DecodeFrameLines(source, FormatOf(options), ToStdout, ToStderr).failed == 0;
    });
}

int Run(int argc, char** argv) {
#ifdef _WIN32
    // Byte for byte the same output as on other systems, and CR LF in a tag list read as written.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    CLI::App app{"Looks up DVP-series PLC devices and Modbus addresses, both ways.",
                 "zentriq-lookup"};
    app.footer(kExamples);
    app.set_version_flag("--version", "zentriq-lookup " ZENTRIQ_VERSION);
    Options options;
    app.add_option("items", options.items, "Devices or addresses to look up");
    auto* format =
        app.add_option("--format", options.format, "Output: table (default), csv or json")
            ->check(CLI::IsMember({"table", "csv", "json"}));
    auto* batch = app.add_option("--batch", options.batch_path,
                                 "Read a CSV tag list from FILE (standard input when FILE is - or "
                                 "missing) and write it back as CSV with the result columns")
                      ->expected(0, 1)
                      ->type_name("FILE");
    auto* column =
        app.add_option("--column", options.column,
                       "In --batch, the column holding the device or address (default 1)")
            ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20));
    auto* header = app.add_flag("--header", options.header,
                                "In --batch, pass the first row through as the header");
    auto* frame = app.add_option("--frame", options.frames,
                                 "Read TEXT as a captured Modbus frame: ASCII (:0103...) or RTU "
                                 "hex bytes (01 03 ...); give it again for the next frame")
                      ->type_name("TEXT");
    auto* frames = app.add_option("--frames", options.frames_path,
                                  "Read captured Modbus frames from FILE, one per line (standard "
                                  "input when FILE is - or missing)")
                       ->expected(0, 1)
                       ->type_name("FILE")
                       ->excludes(frame);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e);
        }
        return UsageError(e.what());
    }

    if (frame->count() > 0 || frames->count() > 0) {
        if (!options.items.empty() || batch->count() > 0 || column->count() > 0 ||
            header->count() > 0) {
            return UsageError(
                "--frame and --frames take frames only: no items, --batch, --column "
                "or --header with them");
        }
        return frame->count() > 0 ? DecodeFrameArguments(options) : DecodeFrameLog(options);
    }
    if (batch->count() == 0) {
        if (column->count() > 0 || header->count() > 0) {
            return UsageError("--column and --header belong to --batch");
        }
        if (options.items.empty()) {
            return UsageError(
                "give a device or an address to look up, --batch, --frame or --frames");
        }
        return LookUpItems(options);
    }
    if (!options.items.empty()) {
        return UsageError("--batch reads its items from the tag list, not from the command line");
    }
    if (format->count() > 0 && FormatOf(options) != lookup::Format::Csv) {
        return UsageError(
            "--batch writes CSV; --format table and json are for items on the command line");
    }
    return LookUpBatch(options);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {  // out of memory: say so rather than abort
        std::fprintf(stderr, "zentriq-lookup: %s\n", e.what());
        return kUsageError;
    }
}
