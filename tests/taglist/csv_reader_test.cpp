// The tag list reader, row by row: each case is read whole and in pieces of every small size, so a
// record split at any byte between two reads comes out the same.
#include "taglist/csv_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Expected {
    std::string raw;
    std::string item;
    std::size_t fields;
    bool blank = false;
    bool unclosed_quote = false;
    std::size_t line = 0;
};

struct Case {
    const char* name;
    std::string input;
    std::size_t column;
    char delimiter;  // found by the reader, or given when `given`
    std::vector<Expected> records;
    bool given = false;
};

taglist::Source PiecesOf(const std::string& text, std::size_t piece) {
    return [&text, piece, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t n = std::min({piece, size, text.size() - at});
        std::copy_n(text.data() + at, n, buffer);
        at += n;
        return n;
    };
}

using namespace std::string_literals;

const Case kCases[] = {
    {"plain comma list, CRLF",
     "Tag,Device\r\nPump,Y0\r\n",
     1,
     ',',
     {{"Tag,Device", "Device", 2, false, false, 1}, {"Pump,Y0", "Y0", 2, false, false, 2}}},
    {"UTF-8 byte-order mark taken off the first item",
     "\xEF\xBB\xBF"
     "D100,Tank level\r\nY0,Pump\r\n",
     0,
     ',',
     {{"D100,Tank level", "D100", 2, false, false, 1}, {"Y0,Pump", "Y0", 2, false, false, 2}}},
    {"semicolons, a comma inside a field is data",
     "Tag;Device;Comment\nLamp;Y20;red, green\n",
     1,
     ';',
     {{"Tag;Device;Comment", "Device", 3, false, false, 1},
      {"Lamp;Y20;red, green", "Y20", 3, false, false, 2}}},
    {"tabs",
     "Tag\tDevice\nPump\tD100\n",
     1,
     '\t',
     {{"Tag\tDevice", "Device", 2, false, false, 1}, {"Pump\tD100", "D100", 2, false, false, 2}}},
    {"separators inside quotes do not count",
     "\"a;b;c;d\",D1\n",
     1,
     ',',
     {{"\"a;b;c;d\",D1", "D1", 2, false, false, 1}}},
    {"a blank first line is passed over when finding the separator",
     "\r\nTag;Device\n",
     0,
     ';',
     {{"", "", 1, true, false, 1}, {"Tag;Device", "Tag", 2, false, false, 2}}},
    {"blank lines and rows of empty fields are blank, a quoted empty field is not",
     "D1\n\n  \n,,,\n\"\",\n",
     0,
     ',',
     {{"D1", "D1", 1, false, false, 1},
      {"", "", 1, true, false, 2},
      {"  ", "  ", 1, true, false, 3},
      {",,,", "", 4, true, false, 4},
      {"\"\",", "", 2, false, false, 5}}},
    {"short row: fewer fields than the column asked",
     "Tag,Device,Comment\nPump\n",
     1,
     ',',
     {{"Tag,Device,Comment", "Device", 3, false, false, 1}, {"Pump", "", 1, false, false, 2}}},
    {"quoted fields, doubled quotes and a line break inside quotes",
     "\"Lamp, red\",\"say \"\"on\"\"\"\n\"two\nlines\",T5\nnext,D1\n",
     1,
     ',',
     {{"\"Lamp, red\",\"say \"\"on\"\"\"", "say \"on\"", 2, false, false, 1},
      {"\"two\nlines\",T5", "T5", 2, false, false, 2},
      {"next,D1", "D1", 2, false, false, 4}}},
    {"the export shape: quoted comments, a quoted item, a quote inside an unquoted field",
     "Pump,\"D100\",\"station 3, rack 2\"\r\n\"\",\"D\"\"1\",x\nPipe 5\" wide,Y0\n\"a\"b,D2\n",
     1,
     ',',
     {{"Pump,\"D100\",\"station 3, rack 2\"", "D100", 3, false, false, 1},
      {"\"\",\"D\"\"1\",x", "D\"1", 3, false, false, 2},
      {"Pipe 5\" wide,Y0", "Y0", 2, false, false, 3},
      {"\"a\"b,D2", "D2", 2, false, false, 4}}},
    {"a quote never closed ends the record at the end of the input",
     "D1\n\"D2,x\n",
     0,
     ',',
     {{"D1", "D1", 1, false, false, 1}, {"\"D2,x\n", "D2,x\n", 1, false, true, 2}}},
    {"a last line without a line break, a lone CR kept as data",
     "a\rb,D1\nc,D2",
     1,
     ',',
     {{"a\rb,D1", "D1", 2, false, false, 1}, {"c,D2", "D2", 2, false, false, 2}}},
    {"UTF-16 little endian with its mark (Excel's Unicode text), tabs",
     "\xFF\xFE"
     "T\0a\0g\0\t\0\xFC\0\r\0\n\0P\0\t\0Y\0"
     "0\0"s,
     1,
     '\t',
     {{"Tag\t\xC3\xBC", "\xC3\xBC", 2, false, false, 1}, {"P\tY0", "Y0", 2, false, false, 2}}},
    {"UTF-16 big endian, a surrogate pair and a lone surrogate",
     "\xFE\xFF\xD8\x3D\xDE\x00\0,\xDC\x00\0,\0D\0"
     "1\0\n"s,
     2,
     ',',
     {{"\xF0\x9F\x98\x80,\xEF\xBF\xBD,D1", "D1", 3, false, false, 1}}},
    {"UTF-16 with an odd last byte",
     "\xFF\xFE"
     "D\0"
     "1\0X"s,
     0,
     ',',
     {{"D1\xEF\xBF\xBD", "D1\xEF\xBF\xBD", 1, false, false, 1}}},
    {"a separator given overrides the count",
     "a;b;c,D1\n",
     1,
     ',',
     {{"a;b;c,D1", "D1", 2, false, false, 1}},
     true},
    {"NUL and bytes of every value are data",
     "\x00\x01\xFF,D1\n"s,
     1,
     ',',
     {{"\x00\x01\xFF,D1"s, "D1", 2, false, false, 1}}},
};

