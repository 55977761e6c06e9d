#include "taglist/columns.h"

#include "text/ascii_text.h"

namespace taglist {

text::Result<std::size_t> ColumnNamed(const CsvRecord& header, char delimiter,
                                      std::string_view name) {
    const auto fields = SplitFields(header.raw, delimiter);
    const std::string_view wanted = text::ascii::Trimmed(name);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (text::ascii::SameIgnoringCase(text::ascii::Trimmed(fields[i]), wanted)) {
            return i;
        }
    }
    std::string problem = "no column named \"" + text::DisplayText(name) + "\" in the header (";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        problem.append(i > 0 ? ", " : "").append(text::DisplayText(fields[i]));
    }
    problem += ")";
    return text::Failure{std::move(problem)};
}

text::Result<std::size_t> ColumnOf(const std::string& wanted, const CsvRecord* header,
                                   char delimiter) {
    const bool numbered = wanted.find_first_not_of("0123456789") == std::string::npos;
    if (header != nullptr && !numbered) {
        return ColumnNamed(*header, delimiter, wanted);
    }
    if (!numbered || wanted.empty() || wanted.size() > 7 || std::stoul(wanted) == 0) {
        return text::Failure{"no column " + wanted + " in the tag list"};
    }
    return std::stoul(wanted) - 1;
}

}  // namespace taglist
