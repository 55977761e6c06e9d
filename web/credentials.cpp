#include "web/credentials.h"

#include <sys/stat.h>
#include <boost/beast/core/detail/base64.hpp>
#include <fstream>

namespace web {

namespace {

// The same time whatever the first difference, so a password is not found a byte at a time.
bool SameText(std::string_view a, std::string_view b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    }
    return differ == 0;
}

}  // namespace

text::Result<Credentials> ReadPasswordFile(const std::string& path) {
    const std::string named = "--web-password-file " + path;
#ifndef _WIN32
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return text::Failure{named + ": cannot be read"};
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return text::Failure{named +
                             ": other users may read it; make it the gateway's own (chmod 600 " +
                             path + ")"};
    }
#endif
    std::ifstream file(path);
    if (!file) {
        return text::Failure{named + ": cannot be read"};
    }
    Credentials credentials;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.find(':') == std::string::npos || line.front() == ':') {
            return text::Failure{named + ": each line is user:password"};
        }
        credentials.pairs.push_back(line);
    }
    if (credentials.pairs.empty()) {
        return text::Failure{named + ": no user in it (lines of user:password)"};
    }
    return credentials;
}

bool Authorized(const Credentials& credentials, std::string_view authorization) {
    constexpr std::string_view kScheme = "Basic ";
    if (authorization.size() <= kScheme.size() ||
        authorization.substr(0, kScheme.size()) != kScheme) {
        return false;
    }
    auto encoded = authorization.substr(kScheme.size());
    // The padding at its end is not data: the decoder stops at it.
    for (int pad = 0; pad < 2 && !encoded.empty() && encoded.back() == '='; ++pad) {
        encoded.remove_suffix(1);
    }
    // Room for a last group without its padding too.
    std::string decoded((encoded.size() + 3) / 4 * 3, '\0');
    const auto [written, read] =
        boost::beast::detail::base64::decode(decoded.data(), encoded.data(), encoded.size());
    if (read != encoded.size()) {
        return false;
    }
    decoded.resize(written);
    bool found = false;
    for (const auto& pair : credentials.pairs) {
        found |= SameText(pair, decoded);
    }
    return found;
}

}  // namespace web
