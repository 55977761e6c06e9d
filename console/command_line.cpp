#include "console/command_line.h"

namespace console {

void SetUpCommandLine(CLI::App& app, const std::string& examples, const std::string& version) {
    app.allow_windows_style_options(false);
    app.footer(examples);
    app.set_version_flag("--version", version);
}

std::optional<int> ParseCommandLine(CLI::App& app, const std::vector<std::string>& arguments,
                                    const Messages& messages) {
    try {
        // CLI11 takes the arguments last first, the program's name left out.
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend() - 1));
    } catch (const CLI::ParseError& e) {
        return e.get_exit_code() == 0 ? app.exit(e) : messages.UsageError(e.what());
    }
    return std::nullopt;
}

}  // namespace console
