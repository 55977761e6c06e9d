#include "taglist/xlsx_writer.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "taglist/cell_text.h"
#include "text/utf16.h"

namespace taglist {

namespace {

constexpr std::size_t kMaxWidth = 80;
// Headroom on the temporary disk beyond a second copy of the rows, which Close makes.
constexpr std::uintmax_t kSpareTemporaryBytes = std::uintmax_t{1} << 20;

#ifdef _WIN32
// A name that is no UTF-8 names no file: empty, which nothing opens.
std::wstring WideOf(const std::string& utf8) {
    return text::StrictUtf16FromUtf8<wchar_t>(utf8).value_or(std::wstring());
}

std::filesystem::path PathOf(const std::string& utf8) {
    return WideOf(utf8);
}

std::FILE* OpenForAppending(const std::string& utf8) {
    const std::wstring wide = WideOf(utf8);
    if (wide.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(wide.c_str(), L"ab");
}
#else
std::filesystem::path PathOf(const std::string& path) {
    return path;
}

std::FILE* OpenForAppending(const std::string& path) {
    return std::fopen(path.c_str(), "ab");
}
#endif

}  // namespace

XlsxWriter::XlsxWriter(std::string path) : path_(std::move(path)) {}

text::Result<std::unique_ptr<XlsxWriter>> XlsxWriter::Create(const std::string& path) {
    std::unique_ptr<XlsxWriter> writer(new XlsxWriter(path));
    if (auto failure = writer->Open()) {
        return std::move(*failure);
    }
    return writer;
}

std::optional<text::Failure> XlsxWriter::Open() {
    if (path_.empty() || path_.find('\0') != std::string::npos) {
        return text::Failure{"cannot write \"" + path_ + "\": no such file name"};
    }
    // libxlsxwriter opens the file only when it closes the workbook; a file that cannot be written
    // is better told before any row is read. Appending creates the file but spoils no content.
    errno = 0;
    std::FILE* probe = OpenForAppending(path_);
    if (probe == nullptr) {
        const int why = errno;
        return text::Failure{"cannot write " + path_ + ": " +
                             (why != 0 ? std::strerror(why) : "cannot open it")};
    }
    std::fclose(probe);

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    workbook_ = workbook_new_opt(path_.c_str(), &options);
    sheet_ = workbook_ == nullptr ? nullptr : workbook_add_worksheet(workbook_, nullptr);
    bold_ = workbook_ == nullptr ? nullptr : workbook_add_format(workbook_);
    if (sheet_ == nullptr || bold_ == nullptr || sheet_->optimize_tmpfile == nullptr) {
        Fail("no temporary file for its rows could be made");
        return text::Failure{failure_};
    }
    format_set_bold(bold_);
    worksheet_freeze_panes(sheet_, 1, 0);
    return std::nullopt;
}

XlsxWriter::RowResult XlsxWriter::AddRow(std::span<const XlsxCell> cells, std::string& message) {
    if (failure_.empty() && rows_ == LXW_ROW_MAX) {
        Fail("the list has more than " + std::to_string(LXW_ROW_MAX) +
             " rows, the most a sheet holds");
    }
    if (failure_.empty() && cells.size() > LXW_COL_MAX) {
        Fail("row " + std::to_string(rows_ + 1) + " has more than " + std::to_string(LXW_COL_MAX) +
             " columns, the most a sheet holds");
    }
    bool cut = false;
    for (std::size_t column = 0; failure_.empty() && column < cells.size(); ++column) {
        WriteCell(static_cast<std::uint16_t>(column), cells[column], cut);
    }
    if (!failure_.empty()) {
        message = failure_;
        return RowResult::Failed;
    }
    ++rows_;
    if (cut) {
        message = path_ + ", row " + std::to_string(rows_) + ": a cell was cut to the " +
                  std::to_string(kMaxCellUnits) + " characters a spreadsheet cell holds";
        return RowResult::Cut;
    }
    return RowResult::Written;
}

void XlsxWriter::WriteCell(std::uint16_t column, const XlsxCell& cell, bool& cut) {
    if (widths_.size() <= column) {
        widths_.resize(column + std::size_t{1});
    }
    lxw_format* format = rows_ == 0 ? bold_ : nullptr;
    lxw_error written = LXW_NO_ERROR;
    if (const auto number = cell.number ? CellNumber(cell.text) : std::nullopt) {
        widths_[column] = std::max(widths_[column], cell.text.size());
        written = worksheet_write_number(sheet_, rows_, column, *number, format);
    } else {
        const CellText made = MakeCellText(cell.text, text_);
        cut = cut || made.cut;
        widths_[column] = std::max(widths_[column], made.width);
        written = worksheet_write_string(sheet_, rows_, column, text_.c_str(), format);
    }
    if (written != LXW_NO_ERROR) {
        Fail("row " + std::to_string(rows_ + 1) + ": " + lxw_strerror(written));
    }
}

void XlsxWriter::Fail(std::string why) {
    if (failure_.empty()) {
        failure_ = "cannot write " + path_ + ": " + std::move(why);
    }
}

void XlsxWriter::FinishSheet() {
    for (std::size_t column = 0; column < widths_.size(); ++column) {
        const auto width = static_cast<double>(std::min(widths_[column] + 1, kMaxWidth));
        worksheet_set_column(sheet_, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                             width, nullptr);
    }
    // libxlsxwriter does not check its writes to the temporary file the rows went to, nor to the
    // copy of it that it makes while closing: a full disk would give a truncated sheet, no error.
    std::FILE* rows_file = sheet_->optimize_tmpfile;
    if (std::fflush(rows_file) != 0 || std::ferror(rows_file) != 0) {
        Fail("the temporary file holding its rows could not be written (is the disk full?)");
        return;
    }
    const long rows_size = std::ftell(rows_file);
    std::error_code no_space_info;
    const auto temporary = std::filesystem::temp_directory_path(no_space_info);
    const auto space = std::filesystem::space(temporary, no_space_info);
    if (!no_space_info && rows_size > 0 &&
        space.available < static_cast<std::uintmax_t>(rows_size) + kSpareTemporaryBytes) {
        Fail("the temporary directory has too little free space to assemble it");
    }
}

std::optional<text::Failure> XlsxWriter::Close() {
    if (workbook_ == nullptr) {
        return failure_.empty() ? std::nullopt : std::optional(text::Failure{failure_});
    }
    if (failure_.empty()) {
        FinishSheet();
    }
    errno = 0;
    const lxw_error closed = workbook_close(workbook_);
    const int system_error = errno;
    workbook_ = nullptr;
    if (closed != LXW_NO_ERROR) {
        Fail(system_error != 0 ? std::strerror(system_error) : lxw_strerror(closed));
    }
    if (failure_.empty()) {
        return std::nullopt;
    }
    std::error_code ignored;
    const auto file = PathOf(path_);
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(file, ignored))) {
        std::filesystem::remove(file, ignored);
    }
    return text::Failure{failure_};
}

XlsxWriter::~XlsxWriter() {
    Close();
}

}  // namespace taglist
