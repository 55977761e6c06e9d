// Who may connect under --allow.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "gateway/allow_list.h"
#include "test_names.h"

namespace {

struct AllowCase {
    const char* name;
    const char* allow;
    const char* client;
    bool allowed;
};
ZENTRIQ_PRINT_ROW_AS_NAME(AllowCase)

const AllowCase kAllowCases[] = {
    {"InsideANetwork", "192.168.10.0/24", "192.168.10.77", true},
    {"OutsideANetwork", "192.168.10.0/24", "192.168.11.1", false},
    {"ABareAddressIsOneHost", "10.0.0.5", "10.0.0.5", true},
    {"ABareAddressIsOnlyThatHost", "10.0.0.5", "10.0.0.6", false},
    {"AnyOfSeveral", "10.0.0.0/8,192.168.10.0/24", "192.168.10.1", true},
    {"APrefixNotOnAByte", "172.16.0.0/12", "172.31.255.255", true},
    {"PastAPrefixNotOnAByte", "172.16.0.0/12", "172.32.0.1", false},
    {"AnIpv4ClientOnAnIpv6Socket", "192.168.10.0/24", "::ffff:192.168.10.9", true},
    {"Ipv6Network", "fd00::/8", "fd12:3456::1", true},
    {"Ipv6OutsideIsRefused", "fd00::/8", "fe80::1", false},
    {"AnIpv6ClientIsNoIpv4Host", "0.0.0.0/0", "::1", false},
    {"EveryIpv4Client", "0.0.0.0/0", "203.0.113.9", true},
};

class AllowListTest : public testing::TestWithParam<AllowCase> {};

TEST_P(AllowListTest, LetsInOnlyTheNetworksNamed) {
    const auto& row = GetParam();
    const auto networks = gateway::ReadAllowList(row.allow);
    ASSERT_TRUE(std::holds_alternative<std::vector<gateway::AllowedNetwork>>(networks));
    EXPECT_EQ(gateway::Allowed(std::get<std::vector<gateway::AllowedNetwork>>(networks),
                               boost::asio::ip::make_address(row.client)),
              row.allowed);
}

INSTANTIATE_TEST_SUITE_P(Table, AllowListTest, testing::ValuesIn(kAllowCases),
                         RowName<AllowCase>);

TEST(AllowList, RefusesWhatIsNoNetwork) {
    for (const char* text : {"10.0.0.0/33", "fd00::/129", "10.0.0/8", "host.example", "10.0.0.0/",
                             "10.0.0.1,,10.0.0.2", ""}) {
        const auto networks = gateway::ReadAllowList(text);
        EXPECT_TRUE(std::holds_alternative<text::Failure>(networks)) << text;
    }
}

}  // namespace
