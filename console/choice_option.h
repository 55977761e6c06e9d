// An option of a command line that takes one of a few words, each naming a value: the programs'
// --table and --numbers, read the same way in each from one table of words. Any other word is a
// usage error in CLI11's own words, which list the words there are.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace console {

// Adds `name` to `app`; the word given sets `value` to what `words` (elements with a `word` and a
// second member, the value) pair it with. `Value` is the value's type or an optional of it.
template <class Value, class Words>
CLI::Option* AddChoiceOption(CLI::App& app, const std::string& name, Value& value,
                             const std::string& help, const Words& words) {
    std::vector<std::string> names;
    names.reserve(std::size(words));
    for (const auto& entry : words) {
        names.emplace_back(entry.word);
    }
    return app
        .add_option_function<std::string>(
            name,
            [&value, &words](const std::string& given) {
                for (const auto& [word, named] : words) {
                    if (word == given) {
                        value = named;
                    }
                }
            },
            help)
        ->check(CLI::IsMember(names));
}

}  // namespace console
