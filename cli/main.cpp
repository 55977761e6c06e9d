// zentriq-lookup: the controller's Modbus address map from the command line. Items on the command
// line are looked up and printed together; --batch streams a tag list through the map; --frame
// and --frames read captured Modbus frames as devices. main parses the command line into a mode
// (options.h) and runs it once.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/frames.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/xlsx_output.h"
#include "console/file_io.h"
#include "console/platform.h"

namespace {

constexpr int kAllAnswered = 0;
constexpr int kSomeUnanswered = 1;
// Also for an input that cannot be read and an output that cannot be written.
constexpr int kUsageError = 2;

// Set by Ctrl-C: reading stops, and what was answered is written out before the program ends.
std::atomic<int> g_interrupted{0};

extern "C" void OnInterrupt(int signal_number) {
    g_interrupted = signal_number;
}

void CatchInterrupts() {
#ifdef _WIN32
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;  // no SA_RESTART: a read waiting for input returns at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe shows as a failed write, which ends the run quietly (| head).
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void ToStderr(std::string_view text) {
    console::WriteAll(2, text);
}

int UsageError(const std::string& message) {
    ToStderr("zentriq-lookup: " + message + "\nRun with --help for more information.\n");
    return kUsageError;
}

int Failure(const std::string& message) {
    ToStderr("zentriq-lookup: " + message + "\n");
    return kUsageError;
}

// Standard output or the --output file, written as results come; remembers the first failure.
class Output {
  public:
    bool Open(const std::string& path) {
        if (path.empty()) {
            return true;
        }
        name_ = path;
        fd_ = console::OpenForWriting(path);
        error_ = fd_ < 0 ? errno : 0;
        return fd_ >= 0;
    }

    bool Write(std::string_view text) {
        if (error_ == 0) {
            error_ = console::WriteAll(fd_, text);
        }
        return error_ == 0;
    }

    // Gives the exit status: `status` when all was written; quietly `status` when the reader
    // closed the pipe (| head); otherwise a line on stderr and 2.
    int Finish(int status) {
        if (fd_ != 1 && fd_ >= 0) {
            const int closed = console::Close(fd_);
            error_ = error_ == 0 ? closed : error_;
            fd_ = -1;
        }
        if (error_ == 0 || error_ == EPIPE) {
            return status;
        }
        return Failure("cannot write " + name_ + ": " + std::strerror(error_));
    }

    int error() const { return error_; }
    const std::string& name() const { return name_; }

  private:
    int fd_ = 1;
    int error_ = 0;
    std::string name_ = "standard output";
};

// A tag list or capture log: the file named, or standard input for - or no name.
struct Input {
    int fd = 0;
    std::string name = "standard input";
    int error = 0;

    bool Open(const std::string& path) {
        if (path.empty() || path == "-") {
            return true;
        }
        name = path;
        fd = console::OpenForReading(path);
        error = fd < 0 ? errno : 0;
        return fd >= 0;
    }

    taglist::Source Source() {
        return [this](char* buffer, std::size_t size) -> std::size_t {
            return g_interrupted != 0 ? 0 : console::ReadSome(fd, buffer, size, error);
        };
    }

    ~Input() {
        if (fd > 0) {
            console::Close(fd);
        }
    }
};

int CannotRead(const Input& input) {
    return Failure("cannot read " + input.name + ": " + std::strerror(input.error));
}

int StatusOf(bool all_answered) {
    return all_answered ? kAllAnswered : kSomeUnanswered;
}

int LookUpItems(const lookup::Options& options, Output& output) {
    std::vector<lookup::Lookup> lookups;
    bool all_answered = true;
    for (const auto& item : options.items) {
        auto result = conversion::LookUp(item, options.table, options.numbers);
        if (!result.ok()) {
            all_answered = false;
            ToStderr("zentriq-lookup: " + result.message + "\n");
        } else if (const auto note =
                       conversion::ReadingNote(item, result, options.table, options.numbers);
                   !note.empty()) {
            ToStderr("zentriq-lookup: " + conversion::DisplayText(item) + ": " + note + "\n");
        }
        lookups.push_back({item, std::move(result)});
    }
    if (options.xlsx) {
        std::string error;
        bool lossy = false;
        const lookup::Sink errors = [](std::string_view text) {
            ToStderr(text);
            return true;
        };
        if (!lookup::WriteLookupsXlsx(options.output_path, lookups, errors, lossy, error)) {
            return Failure(error);
        }
        return StatusOf(all_answered && !lossy);
    }
    std::string out;
    lookup::AppendLookups(out, options.format, lookups);
    output.Write(out);
    return output.Finish(StatusOf(all_answered));
}

int LookUpBatch(const lookup::Options& options, Output& output) {
    Input input;
    if (!input.Open(options.batch_path)) {
        return CannotRead(input);
    }
    lookup::BatchOptions batch{0,
                               {},
                               options.header,
                               options.delimiter,
                               options.table,
                               console::MayWait(input.fd),
                               options.numbers};
    if (options.column.find_first_not_of("0123456789") == std::string::npos) {
        batch.column = std::stoul(options.column) - 1;
    } else {
        batch.column_name = options.column;
    }
    const lookup::Sink out = [&](std::string_view text) { return output.Write(text); };
    const lookup::Sink errors = [](std::string_view text) {
        ToStderr(text);
        return true;
    };
    std::string xlsx_error;
    auto writer = options.xlsx ? lookup::XlsxBatchWriter(options.output_path, errors, xlsx_error)
                               : lookup::CsvBatchWriter(out);
    if (writer == nullptr) {
        return Failure(xlsx_error);
    }
    const auto counts = lookup::RunBatch(input.Source(), *writer, errors, batch);
    if (!counts.usage_error.empty()) {
        return UsageError(counts.usage_error);
    }
    if (input.error != 0) {
        return CannotRead(input);
    }
    if (options.xlsx) {
        return lookup::FinishXlsx(*writer, xlsx_error)
                   ? StatusOf(counts.unanswered == 0 && !writer->lossy())
                   : Failure(xlsx_error);
    }
    return output.Finish(StatusOf(counts.unanswered == 0));
}

// An RTU frame typed without quotes comes as one argument per byte: one --frame takes them all.
int DecodeFrameArguments(const lookup::Options& options, Output& output) {
    std::vector<std::string> texts;
    for (const auto& arguments : options.frames) {
        std::string& text = texts.emplace_back();
        for (const auto& argument : arguments) {
            text += (text.empty() ? "" : " ") + argument;
        }
    }
    const auto counts = lookup::DecodeFrameTexts(
        texts, options.format, [&](std::string_view text) { return output.Write(text); },
        [](std::string_view text) {
            ToStderr(text);
            return true;
        });
    return output.Finish(StatusOf(counts.failed == 0));
}

int DecodeFrameLog(const lookup::Options& options, Output& output) {
    Input input;
    if (!input.Open(options.frames_path)) {
        return CannotRead(input);
    }
    const auto counts = lookup::DecodeFrameLines(
        input.Source(), options.format, [&](std::string_view text) { return output.Write(text); },
        [](std::string_view text) {
            ToStderr(text);
            return true;
        },
        console::MayWait(input.fd));
    if (input.error != 0) {
        return CannotRead(input);
    }
    return output.Finish(StatusOf(counts.failed == 0));
}

int RunMode(const lookup::Options& options) {
    Output output;
    if (!options.xlsx && !output.Open(options.output_path)) {
        return Failure("cannot write " + output.name() + ": " + std::strerror(output.error()));
    }
    switch (options.mode) {
        case lookup::Mode::Items:
            return LookUpItems(options, output);
        case lookup::Mode::Batch:
            return LookUpBatch(options, output);
        case lookup::Mode::FrameArguments:
            return DecodeFrameArguments(options, output);
        case lookup::Mode::FrameLog:
            return DecodeFrameLog(options, output);
    }
    return kUsageError;
}

int Run(int argc, char** argv) {
    console::UseBinaryStandardStreams();
    CatchInterrupts();
    lookup::Options options;
    if (const auto status = lookup::ParseCommandLine(console::Utf8Arguments(argc, argv), options)) {
        return *status;
    }
    const int status = RunMode(options);
    if (const int signal_number = g_interrupted) {
        // What was read is written; end the way an interrupted program does, so the shell knows.
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {  // out of memory: say so rather than abort
        ToStderr(std::string("zentriq-lookup: ") + e.what() + "\n");
        return kUsageError;
    }
}
