#include "console/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "console/platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace console {

namespace {

// One call moves at most this much: Windows' _read and _write take an unsigned int.
constexpr std::size_t kLargestCall = 1 << 30;

#ifdef _WIN32
// A pipe whose reader has gone shows as EINVAL from the C runtime; the system's own error tells it
// apart, so that `| more` closing early ends the run quietly, as on other systems.
int WriteError() {
    const DWORD error = GetLastError();
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED
               ? EPIPE
               : errno;
}

int SystemRead(int fd, char* buffer, std::size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(size));
}
int SystemWrite(int fd, const char* text, std::size_t size) {
    return _write(fd, text, static_cast<unsigned>(size));
}
#else
int WriteError() {
    return errno;
}

ssize_t SystemRead(int fd, char* buffer, std::size_t size) {
    return ::read(fd, buffer, size);
}
ssize_t SystemWrite(int fd, const char* text, std::size_t size) {
    return ::write(fd, text, size);
}
#endif

}  // namespace

std::size_t ReadSome(int fd, char* buffer, std::size_t size, int& error) {
    const auto got = SystemRead(fd, buffer, std::min(size, kLargestCall));
    if (got < 0) {
        error = errno == EINTR ? 0 : errno;
        return 0;
    }
    return static_cast<std::size_t>(got);
}

int WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const auto put = SystemWrite(fd, text.data(), std::min(text.size(), kLargestCall));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WriteError();
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return 0;
}

bool MayWait(int fd) {
    struct stat status {};
    return fstat(fd, &status) != 0 || !S_ISREG(status.st_mode);
}

// Windows would turn LF into CR LF in a file opened as text; elsewhere there is no such mode.
#ifdef _WIN32
constexpr int kBinary = O_BINARY;
#else
constexpr int kBinary = 0;
#endif

int OpenForReading(const std::string& path) {
    return OpenUtf8(path, O_RDONLY | kBinary);
}

int OpenForWriting(const std::string& path) {
    return OpenUtf8(path, O_WRONLY | O_CREAT | O_TRUNC | kBinary);
}

int Close(int fd) {
#ifdef _WIN32
    return _close(fd) == 0 ? 0 : errno;
#else
    return ::close(fd) == 0 ? 0 : errno;
#endif
}

}  // namespace console
