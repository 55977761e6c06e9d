// The command line of zentriq-lookup, parsed once into what to do (a mode) and how.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/config_tags.h"
#include "cli/output.h"
#include "conversion/device_map.h"
#include "taglist/csv_reader.h"
#include "transport/connection.h"

namespace cli {

enum class Mode { Items, Batch, FrameArguments, FrameLog };

// A config for an engine that polls the controller, written in place of the lookup's own output.
enum class Config { NodeRed, Telegraf, HomeAssistant };

struct Options {
    Mode mode = Mode::Items;
    std::vector<std::string> items;
    Format format = Format::Table;
    bool xlsx = false;
    std::string output_path;  // empty: standard output
    std::string batch_path = "-";
    std::string column = "1";
    bool header = false;
    char delimiter = taglist::CsvReader::kFindDelimiter;
    std::optional<conversion::ModbusTable> table;
    conversion::BareNumbers numbers = conversion::BareNumbers::Any;
    std::vector<std::vector<std::string>> frames;  // one per --frame, its arguments joined
    std::string frames_path = "-";
    std::optional<Config> config;
    std::string name_column;           // in --batch, the tag names' column for a config
    std::string type_column;           // in --batch, the value types' column for a config
    std::string unit_column;           // in --batch, the units' column for a config
    ConfigSettings settings;           // a config's poll interval and decimals
    transport::Connection connection;  // the controller a config's engine polls
};

// Parses `arguments` (the program's name first) into `options`. Gives an exit status when the run
// ends here: 0 after --help or --version, 2 after a usage error, said on standard error.
std::optional<int> ParseCommandLine(const std::vector<std::string>& arguments, Options& options);

}  // namespace cli
