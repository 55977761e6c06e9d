// Who may open the console when it is reached from other machines: the users and passwords of
// --web-password-file, checked against each request's HTTP basic authentication. The file holds
// passwords as they are typed, so it must be readable by the gateway's own user only; basic
// authentication sends them in clear, so beyond a trusted network the console belongs behind a
// TLS reverse proxy.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/failure.h"

namespace web {

struct Credentials {
    std::vector<std::string> pairs;  // "user:password", as basic authentication sends them
};

// The lines "user:password" of `path` (blank lines and lines starting with # passed over), or why
// not: the file cannot be read, is readable or writable by others than its owner ("chmod 600"),
// or holds no user.
text::Result<Credentials> ReadPasswordFile(const std::string& path);

// Whether `authorization` (an Authorization header) is "Basic" and a pair of `credentials`.
bool Authorized(const Credentials& credentials, std::string_view authorization);

}  // namespace web
