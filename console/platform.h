// Where Windows differs from the POSIX systems for a command-line program, kept out of main(): the
// tool works in UTF-8 throughout, so on Windows the command line and file names are taken through
// the wide-character API, which holds every name whatever the ANSI code page, and the standard
// streams pass bytes as written. On other systems each function is the plain POSIX call.
#pragma once

#include <string>
#include <vector>

namespace console {

// The program's arguments in UTF-8, its name first. On Windows they are read again from the
// wide-character command line (argc and argv hold them in the ANSI code page, where a name like
// "東京.csv" has become "??.csv"); a character that has no UTF-8 form, a lone surrogate, becomes
// U+FFFD. Elsewhere argv as given. Never empty: an empty name stands first when the system gives
// none.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// open(2) for a file named in UTF-8: `flags` and the descriptor or -1 with errno as open and
// _wopen have them; a file made is readable and writable (less the umask), and the descriptor is
// not handed to child processes. On Windows the name goes to _wopen in UTF-16. A name that cannot
// be a file's, one holding a NUL byte (and on Windows one that is not valid UTF-8), gives -1 and
// EINVAL: never some other file's name, cut short or guessed.
int OpenUtf8(const std::string& utf8_path, int flags);

// Puts standard input, output and error in binary mode on Windows, so that every line ends in LF
// alone, byte for byte as on other systems, and a tag list's CR LF reaches the reader as written.
// Does nothing elsewhere.
void UseBinaryStandardStreams();

}  // namespace console
