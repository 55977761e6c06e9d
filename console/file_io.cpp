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
// The C runtime's _write is not used for writes: under Wine it at times fails a write to a pipe
// whose reader has gone with EINVAL and no system error at all, so `| head` would print a false
// write error. WriteFile itself always names the closed pipe; the codes Windows documents for it
// (ERROR_NO_DATA, ERROR_BROKEN_PIPE, ERROR_PIPE_NOT_CONNECTED) end the run quietly, as EPIPE does
// elsewhere.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_NO_DATA:
        case ERROR_BROKEN_PIPE:
        case ERROR_PIPE_NOT_CONNECTED:
            return EPIPE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_INVALID_HANDLE:
        case ERROR_ACCESS_DENIED:
            return EBADF;
        default:
            return EIO;
    }
}

int SystemWrite(int fd, std::string_view text, std::size_t& put) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        return EBADF;
    }
    DWORD written = 0;
    if (WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) == 0) {
        return ErrnoOf(GetLastError());
    }
    put = written;
    return 0;
}

int SystemRead(int fd, char* buffer, std::size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(size));
}
#else
int SystemWrite(int fd, std::string_view text, std::size_t& put) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
        return errno;
    }
    put = static_cast<std::size_t>(written);
    return 0;
}

ssize_t SystemRead(int fd, char* buffer, std::size_t size) {
    return ::read(fd, buffer, size);
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
        std::size_t put = 0;
        const int error = SystemWrite(fd, text.substr(0, kLargestCall), put);
        if (error == EINTR) {
            continue;
        }
        if (error != 0) {
            return error;
        }
        text.remove_prefix(put);
    }
    return 0;
}

bool MayWait(int fd) {
    struct stat status {};
    return fstat(fd, &status) != 0 || !S_ISREG(status.st_mode);
}

std::int64_t BytesLeft(int fd) {
#ifdef _WIN32
    struct _stati64 status {};
    const auto offset = _lseeki64(fd, 0, SEEK_CUR);
    if (_fstati64(fd, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG || offset < 0) {
        return -1;
    }
#else
    struct stat status {};
    const auto offset = lseek(fd, 0, SEEK_CUR);
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || offset < 0) {
        return -1;
    }
#endif
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(status.st_size) - offset);
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
