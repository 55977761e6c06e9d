#include "console/platform.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <memory>

#include "text/utf16.h"
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
            arguments.push_back(text::Utf8FromUtf16(std::wstring_view(wide.get()[i])));
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
    // No name read with replacement characters: that could open some other file.
    const auto wide = text::StrictUtf16FromUtf8<wchar_t>(utf8_path);
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
