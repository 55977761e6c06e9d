// A spreadsheet file of rows for --format xlsx. Every cell is a text cell unless the caller marks
// it a number, so that an address such as 0E00 or a reference such as 003585 reaches the
// spreadsheet exactly as the csv output writes it. Rows go to a temporary file as they come
// (libxlsxwriter's constant-memory mode), so a list of any length is written in little memory;
// Close assembles the .xlsx file. The file is left behind only when it holds every row: after any
// failure it is removed.
#pragma once

#include <optional>

#include "text/failure.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace taglist {

struct XlsxCell {
    std::string_view text;
    bool number = false;  // written as a number when `text` is 1 to 15 decimal digits, else as text
};

class XlsxWriter {
  public:
    // What AddRow did with a row: wrote it as given; wrote it with some cell cut to the 32,767
    // characters a spreadsheet cell holds; or could not write it (the sheet holds no more rows or
    // columns, or writing failed), after which every later row fails too and Close fails.
    enum class RowResult : std::uint8_t { Written, Cut, Failed };

    // Starts a workbook that Close writes to `path` (UTF-8), checking now that the file can be
    // written. A failure naming the file and why when it cannot.
    static text::Result<std::unique_ptr<XlsxWriter>> Create(const std::string& path);

    // Adds one row below the last. The first row is the header: bold, and kept in view (the sheet
    // is frozen below it). A text cell holds its text as MakeCellText (cell_text.h) makes it fit.
    // `message` says why a row was cut or failed; it is left alone for a row written as given.
    RowResult AddRow(std::span<const XlsxCell> cells, std::string& message);

    // Writes the file, each column as wide as its widest text (up to 80 characters). A failure
    // naming the file and why when it could not be written completely or a row had failed; the
    // file is then removed (unless it is no regular file, such as a device).
    std::optional<text::Failure> Close();

    // Closes the workbook when Close was not called, reporting nothing.
    ~XlsxWriter();

    XlsxWriter(const XlsxWriter&) = delete;
    XlsxWriter& operator=(const XlsxWriter&) = delete;
    XlsxWriter(XlsxWriter&&) = delete;
    XlsxWriter& operator=(XlsxWriter&&) = delete;

  private:
    explicit XlsxWriter(std::string path);
    std::optional<text::Failure> Open();
    void WriteCell(std::uint16_t column, const XlsxCell& cell, bool& cut);
    void Fail(std::string why);  // the first failure is the one reported
    void FinishSheet();          // the column widths; whether every row reached the temporary file

    std::string path_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    std::uint32_t rows_ = 0;           // rows written so far
    std::vector<std::size_t> widths_;  // per column, in characters
    std::string text_;                 // the cell being written, made fit for the file
    std::string failure_;              // why the file cannot be complete; empty while it can
};

}  // namespace taglist
