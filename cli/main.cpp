// zentriq-lookup: the controller's Modbus address map from the command line. Items on the command
// line are looked up and printed together; --batch streams a tag list through the map; --frame
// and --frames read captured Modbus frames as devices. main parses the command line into a mode
// and runs it once.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/file_io.h"
#include "cli/frames.h"
#include "cli/output.h"
#include "cli/platform.h"
#include "cli/xlsx_output.h"

namespace {

constexpr int kAllAnswered = 0;
constexpr int kSomeUnanswered = 1;
constexpr int kUsageError =
    2;  // also: an input that cannot be read, an output that cannot be written

constexpr const char* kExamples = R"(Examples:
  zentriq-lookup D100 X17 T5          devices: their addresses, references, function codes
  zentriq-lookup 0x1064 404197 4x4197 an address from a frame or an HMI: the devices there
  zentriq-lookup --format json M1536  the same for a program
  zentriq-lookup --batch tags.csv --column Device --header > tags-with-addresses.csv
                                      a tag list (comma, semicolon or tab separated), the device
                                      names in its column headed "Device"
  zentriq-lookup --batch tags.csv --column 2 --header --table holding-register
                                      one row per tag: T and C give their value only
  zentriq-lookup --batch tags.csv --column 2 --header --format xlsx --output tags.xlsx
                                      the same as a spreadsheet, every address shown as written
  zentriq-lookup --frame :01031064000286
                                      a captured frame: its function, addresses, devices, checksum
  tail -f capture.log | zentriq-lookup --frames --format csv
                                      one frame per line (ASCII ":..." or RTU hex bytes), each
                                      answered as it arrives; a response after its request names
                                      the devices it carries

Items: a device (D100, d100, X17 with X and Y in octal, T5, M1536), a hex address (0x1064, 1064h,
H1064), a reference (404197 or 44197 holding register, 001542 or 01542 coil, 101040 discrete
input) or a prefixed reference (4x4197, 1x1281).
Exit status: 0 every item answered (every frame read, its checksum right), 1 some item had no
answer (some frame had a wrong checksum or was no frame), 2 usage error, an input that cannot be
read or an output that cannot be written.)";

enum class Mode { Items, Batch, FrameArguments, FrameLog };

struct Options {
    Mode mode = Mode::Items;
    std::vector<std::string> items;
    lookup::Format format = lookup::Format::Table;
    bool xlsx = false;
    std::string output_path;  // empty: standard output
    std::string batch_path = "-";
    std::string column = "1";
    bool header = false;
    char delimiter = lookup::CsvReader::kFindDelimiter;
    std::optional<conversion::ModbusTable> table;
    std::vector<std::vector<std::string>> frames;  // one per --frame, its arguments joined
    std::string frames_path = "-";
};

// Set by Ctrl-C: reading stops, and what was answered is written out before the program ends.
std::atomic<int> g_interrupted{0};

extern "C" void OnInterrupt(int signal_number) {
    g_interrupted = signal_number;
}

