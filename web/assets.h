// The console's page: its HTML, style, script and chart library, built into the program so that
// it needs nothing from any other server (a plant network reaches none).
#pragma once

#include <span>
#include <string_view>

namespace web {

struct Asset {
    std::string_view path;  // "/", "/console.js"
    std::string_view type;  // its Content-Type
    std::string_view body;
};

// Every file of the page.
std::span<const Asset> Assets() noexcept;

// The file at `path`; none for a path the page has not.
const Asset* FindAsset(std::string_view path) noexcept;

}  // namespace web
