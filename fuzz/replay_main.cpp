// Replays inputs through a fuzzer's LLVMFuzzerTestOneInput without libFuzzer, so that an ordinary
// build (and its sanitizer build) runs every committed corpus input as a test:
//   replay PATH...    each PATH a file, or a directory whose files are replayed in name order
// Each input is handed over in a buffer of exactly its size, as libFuzzer does, so that a read past
// its end is a finding for AddressSanitizer. A property the fuzzer finds broken aborts the run;
// the last input named on stdout is the one that broke it. Exit status 2 when a path cannot be
// read or names no input at all, so that a corpus gone missing never passes as replayed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Optional in a fuzzer, as with libFuzzer.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path& path) {
    std::error_code error;
    const std::size_t size = fs::file_size(path, error);
    const auto input = std::make_unique<std::uint8_t[]>(error ? 0 : size);
    std::ifstream file(path, std::ios::binary);
    if (error ||
        !file.read(reinterpret_cast<char*>(input.get()), static_cast<std::streamsize>(size))) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    std::printf("replay: %s (%zu bytes)\n", path.c_str(), size);
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(input.get(), size);
    return true;
}

// The files to replay for one path; nothing when it cannot be read.
std::vector<fs::path> InputsOf(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        return fs::is_regular_file(path, error) ? std::vector<fs::path>{path}
                                                : std::vector<fs::path>{};
    }
    std::vector<fs::path> inputs;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error)) {
            inputs.push_back(it->path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return error ? std::vector<fs::path>{} : inputs;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize != nullptr) {
        int fuzzer_argc = argc;
        char** fuzzer_argv = argv;
        LLVMFuzzerInitialize(&fuzzer_argc, &fuzzer_argv);
    }
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::vector<fs::path> inputs = InputsOf(argv[i]);
        if (inputs.empty()) {
            std::fprintf(stderr, "replay: no input to replay at %s\n", argv[i]);
            return 2;
        }
        for (const fs::path& input : inputs) {
            if (!Replay(input)) {
                return 2;
            }
            ++replayed;
        }
    }
    std::printf("replay: %zu inputs, no finding\n", replayed);
    return 0;
}