void CatchInterrupts() {
#ifdef _WIN32
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;  // no SA_RESTART: a read waiting for input returns at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe shows as a failed write, which ends the run quietly (| head).
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void ToStderr(std::string_view text) {
    lookup::WriteAll(2, text);
}

int UsageError(const std::string& message) {
    ToStderr("zentriq-lookup: " + message + "\nRun with --help for more information.\n");
    return kUsageError;
}

int Failure(const std::string& message) {
    ToStderr("zentriq-lookup: " + message + "\n");
    return kUsageError;
}

// Standard output or the --output file, written as results come; remembers the first failure.
class Output {
  public:
    bool Open(const std::string& path) {
        if (path.empty()) {
            return true;
        }
        name_ = path;
        fd_ = lookup::OpenForWriting(path);
        error_ = fd_ < 0 ? errno : 0;
        return fd_ >= 0;
    }

    bool Write(std::string_view text) {
        if (error_ == 0) {
            error_ = lookup::WriteAll(fd_, text);
        }
        return error_ == 0;
    }

    // Gives the exit status: `status` when all was written; quietly `status` when the reader
    // closed the pipe (| head); otherwise a line on stderr and 2.
    int Finish(int status) {
        if (fd_ != 1 && fd_ >= 0) {
            const int closed = lookup::Close(fd_);
            error_ = error_ == 0 ? closed : error_;
            fd_ = -1;
        }
        if (error_ == 0 || error_ == EPIPE) {
            return status;
        }
        return Failure("cannot write " + name_ + ": " + std::strerror(error_));
    }

    int error() const { return error_; }
    const std::string& name() const { return name_; }

  private:
    int fd_ = 1;
    int error_ = 0;
    std::string name_ = "standard output";
};

// A tag list or capture log: the file named, or standard input for - or no name.
struct Input {
    int fd = 0;
    std::string name = "standard input";
    int error = 0;

    bool Open(const std::string& path) {
        if (path.empty() || path == "-") {
            return true;
        }
        name = path;
        fd = lookup::OpenForReading(path);
        error = fd < 0 ? errno : 0;
        return fd >= 0;
    }

    lookup::Source Source() {
        return [this](char* buffer, std::size_t size) -> std::size_t {
            return g_interrupted != 0 ? 0 : lookup::ReadSome(fd, buffer, size, error);
        };
    }

    ~Input() {
        if (fd > 0) {
            lookup::Close(fd);
        }
    }
};

int CannotRead(const Input& input) {
    return Failure("cannot read " + input.name + ": " + std::strerror(input.error));
}

int StatusOf(bool all_answered) {
    return all_answered ? kAllAnswered : kSomeUnanswered;
}

int LookUpItems(const Options& options, Output& output) {
    std::vector<lookup::Lookup> lookups;
    bool all_answered = true;
    for (const auto& item : options.items) {
        auto result = conversion::LookUp(item, options.table);
        if (!result.ok()) {
            all_answered = false;
            ToStderr("zentriq-lookup: " + result.message + "\n");
        }
        lookups.push_back({item, std::move(result)});
    }
    if (options.xlsx) {
        std::string error;
        bool lossy = false;
        const lookup::Sink errors = [](std::string_view text) {
            ToStderr(text);
            return true;
        };
        if (!lookup::WriteLookupsXlsx(options.output_path, lookups, errors, lossy, error)) {
            return Failure(error);
        }
        return StatusOf(all_answered && !lossy);
    }
    std::string out;
    lookup::AppendLookups(out, options.format, lookups);
    output.Write(out);
    return output.Finish(StatusOf(all_answered));
}

int LookUpBatch(const Options& options, Output& output) {
    Input input;
    if (!input.Open(options.batch_path)) {
        return CannotRead(input);
    }
    lookup::BatchOptions batch{
        0, {}, options.header, options.delimiter, options.table, lookup::MayWait(input.fd)};
    if (options.column.find_first_not_of("0123456789") == std::string::npos) {
        batch.column = std::stoul(options.column) - 1;
    } else {
        batch.column_name = options.column;
    }
    const lookup::Sink out = [&](std::string_view text) { return output.Write(text); };
    const lookup::Sink errors = [](std::string_view text) {
        ToStderr(text);
        return true;
    };
    std::string xlsx_error;
    auto writer = options.xlsx ? lookup::XlsxBatchWriter(options.output_path, errors, xlsx_error)
                               : lookup::CsvBatchWriter(out);
    if (writer == nullptr) {
        return Failure(xlsx_error);
    }
    const auto counts = lookup::RunBatch(input.Source(), *writer, errors, batch);
    if (!counts.usage_error.empty()) {
        return UsageError(counts.usage_error);
    }
    if (input.error != 0) {
        return CannotRead(input);
    }
    if (options.xlsx) {
        return lookup::FinishXlsx(*writer, xlsx_error)
                   ? StatusOf(counts.unanswered == 0 && !writer->lossy())
                   : Failure(xlsx_error);
    }
    return output.Finish(StatusOf(counts.unanswered == 0));
}

// An RTU frame typed without quotes comes as one argument per byte: one --frame takes them all.
int DecodeFrameArguments(const Options& options, Output& output) {
    std::vector<std::string> texts;
    for (const auto& arguments : options.frames) {
        std::string& text = texts.emplace_back();
        for (const auto& argument : arguments) {
            text += (text.empty() ? "" : " ") + argument;
        }
    }
    const auto counts = lookup::DecodeFrameTexts(
        texts, options.format, [&](std::string_view text) { return output.Write(text); },
        [](std::string_view text) {
            ToStderr(text);
            return true;
        });
    return output.Finish(StatusOf(counts.failed == 0));
}

int DecodeFrameLog(const Options& options, Output& output) {
    Input input;
    if (!input.Open(options.frames_path)) {
        return CannotRead(input);
    }
    const auto counts = lookup::DecodeFrameLines(
        input.Source(), options.format, [&](std::string_view text) { return output.Write(text); },
        [](std::string_view text) {
            ToStderr(text);
            return true;
        },
        lookup::MayWait(input.fd));
    if (input.error != 0) {
        return CannotRead(input);
    }
    return output.Finish(StatusOf(counts.failed == 0));
}

int RunMode(const Options& options) {
    Output output;
    if (!options.xlsx && !output.Open(options.output_path)) {
        return Failure("cannot write " + output.name() + ": " + std::strerror(output.error()));
    }
    switch (options.mode) {
        case Mode::Items:
            return LookUpItems(options, output);
        case Mode::Batch:
            return LookUpBatch(options, output);
        case Mode::FrameArguments:
            return DecodeFrameArguments(options, output);
        case Mode::FrameLog:
            return DecodeFrameLog(options, output);
    }
    return kUsageError;
}

// Parses the command line into `options`; gives an exit status when the run ends here (help,
// version, a usage error).
std::optional<int> Parse(const std::vector<std::string>& arguments, Options& options) {
    CLI::App app{"Looks up DVP-series PLC devices and Modbus addresses, both ways.",
                 "zentriq-lookup"};
    app.allow_windows_style_options(false);  // only - and --: /path is a file name, also on Windows
    app.footer(kExamples);
    app.set_version_flag("--version", "zentriq-lookup " ZENTRIQ_VERSION);
    std::string format = "table";
    std::string delimiter;
    std::string table;
    auto* items = app.add_option("items", options.items, "Devices or addresses to look up");
    auto* format_option =
        app.add_option("--format", format, "Output: table (default), csv, json or xlsx")
            ->check(CLI::IsMember({"table", "csv", "json", "xlsx"}));
    auto* output = app.add_option("--output", options.output_path,
                                  "Write the results to FILE instead of standard output (xlsx "
                                  "needs it)")
                       ->type_name("FILE");
    auto* batch = app.add_option("--batch", options.batch_path,
                                 "Read a tag list from FILE (standard input when FILE is - or "
                                 "missing) and write it back with the result columns")
                      ->expected(0, 1)
                      ->type_name("FILE");
    app.add_option("--column", options.column,
                   "In --batch, the column holding the device or address: its "
                   "number from 1 (default 1), or with --header its name")
        ->type_name("N|NAME")
        ->needs(batch);
    app.add_flag("--header", options.header, "In --batch, pass the first row through as the header")
        ->needs(batch);
    app.add_option("--delimiter", delimiter,
                   "In --batch, the separator between fields: comma, semicolon or tab "
                   "(default: found in the first row)")
        ->type_name("comma|semicolon|tab")
        ->check(CLI::Validator(
            [](const std::string& value) -> std::string {
                for (const char* name : {",", ";", "\t", "comma", "semicolon", "tab"}) {
                    if (value == name) {
                        return {};
                    }
                }
                return value + " is none of comma, semicolon and tab (or the character itself)";
            },
            ""))
        ->needs(batch);
    auto* table_option =
        app.add_option("--table", table,
                       "Answers from one table only, so that a T or C gives one row: coil (c), "
                       "discrete-input (di) or holding-register (hr)")
            ->check(CLI::IsMember({"coil", "c", "discrete-input", "di", "holding-register", "hr"}));
    // CLI11 ends the arguments of each --frame with an empty string; an empty argument would read
    // as that end, so the arguments are split here, where an empty one can be named.
    auto* frame =
        app.add_option(
               "--frame",
               [&options](const CLI::results_t& words) {
                   options.frames.assign(1, {});
                   for (const auto& word : words) {
                       if (!word.empty()) {
                           options.frames.back().push_back(word);
                       } else if (options.frames.back().empty()) {
                           throw CLI::ValidationError("--frame",
                                                      "an empty text is no frame; give one such as "
                                                      ":01031064000286");
                       } else {
                           options.frames.emplace_back();
                       }
                   }
                   options.frames.pop_back();
                   return true;
               },
               "Read TEXT as a captured Modbus frame: ASCII (:0103...) or RTU hex bytes (01 03 "
               "...); give it again for the next frame")
            ->type_size(1, CLI::detail::expected_max_vector_size)
            ->expected(CLI::detail::expected_max_vector_size)
            ->type_name("TEXT");
    auto* frames = app.add_option("--frames", options.frames_path,
                                  "Read captured Modbus frames from FILE, one per line (standard "
                                  "input when FILE is - or missing)")
                       ->expected(0, 1)
                       ->type_name("FILE");
    items->excludes(batch)->excludes(frame)->excludes(frames);
    batch->excludes(frame)->excludes(frames);
    frame->excludes(frames)->excludes(table_option);
    frames->excludes(table_option);
    try {
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend() - 1));
    } catch (const CLI::ParseError& e) {
        return e.get_exit_code() == 0 ? app.exit(e) : UsageError(e.what());
    }

    options.mode = frame->count() > 0    ? Mode::FrameArguments
                   : frames->count() > 0 ? Mode::FrameLog
                   : batch->count() > 0  ? Mode::Batch
                                         : Mode::Items;
    options.xlsx = format == "xlsx";
    options.format = format == "csv"    ? lookup::Format::Csv
                     : format == "json" ? lookup::Format::Json
                                        : lookup::Format::Table;
    if (!delimiter.empty()) {
        options.delimiter = delimiter == "comma"       ? ','
                            : delimiter == "semicolon" ? ';'
                            : delimiter == "tab"       ? '\t'
                                                       : delimiter[0];
    }
    if (!table.empty()) {
        options.table = table[0] == 'c'   ? conversion::ModbusTable::Coil
                        : table[0] == 'd' ? conversion::ModbusTable::DiscreteInput
                                          : conversion::ModbusTable::HoldingRegister;
    }
    if (options.mode == Mode::Items && options.items.empty()) {
        return UsageError("give a device or an address to look up, --batch, --frame or --frames");
    }
    if (options.mode == Mode::Batch && format_option->count() > 0 && !options.xlsx &&
        options.format != lookup::Format::Csv) {
        return UsageError(
            "--batch writes CSV or xlsx; --format table and json are for items on the command "
            "line");
    }
    const bool numbered = options.column.find_first_not_of("0123456789") == std::string::npos;
    if (numbered &&
        (options.column.empty() || options.column.size() > 7 || std::stoul(options.column) == 0)) {
        return UsageError("--column: a column number counts from 1");
    }
    if (!numbered && !options.header) {
        return UsageError("--column " + options.column +
                          ": a column is found by its name in the header, so --header is needed");
    }
    if (options.xlsx) {
        if (options.mode == Mode::FrameArguments || options.mode == Mode::FrameLog) {
            return UsageError(
                "--format xlsx is for items and --batch; frames are table, csv or "
                "json");
        }
        if (output->count() == 0) {
            return UsageError("--format xlsx writes a file: name it with --output FILE");
        }
        if (!lookup::HaveXlsx()) {
            return UsageError(std::string(lookup::kNoXlsxReason));
        }
    }
    return std::nullopt;
}

int Run(int argc, char** argv) {
    lookup::UseBinaryStandardStreams();
    CatchInterrupts();
    Options options;
    if (const auto status = Parse(lookup::Utf8Arguments(argc, argv), options)) {
        return *status;
    }
    const int status = RunMode(options);
    if (const int signal_number = g_interrupted) {
        // What was read is written; end the way an interrupted program does, so the shell knows.
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {  // out of memory: say so rather than abort
        ToStderr(std::string("zentriq-lookup: ") + e.what() + "\n");
        return kUsageError;
    }
}
