// What both programs take a tag list with: the file (or standard input for - ), and --delimiter, a
// separator named or given as itself.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "console/mapped_file.h"
#include "taglist/input.h"

namespace console {

// A tag list or capture log: the file named, or standard input for - or no name. A regular file
// is mapped and read where it lies; anything else is read as it arrives.
struct InputFile {
    int fd = 0;
    std::string name = "standard input";
    int error = 0;

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    bool Open(const std::string& path);

    // The input for a reader; nothing more comes once the program is interrupted. Taken once.
    taglist::Input Input();

    // Why the input could not be read whole ("cannot read tags.csv: ..."), once a reader has
    // finished with it; nothing when it was.
    std::optional<std::string> Problem() const;

  private:
    std::unique_ptr<MappedFile> mapped_;
    // Bytes a regular file read by copying had when it was opened, and those read of it: fewer at
    // its end means it was cut short while it was read.
    std::int64_t expected_ = -1;
    std::int64_t read_ = 0;
    bool shrank_ = false;
};

// Adds --delimiter to `app`: comma, semicolon or tab, by name or as the character itself. Once
// parsed, `text` gives the separator with DelimiterOf.
inline CLI::Option* AddDelimiterOption(CLI::App& app, std::string& text) {
    return app
        .add_option("--delimiter", text,
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
            ""));
}

// The separator --delimiter names; '\0' (found in the first row) when it was not given.
inline char DelimiterOf(const std::string& text) {
    return text.empty()          ? '\0'
           : text == "comma"     ? ','
           : text == "semicolon" ? ';'
           : text == "tab"       ? '\t'
                                 : text[0];
}

}  // namespace console
