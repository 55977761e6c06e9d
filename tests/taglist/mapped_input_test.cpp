// A list read where it lies (a mapped file handed on a stretch at a time) against the same list
// copied in a byte at a time, which puts every line together and reads it by the quoting rules:
// the same records, whatever the stretches, the line lengths and where the lines fall against
// the 16-byte blocks the separators are searched in. And a mapped file that fails part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "taglist/csv_reader.h"
#include "taglist/line_reader.h"

namespace {

// The text with room on either side, as a mapped file's pages give: the separator search reads
// whole aligned blocks, which may reach a little before a line and past it.
class Mapped {
  public:
    explicit Mapped(const std::string& text)
        : bytes_(std::string(kRoom, '\0') + text + std::string(kRoom, '\0')), size_(text.size()) {}

    // Handed on `stretch` bytes at a time; failing once `fail_at` bytes were handed on.
    taglist::MappedBytes Bytes(std::size_t stretch, std::size_t fail_at = SIZE_MAX) {
        return {bytes_.data() + kRoom, [this, stretch, fail_at](std::size_t& readable) {
                    if (readable >= fail_at) {
                        return false;
                    }
                    readable = std::min({size_, readable + stretch, fail_at});
                    return true;
                }};
    }

  private:
    static constexpr std::size_t kRoom = 16;
    std::string bytes_;
    std::size_t size_;
};

taglist::Source ByteByByte(const std::string& text) {
    return [&text, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t n = std::min<std::size_t>({1, size, text.size() - at});
        std::copy_n(text.data() + at, n, buffer);
        at += n;
        return n;
    };
}

struct Read {
    std::vector<std::string> records;
    char delimiter;
};

// Every record as one comparable line; the fields counted up to `enough`, past which a reader may
// stop counting.
Read Records(taglist::Input input, std::size_t column, std::size_t enough) {
    taglist::CsvReader reader(std::move(input), column);
    Read read;
    taglist::CsvRecord record;
    while (reader.Next(record)) {
        read.records.push_back(std::to_string(record.line) + "|" + std::string(record.raw) + "|" +
                               std::string(record.item) + "|" +
                               std::to_string(std::min(record.fields, enough)) + "|" +
                               std::to_string(record.has_item) + std::to_string(record.blank) +
                               std::to_string(record.unclosed_quote));
        reader.set_enough_fields(enough);
    }
    read.delimiter = reader.delimiter();
    return read;
}

// Lines of the bytes that matter to the reader, of every length up to a few blocks.
std::string RandomList(std::mt19937& random) {
    static constexpr char kBytes[] = {'a', 'D', '1', ',', ';', '\t', '"', '"', ' ', '\r', '\n'};
    std::string text;
    const auto lines = random() % 12;
    for (std::size_t line = 0; line < lines; ++line) {
        const auto length = random() % 70;
        for (std::size_t i = 0; i < length; ++i) {
            text += kBytes[random() % (sizeof kBytes - 1)];  // no line break inside
        }
        text += random() % 4 == 0 ? "\r\n" : "\n";
    }
    if (random() % 3 == 0) {
        text += "a,D1,\"x\"";  // a last line without a line break
    }
    return text;
}

TEST(MappedInput, ReadsTheSameRecordsAsTheCopyingReader) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        const std::string text = RandomList(random);
        const std::size_t column = random() % 3;
        const std::size_t enough = 1 + random() % 4;
        const auto expected = Records(ByteByByte(text), column, enough);
        for (const std::size_t stretch : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
            Mapped mapped(text);
            const auto read = Records(mapped.Bytes(stretch), column, enough);
            ASSERT_EQ(read.records, expected.records)
                << "list: " << testing::PrintToString(text) << ", column " << column << ", enough "
                << enough << ", stretches of " << stretch;
            ASSERT_EQ(read.delimiter, expected.delimiter);
        }
    }
}

TEST(MappedInput, TakesTheByteOrderMarkOffAndTurnsUtf16IntoUtf8) {
    const std::string utf8 = "\xEF\xBB\xBFT,D1\nU,D2";
    Mapped with_mark(utf8);
    taglist::LineReader lines(with_mark.Bytes(2));
    std::string line;
    ASSERT_TRUE(lines.Next(line));
    EXPECT_EQ(line, "T,D1");
    EXPECT_TRUE(lines.marked_unicode());
    ASSERT_TRUE(lines.Next(line));
    EXPECT_EQ(line, "U,D2");
    EXPECT_FALSE(lines.Next(line));

    const std::string utf16{
        "\xFF\xFE"
        "D\0"
        "1\0"
        "\n\0"
        "\xFC\0",
        10};
    Mapped wide(utf16);
    taglist::LineReader wide_lines(wide.Bytes(3));
    ASSERT_TRUE(wide_lines.Next(line));
    EXPECT_EQ(line, "D1");
    ASSERT_TRUE(wide_lines.Next(line));
    EXPECT_EQ(line, "\xC3\xBC");
    EXPECT_EQ(wide_lines.encoding(), taglist::InputEncoding::Utf16LittleEndian);
    EXPECT_FALSE(wide_lines.Next(line));
}

// A file cut short: the lines whole before the failure, never the one it cut, and nothing after.
TEST(MappedInput, StopsWithoutTheLineAFailureCut) {
    const std::string text = "a,D1\nb,D2\nc,D3\nd,D4\n";
    for (std::size_t fail_at = 0; fail_at <= text.size(); ++fail_at) {
        for (const std::size_t stretch : {std::size_t{1}, std::size_t{6}, std::size_t{64}}) {
            Mapped mapped(text);
            taglist::LineReader lines(mapped.Bytes(stretch, fail_at));
            std::vector<std::string> read;
            std::string line;
            while (lines.Next(line)) {
                read.push_back(line);
            }
            EXPECT_FALSE(lines.Next(line));
            const auto whole = static_cast<std::size_t>(std::count(
                text.begin(), text.begin() + static_cast<std::ptrdiff_t>(fail_at), '\n'));
            ASSERT_EQ(read.size(), whole) << "failing at " << fail_at << ", stretch " << stretch;
            for (std::size_t i = 0; i < read.size(); ++i) {
                EXPECT_EQ(read[i], text.substr(5 * i, 4));
            }
        }
    }
}

}  // namespace
