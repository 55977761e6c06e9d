#include "cli/options.h"

#include <CLI/CLI.hpp>

#include "console/command_line.h"

#include "console/choice_option.h"
#include "console/connection_options.h"
#include "console/program.h"
#include "console/tag_list_input.h"

#include "cli/home_assistant_config.h"
#include "cli/node_red_flow.h"
#include "cli/xlsx_output.h"
#include "console/file_io.h"

namespace cli {

namespace {

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

// What each --format word chooses: a text format, a spreadsheet, or an engine's config.
struct OutputChoice {
    Format format = Format::Table;
    bool xlsx = false;
    std::optional<Config> config;
};

struct FormatWord {
    const char* word;
    OutputChoice chosen;
};

const FormatWord kFormatWords[] = {
    {"table", {Format::Table, false, std::nullopt}},
    {"csv", {Format::Csv, false, std::nullopt}},
    {"json", {Format::Json, false, std::nullopt}},
    {"xlsx", {Format::Table, true, std::nullopt}},
    {"node-red", {Format::Table, false, Config::NodeRed}},
    {"telegraf", {Format::Table, false, Config::Telegraf}},
    {"home-assistant", {Format::Table, false, Config::HomeAssistant}},
};

int UsageError(const std::string& message) {
    return console::Messages("zentriq-lookup").UsageError(message);
}

}  // namespace

std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Options& options) {
    CLI::App app{"Looks up DVP-series PLC devices and Modbus addresses, both ways.",
                 "zentriq-lookup"};
    console::SetUpCommandLine(app, kExamples, "zentriq-lookup " ZENTRIQ_VERSION);
    OutputChoice chosen;
    std::string delimiter;
    auto* items = app.add_option("items", options.items, "Devices or addresses to look up");
    auto* format_option = console::AddChoiceOption(
        app, "--format", chosen,
        "Output: table (default), csv, json or xlsx; or a config for an engine that polls the "
        "controller (with --port or --host): node-red, telegraf, home-assistant",
        kFormatWords);
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
    app.add_option("--name-column", options.name_column,
                   "In --batch with a config format, the column of the tag names (default: "
                   "the device column)")
        ->type_name("N|NAME")
        ->needs(batch);
    app.add_option(
           "--type-column", options.type_column,
           "In --batch with a config format, the column of the value types: bool, i16, "
           "u16, i32, u32, f32, or switch for a coil the engine may also write (IEC names such "
           "as INT, DINT and REAL read too; default: each device's own)")
        ->type_name("N|NAME")
        ->needs(batch);
    app.add_option("--unit-column", options.unit_column,
                   "In --batch with --format telegraf or home-assistant, the column of the "
                   "values' units (°C, l/min)")
        ->type_name("N|NAME")
        ->needs(batch);
    auto* interval = app.add_option("--interval", options.settings.interval,
                                    "With a config format, how often the engine polls, in "
                                    "seconds (default: the time its requests take on the line, "
                                    "rounded up)")
                         ->type_name("SECONDS")
                         ->check(CLI::Range(1u, 86400u));
    auto* precision =
        app.add_option("--precision", options.settings.precision,
                       "With --format home-assistant, the decimals shown of an f32 value "
                       "(default 1; integers show none)")
            ->type_name("N")
            ->check(CLI::Range(0u, 9u));
    console::ConnectionOptions where(app, false);
    console::AddDelimiterOption(app, delimiter)->needs(batch);
    auto* table_option = console::AddChoiceOption(
        app, "--table", options.table,
        "Answers from one table only, so that a T or C gives one row: coil (c), discrete-input "
        "(di) or holding-register (hr)",
        conversion::kTableWords);
    console::AddChoiceOption(
        app, "--numbers", options.numbers,
        "How bare numbers (1064, 45056) are meant: hex as the converter window writes them, "
        "decimal addresses or five- and six-digit references. Without it each is read every way "
        "and refused when the readings name different devices",
        conversion::kNumbersWords);
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
    if (auto status =
            console::ParseCommandLine(app, arguments, console::Messages("zentriq-lookup"))) {
        return status;
    }

    options.mode = frame->count() > 0    ? Mode::FrameArguments
                   : frames->count() > 0 ? Mode::FrameLog
                   : batch->count() > 0  ? Mode::Batch
                                         : Mode::Items;
    options.format = chosen.format;
    options.xlsx = chosen.xlsx;
    options.config = chosen.config;
    // The word as given, for the messages that name it.
    const std::string format =
        format_option->count() > 0 ? format_option->as<std::string>() : "table";
    if (options.config) {
        if (options.mode != Mode::Items && options.mode != Mode::Batch) {
            return UsageError("--format " + format + " is for items and --batch");
        }
        auto connection = where.Connection();
        if (auto* failure = std::get_if<text::Failure>(&connection)) {
            return UsageError(failure->message);
        }
        options.connection = std::get<transport::Connection>(std::move(connection));
        const auto refused = options.config == Config::NodeRed ? NodeRedRefuses(options.connection)
                             : options.config == Config::HomeAssistant
                                 ? HomeAssistantRefuses(options.connection)
                                 : std::nullopt;
        if (refused) {
            return UsageError("--format " + format + ": " + *refused);
        }
    } else if (where.given()) {
        return UsageError(
            "--port, --host and --mode say where the controller is and how to reach it, for "
            "--format node-red, telegraf and home-assistant");
    } else if (!options.name_column.empty() || !options.type_column.empty() ||
               interval->count() > 0) {
        return UsageError(
            "--name-column, --type-column and --interval are for --format node-red, telegraf and "
            "home-assistant");
    }
    if (!options.unit_column.empty() && options.config != Config::Telegraf &&
        options.config != Config::HomeAssistant) {
        return UsageError("--unit-column is for --format telegraf and home-assistant");
    }
    if (precision->count() > 0 && options.config != Config::HomeAssistant) {
        return UsageError("--precision is for --format home-assistant");
    }
    if (!delimiter.empty()) {
        options.delimiter = console::DelimiterOf(delimiter);
    }
    if (options.mode == Mode::Items && options.items.empty()) {
        return UsageError("give a device or an address to look up, --batch, --frame or --frames");
    }
    if (options.mode == Mode::Batch && format_option->count() > 0 && !options.xlsx &&
        !options.config && options.format != Format::Csv) {
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
        if (!HaveXlsx()) {
            return UsageError(std::string(kNoXlsxReason));
        }
    }
    return std::nullopt;
}

}  // namespace cli
