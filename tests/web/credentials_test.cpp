#include "web/credentials.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

TEST(Authorized, TakesOnlyAPairOfTheFile) {
    const web::Credentials credentials{{"user:secret", "op:p:w"}};
    const struct {
        const char* header;
        bool allowed;
    } cases[] = {
        {"Basic dXNlcjpzZWNyZXQ=", true},   // user:secret
        {"Basic b3A6cDp3", true},           // op:p:w, a colon in the password
        {"Basic dXNlcjpzZWNy", false},      // user:secr
        {"Basic dXNlcjpzZWNyZXR4", false},  // user:secretx
        {"Basic dXNlcjpzZWNyZQ==", false},  // user:secre
        {"basic dXNlcjpzZWNyZXQ=", false},  // the scheme as written
        {"Bearer dXNlcjpzZWNyZXQ=", false}, {"Basic ", false}, {"", false}, {"Basic ***", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(web::Authorized(credentials, c.header), c.allowed) << c.header;
    }
}

#ifndef _WIN32
TEST(ReadPasswordFile, RefusesAFileOthersMayRead) {
    const auto path = (std::filesystem::temp_directory_path() /
                       ("zentriq-passwords-" + std::to_string(::getpid())))
                          .string();
    std::ofstream(path) << "# the console's users\n\nuser:secret\r\n";
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    auto read = web::ReadPasswordFile(path);
    ASSERT_TRUE(std::holds_alternative<web::Credentials>(read));
    EXPECT_EQ(std::get<web::Credentials>(read).pairs, std::vector<std::string>{"user:secret"});

    fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
    read = web::ReadPasswordFile(path);
    ASSERT_TRUE(std::holds_alternative<text::Failure>(read));
    EXPECT_NE(std::get<text::Failure>(read).message.find("chmod 600"), std::string::npos);

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    std::ofstream(path) << "nobody\n";
    read = web::ReadPasswordFile(path);
    ASSERT_TRUE(std::holds_alternative<text::Failure>(read));
    EXPECT_NE(std::get<text::Failure>(read).message.find("user:password"), std::string::npos);
    std::remove(path.c_str());
}
#endif

}  // namespace
