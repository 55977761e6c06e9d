#include "web/request_checks.h"

#include <gtest/gtest.h>

namespace {

struct HostCase {
    const char* listened;
    const char* host;
    bool allowed;
};

TEST(HostAllowed, NamesTheConsoleOnly) {
    const HostCase cases[] = {
        {"127.0.0.1", "127.0.0.1:8080", true},
        {"127.0.0.1", "localhost:8080", true},
        {"127.0.0.1", "LocalHost:8080", true},
        {"127.0.0.1", "127.0.0.1:8081", false},  // another port
        {"127.0.0.1", "127.0.0.1", false},       // port 80 meant
        {"127.0.0.1", "rebound.example.com:8080", false},
        {"127.0.0.1", "10.0.0.5:8080", false},  // another address
        {"127.0.0.1", "", false},
        {"127.0.0.1", ":8080", false},
        {"127.0.0.1", "127.0.0.1:", false},
        {"127.0.0.1", "127.0.0.1:99999", false},
        {"127.0.0.1", "127.0.0.1:80x", false},
        {"0.0.0.0", "192.168.10.7:8080", true},  // any address literal reaches a wildcard
        {"0.0.0.0", "plant-pc:8080", false},
        {"0.0.0.0", "localhost:8080", false},
        {"::", "[fe80::1]:8080", true},
        {"::1", "[::1]:8080", true},
        {"::1", "[::1:8080", false},
        {"::1", "::1:8080", false},
        {"192.168.10.2", "192.168.10.2:8080", true},
        {"192.168.10.2", "localhost:8080", false},  // not a loopback console
    };
    for (const auto& c : cases) {
        const web::ConsoleAddress console{c.listened, 8080, {}};
        EXPECT_EQ(web::HostAllowed(console, c.host), c.allowed)
            << c.host << " to a console on " << c.listened;
    }
}

TEST(HostAllowed, TakesTheNamesGiven) {
    const web::ConsoleAddress console{"0.0.0.0", 8080, {"plc-gateway.local", "proxy.example"}};
    EXPECT_TRUE(web::HostAllowed(console, "plc-gateway.local:8080"));
    EXPECT_TRUE(web::HostAllowed(console, "PLC-Gateway.Local:8080"));
    EXPECT_TRUE(web::HostAllowed(console, "proxy.example"));  // behind a proxy on HTTPS's port
    EXPECT_TRUE(web::HostAllowed(console, "proxy.example:8443"));
    EXPECT_FALSE(web::HostAllowed(console, "other.local:8080"));
    EXPECT_FALSE(web::HostAllowed(console, "proxy.example.evil:8080"));
}

TEST(OriginAllowed, IsTheConsolesOwnPage) {
    struct {
        const char* origin;
        bool allowed;
    } const cases[] = {
        {"http://127.0.0.1:8080", true},
        {"https://127.0.0.1:8080", true},
        {"HTTP://127.0.0.1:8080", false},
        {"http://127.0.0.1:8081", false},
        {"http://evil.example", false},
        {"null", false},
        {"", false},
        {"http://127.0.0.1:8080/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(web::OriginAllowed(c.origin, "127.0.0.1:8080"), c.allowed) << c.origin;
    }
}

}  // namespace
