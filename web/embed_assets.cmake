# Writes OUTPUT, a C++ file holding each of FILES (in SOURCE_DIR) as bytes, and the table
# web::Assets() gives: run at build time, so the program always carries the page as it is.
set(types_html "text/html; charset=utf-8")
set(types_css "text/css; charset=utf-8")
set(types_js "text/javascript; charset=utf-8")
set(arrays "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
    file(READ "${SOURCE_DIR}/${file}" hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(REGEX MATCH "[a-z]+$" extension "${file}")
    set(arrays "${arrays}constexpr char kFile${index}[] = {${bytes} 0};\n")
    if(file STREQUAL "index.html")
        set(path "/")
    else()
        set(path "/${file}")
    endif()
    set(table "${table}    {\"${path}\", \"${types_${extension}}\", {kFile${index}, ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by web/embed_assets.cmake from web/page: not to be edited.
#include \"web/assets.h\"

namespace web {

namespace {

${arrays}
constexpr Asset kAssets[] = {
${table}};

}  // namespace

std::span<const Asset> Assets() noexcept {
    return kAssets;
}

const Asset* FindAsset(std::string_view path) noexcept {
    for (const auto& asset : kAssets) {
        if (asset.path == path) {
            return &asset;
        }
    }
    return nullptr;
}

}  // namespace web
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
