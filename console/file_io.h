// Reading and writing through the system's own calls rather than stdio: a read returns what has
// arrived instead of waiting for a full buffer (so a list typed at a terminal or fed by
// `tail -f` is answered line by line), and a failed write is seen where it happens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace console {

// Reads up to `size` bytes from the descriptor `fd`, as many as have arrived; 0 at the end of the
// input, and also on a failure, whose errno is then put into `error`. A read interrupted by a
// signal gives 0 with `error` left at 0: the caller decides whether to go on.
std::size_t ReadSome(int fd, char* buffer, std::size_t size, int& error);

// Writes all of `text` to the descriptor `fd`; gives 0, or the errno of the write that failed.
int WriteAll(int fd, std::string_view text);

// Whether reading `fd` may have to wait for more input: a terminal, a pipe or a socket, where a
// regular file never does.
bool MayWait(int fd);

// The bytes left to read in `fd` from its offset, when it is a regular file; -1 for anything else.
std::int64_t BytesLeft(int fd);

// Opens a file by its UTF-8 name, for reading or for writing (created or emptied), in binary
// mode; -1 with errno set when it cannot be.
int OpenForReading(const std::string& path);
int OpenForWriting(const std::string& path);

// Closes `fd`; gives 0, or the errno of a failure (a write that the system could not complete).
int Close(int fd);

}  // namespace console