class CsvReaderTest : public testing::TestWithParam<Case> {};

TEST_P(CsvReaderTest, ReadsTheSameRecordsInPiecesOfAnySize) {
    const Case& c = GetParam();
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{1} << 16}) {
        SCOPED_TRACE(testing::Message() << "pieces of " << piece);
        taglist::CsvReader reader(PiecesOf(c.input, piece), c.column,
                                  c.given ? c.delimiter : taglist::CsvReader::kFindDelimiter);
        taglist::CsvRecord record;
        for (const auto& want : c.records) {
            ASSERT_TRUE(reader.Next(record));
            EXPECT_EQ(record.raw, want.raw);
            EXPECT_EQ(record.item, want.item);
            EXPECT_EQ(record.fields, want.fields);
            EXPECT_EQ(record.has_item, c.column < want.fields);
            EXPECT_EQ(record.blank, want.blank);
            EXPECT_EQ(record.unclosed_quote, want.unclosed_quote);
            EXPECT_EQ(record.line, want.line);
        }
        EXPECT_FALSE(reader.Next(record));
        EXPECT_EQ(reader.delimiter(), c.delimiter);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, CsvReaderTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                             std::string name;
                             for (const char ch : std::string_view(param.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

TEST(SplitFields, UnquotesEachField) {
    EXPECT_EQ(taglist::SplitFields("\"Lamp; red\";Y20;\"say \"\"on\"\"\";", ';'),
              (std::vector<std::string>{"Lamp; red", "Y20", "say \"on\"", ""}));
    EXPECT_EQ(taglist::SplitFields("", ','), (std::vector<std::string>{""}));
}

}  // namespace
