#include "cli/commands.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/config_tags.h"
#include "cli/frame_command.h"
#include "cli/home_assistant_config.h"
#include "cli/node_red_flow.h"
#include "cli/output.h"
#include "cli/telegraf_config.h"
#include "cli/xlsx_output.h"
#include "console/file_io.h"
#include "console/program.h"
#include "console/tag_list_input.h"

namespace cli {

namespace {

const console::Messages kMessages("zentriq-lookup");

// Where the lists' own warnings and refusals go, as they come.
bool ToStderr(std::string_view text) {
    console::WriteAll(2, text);
    return true;
}

int UsageError(const std::string& message) {
    return kMessages.UsageError(message);
}

int Failure(const std::string& message) {
    return kMessages.Failure(message);
}

using Input = console::InputFile;

int CannotRead(const Input& input) {
    return Failure(input.Problem().value_or("cannot read " + input.name));
}

int StatusOf(bool all_answered) {
    return all_answered ? console::kExitDone : console::kExitPartly;
}

int LookUpItems(const cli::Options& options, console::Output& output) {
    std::vector<cli::Lookup> lookups;
    bool all_answered = true;
    for (const auto& item : options.items) {
        if (conversion::SplitTypedItem(item).type) {
            std::string note;
            auto lookup = cli::LookUpTyped(item, options.table, options.numbers, note);
            if (!lookup.result.ok()) {
                all_answered = false;
                kMessages.Say(lookup.result.message);
            } else if (!note.empty()) {
                kMessages.Say(conversion::DisplayText(item) + ": " + note);
            }
            lookups.push_back(std::move(lookup));
            continue;
        }
        auto result = conversion::LookUp(item, options.table, options.numbers);
        if (!result.ok()) {
            all_answered = false;
            kMessages.Say(result.message);
        } else if (const auto note =
                       conversion::ReadingNote(item, result, options.table, options.numbers);
                   !note.empty()) {
            kMessages.Say(conversion::DisplayText(item) + ": " + note);
        }
        lookups.push_back({item, std::move(result), {}});
    }
    if (options.xlsx) {
        bool lossy = false;
        if (auto failure = cli::WriteLookupsXlsx(options.output_path, lookups, ToStderr, lossy)) {
            return Failure(failure->message);
        }
        return StatusOf(all_answered && !lossy);
    }
    std::string out;
    cli::AppendLookups(out, options.format, lookups);
    output.Write(out);
    return output.Finish(StatusOf(all_answered), kMessages);
}

int LookUpBatch(const cli::Options& options, console::Output& output) {
    Input input;
    if (!input.Open(options.batch_path)) {
        return CannotRead(input);
    }
    cli::BatchOptions batch{0,
                            {},
                            options.header,
                            options.delimiter,
                            options.table,
                            console::MayWait(input.fd),
                            options.numbers};
    if (options.column.find_first_not_of("0123456789") == std::string::npos) {
        batch.column = std::stoul(options.column) - 1;
    } else {
        batch.column_name = options.column;
    }
    const cli::Sink out = [&](std::string_view text) { return output.Write(text); };
    const cli::Sink errors = ToStderr;
    auto made = options.xlsx ? cli::XlsxBatchWriter(options.output_path, errors)
                             : text::Result<std::unique_ptr<cli::BatchWriter>>(cli::CsvBatchWriter(
                                   out, output.to_file() ? cli::OutputBlock::kFileBlockSize
                                                         : cli::OutputBlock::kBlockSize));
    if (auto* failure = std::get_if<text::Failure>(&made)) {
        return Failure(failure->message);
    }
    const auto& writer = std::get<std::unique_ptr<cli::BatchWriter>>(made);
    const auto counts = cli::RunBatch(input.Input(), *writer, errors, batch);
    if (!counts.usage_error.empty()) {
        return UsageError(counts.usage_error);
    }
    if (input.Problem()) {
        return CannotRead(input);
    }
    if (options.xlsx) {
        if (auto failure = cli::FinishXlsx(*writer)) {
            return Failure(failure->message);
        }
        return StatusOf(counts.unanswered == 0 && !writer->lossy());
    }
    return output.Finish(StatusOf(counts.unanswered == 0), kMessages);
}

// An RTU frame typed without quotes comes as one argument per byte: one --frame takes them all.
int DecodeFrameArguments(const cli::Options& options, console::Output& output) {
    std::vector<std::string> texts;
    for (const auto& arguments : options.frames) {
        std::string& text = texts.emplace_back();
        for (const auto& argument : arguments) {
            text += (text.empty() ? "" : " ") + argument;
        }
    }
    const auto counts = cli::DecodeFrameTexts(
        texts, options.format, [&](std::string_view text) { return output.Write(text); }, ToStderr);
    return output.Finish(StatusOf(counts.failed == 0), kMessages);
}

int DecodeFrameLog(const cli::Options& options, console::Output& output) {
    Input input;
    if (!input.Open(options.frames_path)) {
        return CannotRead(input);
    }
    const auto counts = cli::DecodeFrameLines(
        input.Input(), options.format, [&](std::string_view text) { return output.Write(text); },
        ToStderr, console::MayWait(input.fd));
    if (input.Problem()) {
        return CannotRead(input);
    }
    return output.Finish(StatusOf(counts.failed == 0), kMessages);
}

// A config for an engine that polls the controller: every tag that names a value, the others said
// on standard error, each with its reason. Nothing is written for a list that names no device.
int WriteConfig(const cli::Options& options) {
    std::vector<cli::ConfigTag> tags;
    // Said once every check has run, in the list's order.
    std::multimap<std::size_t, std::string> refused;
    const cli::RefuseTag refuse = [&](std::size_t line, std::string_view why) {
        refused.emplace(
            line, (line == 0 ? "" : "line " + std::to_string(line) + ": ") + std::string(why));
    };
    if (options.mode == cli::Mode::Batch) {
        Input input;
        if (!input.Open(options.batch_path)) {
            return CannotRead(input);
        }
        const cli::TagColumns columns{options.column,      options.name_column, options.type_column,
                                      options.unit_column, options.header,      options.delimiter};
        auto read = cli::ReadConfigTags(input.Input(), columns, options.numbers, refuse);
        if (input.Problem()) {
            return CannotRead(input);
        }
        if (auto* failure = std::get_if<text::Failure>(&read)) {
            return UsageError(failure->message);
        }
        tags = std::get<std::vector<cli::ConfigTag>>(std::move(read));
    } else {
        for (const auto& item : options.items) {
            auto read = cli::ConfigTagsOf(item, item, {}, options.numbers);
            if (auto* failure = std::get_if<text::Failure>(&read)) {
                refuse(0, failure->message);
                continue;
            }
            for (auto& tag : std::get<std::vector<cli::ConfigTag>>(read)) {
                tags.push_back(std::move(tag));
            }
        }
    }
    if (*options.config == cli::Config::HomeAssistant) {
        tags = cli::HomeAssistantLoads(std::move(tags), refuse);
    }
    for (const auto& [line, message] : refused) {
        kMessages.Say(message);
    }
    const bool all_read = refused.empty();
    if (tags.empty()) {
        // An engine given no entities loads nothing, or refuses the config: write none.
        kMessages.Say(all_read ? "no devices in the list"
                               : "no device in the list can be read: nothing written");
        return console::kExitPartly;
    }
    console::Output output;
    if (!output.Open(options.output_path)) {
        return Failure("cannot write " + output.name() + ": " + std::strerror(output.error()));
    }
    switch (*options.config) {
        case cli::Config::NodeRed:
            output.Write(cli::NodeRedFlow(options.connection, tags, options.settings));
            break;
        case cli::Config::Telegraf:
            output.Write(cli::TelegrafConfig(options.connection, tags, options.settings));
            break;
        case cli::Config::HomeAssistant:
            output.Write(cli::HomeAssistantConfig(options.connection, tags, options.settings));
            break;
    }
    return output.Finish(StatusOf(all_read), kMessages);
}

}  // namespace

int RunCommand(const Options& options) {
    if (options.config) {
        return WriteConfig(options);
    }
    console::Output output;
    if (!options.xlsx && !output.Open(options.output_path)) {
        return Failure("cannot write " + output.name() + ": " + std::strerror(output.error()));
    }
    switch (options.mode) {
        case cli::Mode::Items:
            return LookUpItems(options, output);
        case cli::Mode::Batch:
            return LookUpBatch(options, output);
        case cli::Mode::FrameArguments:
            return DecodeFrameArguments(options, output);
        case cli::Mode::FrameLog:
            return DecodeFrameLog(options, output);
    }
    return console::kExitFailed;
}

}  // namespace cli
