#include "console/program.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>

#include "console/file_io.h"
#include "console/platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace console {

namespace {

std::atomic<int> g_interrupted{0};

extern "C" void OnInterrupt(int signal_number) {
    g_interrupted = signal_number;
}

}  // namespace

void Messages::Put(const std::string& text) const {
    if (sink_) {
        sink_(text);
    } else {
        WriteAll(2, text);
    }
}

void Messages::Say(std::string_view message) const {
    Put(program_ + ": " + std::string(message) + "\n");
}

int Messages::UsageError(std::string_view message) const {
    Put(program_ + ": " + std::string(message) + "\nRun with --help for more information.\n");
    return kExitFailed;
}

int Messages::Failure(std::string_view message) const {
    Say(message);
    return kExitFailed;
}

void Messages::Line(std::string_view line) {
    WriteAll(2, std::string(line) + "\n");
}

bool Output::Open(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    sink_ = nullptr;
    name_ = path;
    fd_ = OpenForWriting(path);
    error_ = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
}

bool Output::Write(std::string_view text) {
    if (error_ == 0) {
        error_ = sink_ ? (sink_(text) ? 0 : EIO) : WriteAll(fd_, text);
    }
    return error_ == 0;
}

int Output::Finish(int status, const Messages& messages) {
    if (!sink_ && fd_ != 1 && fd_ >= 0) {
        const int closed = Close(fd_);
        error_ = error_ == 0 ? closed : error_;
        fd_ = -1;
    }
    if (error_ == 0 || error_ == EPIPE) {
        return status;
    }
    return messages.Failure("cannot write " + name_ + ": " + std::strerror(error_));
}

void StartConsoleProgram() {
    UseBinaryStandardStreams();
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a failed write
#endif
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
#endif
}

int InterruptSignal() noexcept {
    return g_interrupted;
}

void EndAsInterrupted(int signal_number) {
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

bool StandardOutputIsTerminal() {
#ifdef _WIN32
    if (_isatty(1) == 0) {
        return false;
    }
    // The console draws the redrawn table only once it reads escape sequences.
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) != 0 &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isatty(1) != 0;
#endif
}

int RunGuarded(const Messages& messages, const std::function<int()>& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {  // out of memory: say so rather than abort
        messages.Say(e.what());
        return kExitFailed;
    } catch (...) {
        messages.Say("an unexpected failure");
        return kExitFailed;
    }
}

}  // namespace console
