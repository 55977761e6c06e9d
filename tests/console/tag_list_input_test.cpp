// A tag list file cut short by another program while it is read, mapped or copied in: the lines
// before the cut, none made of what it took away, no crash, and the input says why it stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/mapped_file.h"
#include "console/tag_list_input.h"
#include "taglist/line_reader.h"

namespace {

namespace fs = std::filesystem;

// Rows "row 0,D0" to "row N,D..." of 16 bytes each, filling several pages.
std::string Rows(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        std::string row = "row " + std::to_string(i) + ",D" + std::to_string(i % 10000);
        row.resize(15, ' ');
        text += row + "\n";
    }
    return text;
}

class CutShort : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zentriq-input-" + std::to_string(testing::UnitTest::GetInstance()->random_seed()) +
                "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) const {
        const auto path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Reads two lines, cuts the file to `cut` bytes, reads on: every line read.
    static std::vector<std::string> ReadCutting(console::InputFile& input, const std::string& path,
                                                std::uintmax_t cut) {
        taglist::LineReader lines(input.Input());
        std::vector<std::string> read;
        std::string line;
        while (lines.Next(line)) {
            read.push_back(line);
            if (read.size() == 2) {
                fs::resize_file(path, cut);
            }
        }
        return read;
    }

    // Every line read is whole and stands where it stood in the file: none was made of what the
    // cut left of one.
    static void ExpectWholeLines(const std::vector<std::string>& read, const std::string& text) {
        ASSERT_GE(read.size(), 2U);
        ASSERT_LT(read.size(), text.size() / 16);
        for (std::size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i], text.substr(16 * i, 15)) << "line " << i;
        }
    }

    fs::path dir_;
};

TEST_F(CutShort, AFileReadByCopyingSaysSo) {
    const std::string text = Rows(10000);  // more than is read at once
    const std::string path = Write("copied.csv", text);
    // Another file mapped first: only one is mapped at a time, and this one is then copied in.
    const std::string other = Write("other.csv", "a\n");
    console::InputFile holder;
    ASSERT_TRUE(holder.Open(other));
    const auto held = console::MappedFile::Map(holder.fd);
    console::InputFile input;
    ASSERT_TRUE(input.Open(path));
    // What was read before the cut is kept; no line is made of the part read last.
    ExpectWholeLines(ReadCutting(input, path, 100), text);
    ASSERT_TRUE(input.Problem().has_value());
    EXPECT_NE(input.Problem()->find("cut short"), std::string::npos) << *input.Problem();
}

#ifndef _WIN32
TEST_F(CutShort, AMappedFileStopsAtTheCutWithoutABusError) {
    const std::string text = Rows(2000);  // eight pages
    for (const std::uintmax_t cut :
         {std::uintmax_t{100}, std::uintmax_t{4096 * 3 + 5}, std::uintmax_t{text.size() - 3}}) {
        const std::string path = Write("mapped.csv", text);
        console::InputFile input;
        ASSERT_TRUE(input.Open(path));
        // Mapped, the lines whole before the cut, and none after.
        const auto read = ReadCutting(input, path, cut);
        ExpectWholeLines(read, text);
        EXPECT_EQ(read.size(), std::max<std::size_t>(2, static_cast<std::size_t>(cut / 16)))
            << "cut at " << cut;
        ASSERT_TRUE(input.Problem().has_value()) << "cut at " << cut;
        EXPECT_NE(input.Problem()->find("cut short"), std::string::npos);
    }
    // Whole, the file reads to its end with nothing to say.
    const std::string path = Write("whole.csv", text);
    console::InputFile input;
    ASSERT_TRUE(input.Open(path));
    taglist::LineReader lines(input.Input());
    std::string line;
    std::size_t count = 0;
    while (lines.Next(line)) {
        ++count;
    }
    EXPECT_EQ(count, 2000U);
    EXPECT_FALSE(input.Problem().has_value());
}
#endif

}  // namespace
