// What every command-line program of the project does alike: its exit statuses, its messages on
// standard error ("zentriq-poll: D9000: ..."), its results on standard output or into a file, a
// closed pipe that ends the run quietly (| head), Ctrl-C, and the guard around main.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "console/file_io.h"

namespace console {

// Every item answered, read or written.
inline constexpr int kExitDone = 0;
// Some item not answered, read or written; the rest were, and were written out.
inline constexpr int kExitPartly = 1;
// Nothing could be done: a usage error, an input that cannot be read, an output that cannot be
// written, a line that cannot be opened.
inline constexpr int kExitFailed = 2;

// How results are written: an aligned table for a person, CSV and JSON for programs.
enum class Format { Table, Csv, Json };

// Where text goes instead of a standard stream: a test's string, a page. Gives false when it could
// not be written.
using TextSink = std::function<bool(std::string_view)>;

// A program's messages on standard error (or `sink`), each one line that starts with the program's
// name.
class Messages {
  public:
    explicit Messages(std::string program, TextSink sink = {})
        : program_(std::move(program)), sink_(std::move(sink)) {}

    // "program: message".
    void Say(std::string_view message) const;
    // Says `message` and how to get help; gives kExitFailed.
    int UsageError(std::string_view message) const;
    // Says `message`; gives kExitFailed.
    int Failure(std::string_view message) const;
    // Writes `line` as it is, with its line end: the frames --verbose shows.
    static void Line(std::string_view line);

  private:
    void Put(const std::string& text) const;

    std::string program_;
    TextSink sink_;
};

// Standard output or the file named (or `sink`), written as results come; remembers the first
// failure.
class Output {
  public:
    Output() = default;
    explicit Output(TextSink sink) : sink_(std::move(sink)), name_("the output") {}

    // Empty: standard output. False, with error() set, when the file cannot be made.
    bool Open(const std::string& path);
    bool Write(std::string_view text);
    // Gives the exit status: `status` when all was written, and quietly so when the reader closed
    // the pipe (| head); otherwise a message, and kExitFailed.
    int Finish(int status, const Messages& messages);

    int error() const noexcept { return error_; }
    bool closed() const noexcept { return error_ != 0; }
    // Whether the output is a file on a disk (a regular file), not a terminal, a pipe or a device.
    bool to_file() const { return !sink_ && !MayWait(fd_); }
    const std::string& name() const noexcept { return name_; }

  private:
    TextSink sink_;
    int fd_ = 1;
    int error_ = 0;
    std::string name_ = "standard output";
};

// Sets standard input and output to binary and a write to a closed pipe to fail rather than end
// the program: the failed write then ends the run quietly.
void StartConsoleProgram();

// Ctrl-C and SIGTERM set Interrupted() and make a read under way return at once, for a program
// without an event loop of its own: it stops reading and writes out what it has.
void CatchInterrupts();
// The signal that came (SIGINT, SIGTERM), 0 when none has.
int InterruptSignal() noexcept;

// Ends the program as one interrupted by `signal_number` does, once what was read is written out:
// a shell then stops the script it runs in. Returns where that signal does not end a program.
void EndAsInterrupted(int signal_number);

// Whether standard output is a terminal that draws escape sequences (on Windows, once asked to).
bool StandardOutputIsTerminal();

// Runs `body`; an exception that escapes it (memory ran out) is said, and gives kExitFailed.
int RunGuarded(const Messages& messages, const std::function<int()>& body) noexcept;

}  // namespace console
