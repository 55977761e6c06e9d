// A tag list read row by row as both programs read it: columns by number or by header name, each
// row's cells trimmed, a short row's missing cells empty, and a list that does not fit its
// columns refused before any row.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "taglist/tag_rows.h"
#include "test_names.h"

namespace {

taglist::Source Whole(const std::string& text) {
    return [&text, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t n = std::min(size, text.size() - at);
        std::copy_n(text.data() + at, n, buffer);
        at += n;
        return n;
    };
}

struct RowsCase {
    const char* name;
    std::string input;
    taglist::TagColumns columns;
    std::string failure;            // from Start, or empty
    std::vector<std::string> rows;  // "line device|name|type|unit", blank rows as "line -"
};

const RowsCase kRowsCases[] = {
    {"ColumnsByNameAnyOrderTrimmed",
     "Tag;Device;Type;Unit\r\n Level ; D100 ;f32; °C \r\n",
     {"device", "tag", "TYPE", "unit", true, '\0'},
     "",
     {"2 D100|Level|f32|°C"}},
    {"ByNumberWithoutHeader",
     "Y0,Pump\nM0\n",
     {"1", "2", "", "", false, '\0'},
     "",
     {"1 Y0|Pump||", "2 M0|||"}},
    {"BlankRowsKeptAsBlank", "D1\n\n ,\nD2\n", {}, "", {"1 D1|||", "2 -", "3 -", "4 D2|||"}},
    {"QuotedCellsUnquoted",
     "\"D1\",\"a, b\"\n",
     {"1", "2", "", "", false, ','},
     "",
     {"1 D1|a, b||"}},
    {"AColumnNotInTheHeader",
     "Tag,Device\nPump,Y0\n",
     {"Device", "", "Type", "", true, '\0'},
     "no column named \"Type\" in the header (Tag, Device)",
     {}},
    {"ANameWithoutAHeader",
     "Y0\n",
     {"Device", "", "", "", false, '\0'},
     "no column Device in the tag list",
     {}},
    {"AnEmptyFileWithAHeaderAskedHasNoRows", "", {"Device", "", "Type", "", true, '\0'}, "", {}},
};

class TagRowsTest : public testing::TestWithParam<RowsCase> {};

TEST_P(TagRowsTest, ReadsEachRowsCells) {
    const auto& row_case = GetParam();
    taglist::TagRowReader reader(Whole(row_case.input), row_case.columns);
    const auto failure = reader.Start();
    if (!row_case.failure.empty()) {
        ASSERT_TRUE(failure);
        EXPECT_NE(failure->message.find(row_case.failure), std::string::npos) << failure->message;
        return;
    }
    ASSERT_FALSE(failure) << failure->message;
    std::vector<std::string> rows;
    taglist::TagRow row;
    while (reader.Next(row)) {
        rows.push_back(
            std::to_string(row.line) + " " +
            (row.blank ? "-" : row.device + "|" + row.name + "|" + row.type + "|" + row.unit));
    }
    EXPECT_EQ(rows, row_case.rows);
}

INSTANTIATE_TEST_SUITE_P(Table, TagRowsTest, testing::ValuesIn(kRowsCases), RowName<RowsCase>);

}  // namespace
