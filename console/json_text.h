// JSON as every program of the project writes it: on one line, and a text that is no UTF-8 (a tag
// list's stray byte) written with U+FFFD rather than failing the whole output.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace console {

inline std::string JsonText(const nlohmann::ordered_json& json) {
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// A text as a double-quoted string with JSON's escapes, which TOML's basic strings and YAML's
// double-quoted scalars read alike.
inline std::string QuotedText(const std::string& text) {
    return JsonText(text);
}

}  // namespace console
