#include "console/platform.h"

#include <cerrno>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <climits>
#include <memory>
#include <optional>
#else
#include <fcntl.h>
#endif

namespace console {

namespace {

// A C function would take the name only up to the NUL: a different file.
bool CanNameAFile(const std::string& path) {
    return path.find('\0') == std::string::npos;
}

#ifdef _WIN32

std::string ToUtf8(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// No value for text that is not UTF-8: a name read with replacement characters could open some
// other file.
std::optional<std::wstring> ToWide(std::string_view utf8) {
    if (utf8.empty()) {
        return std::wstring{};
    }
    if (utf8.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(utf8.size());
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), size);
    return wide;
}

struct LocalFreeDeleter {
    void operator()(LPWSTR* memory) const { LocalFree(static_cast<HLOCAL>(memory)); }
};

#endif

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(
        CommandLineToArgvW(GetCommandLineW(), &count));
    if (wide != nullptr) {
        arguments.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            arguments.push_back(ToUtf8(wide.get()[i]));
        }
    } else {
        // Windows could not split its own command line (out of memory): the ANSI arguments are
        // all there is.
        arguments.assign(argv, argv + (argc > 0 ? argc : 0));
    }
#else
    arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) {
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
#endif
    if (arguments.empty()) {
        arguments.emplace_back();
    }
    return arguments;
}

int OpenUtf8(const std::string& utf8_path, int flags) {
    if (!CanNameAFile(utf8_path)) {
        errno = EINVAL;
        return -1;
    }
#ifdef _WIN32
    const auto wide = ToWide(utf8_path);
    if (!wide) {
        errno = EINVAL;
        return -1;
    }
    return _wopen(wide->c_str(), flags | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
    return open(utf8_path.c_str(), flags | O_CLOEXEC, 0666);
#endif
}

void UseBinaryStandardStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

}  // namespace console
