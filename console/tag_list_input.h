// What both programs take a tag list with: the file (or standard input for - ), read as it
// arrives, and --delimiter, a separator named or given as itself.
#pragma once

#include <CLI/CLI.hpp>
#include <cerrno>
#include <string>

#include "console/file_io.h"
#include "console/program.h"
#include "taglist/utf8_source.h"

namespace console {

// A tag list or capture log: the file named, or standard input for - or no name.
struct InputFile {
    int fd = 0;
    std::string name = "standard input";
    int error = 0;

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const std::string& path) {
        if (path.empty() || path == "-") {
            return true;
        }
        name = path;
        fd = OpenForReading(path);
        error = fd < 0 ? errno : 0;
        return fd >= 0;
    }

    // Reads what has arrived; nothing more once the program is interrupted.
    taglist::Source Source() {
        return [this](char* buffer, std::size_t size) -> std::size_t {
            return InterruptSignal() != 0 ? 0 : ReadSome(fd, buffer, size, error);
        };
    }

    ~InputFile() {
        if (fd > 0) {
            Close(fd);
        }
    }
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
